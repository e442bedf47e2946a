// What a screen reader is told about the wizard's main window: a frame (the
// window role), named by its window text.
#pragma once

// Installs the accessibility factory of the main window (once, however often
// it is called).
void InstallWindowAccessibility();
