// The installer on a machine without a display: start-up as the wizard runs
// it (module path, token, server check, start-up gate), the whole
// installation and the completion page's OK action, reported on standard
// output instead of in windows.
#pragma once

// Always 0, like the wizard's run.
int RunWithoutDisplay();
