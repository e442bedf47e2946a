// The wizard's decisions that do not depend on its windows: how a refusal
// is shown, what the cancel/OK button does in each state, and when the
// shortcuts are created. Both wizards take them from here.
#pragma once

// What the cancel/OK button (1027) does: on the licence page it asks whether
// to stop, on the completion page it finishes; while the progress page is
// up (the button is hidden then) it does nothing.
enum class CancelButtonAction { kAskToStop, kFinish, kNothing };
CancelButtonAction CancelButtonActionFor(bool licencePageVisible, bool completionPageVisible);

// A refusal without a usable token or server shows the system's message box;
// an unsupported system or an existing installation the wizard's own message
// dialog in its one-button form.
bool RefusalUsesSystemMessageBox(int messageId);

// The completion page's OK creates the shortcuts only when the box is
// checked and the offer stands (it is withdrawn after a failed installation).
bool ShouldCreateShortcuts(bool boxChecked, int offerShortcut);
