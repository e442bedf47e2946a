// The installer on a machine without a display: start-up as the wizard runs
// it (module path, token, server check, start-up gate) and the download step,
// reported on standard output instead of in windows.
#pragma once

// Always 0, like the wizard's run.
int RunWithoutDisplay();
