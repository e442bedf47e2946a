// The wizard's decisions.
#include "app/wizard_flow.h"

#include "app/resource.h"

CancelButtonAction CancelButtonActionFor(bool licencePageVisible, bool completionPageVisible) {
  if (licencePageVisible) return CancelButtonAction::kAskToStop;
  if (completionPageVisible) return CancelButtonAction::kFinish;
  return CancelButtonAction::kNothing;
}

bool RefusalUsesSystemMessageBox(int messageId) {
  return messageId == IDS_NO_INSTALL_INFO || messageId == IDS_SERVER_UNREACHABLE;
}

bool ShouldCreateShortcuts(bool boxChecked, int offerShortcut) { return boxChecked && offerShortcut != 0; }
