// What a screen reader is told about the bvlui controls: the labels are
// static texts named by their text (buttons, check boxes and the progress bar
// keep Qt's own interfaces, named by their caption or accessible name). A
// list widget is a list of rows named by their texts; a row reports itself
// invisible while its list is hidden, also when a hidden page hides it.
#pragma once

namespace bvlui {

// Installs the accessibility factory of the bvlui controls (once, however
// often it is called).
void InstallAccessibility();

}  // namespace bvlui
