// The system message box (MessageBoxW with MB_OK): the start-up refusals for
// a missing token or an unreachable server, and the install worker's failure.
#pragma once

#include <string>

class QWidget;

// Shows `text` under `caption` with a warning sign and one OK button and
// waits until it is pressed. The button says "확인" (IDS_STOP_OK), as Windows
// labels it for a Korean user; the framework's own caption would be English.
// An owner not yet on the screen leaves the box centred on the screen.
void SystemMessageBox(QWidget* owner, const std::wstring& text, const std::wstring& caption, unsigned type);
