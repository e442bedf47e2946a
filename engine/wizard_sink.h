// What the install worker asks of the wizard when the installation ends: the
// message box owned by the progress page, the completion page's failure form,
// and the turn from the progress page to the completion page. The Qt wizard
// implements it (each call a blocking call into the user-interface thread);
// the headless run and the tests record the calls.
#pragma once

#include <string>

class WizardSink {
 public:
  virtual ~WizardSink() = default;

  // A message box owned by the progress page; returns once the user closed it.
  // `type` is the platform's MB_* value (0x30: OK with the exclamation icon).
  virtual void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) = 0;

  // The completion page's failure form: its message label shows `message`,
  // the shortcut check box is hidden and no shortcut is offered any more
  // (m_offerShortcut := 0).
  virtual void ShowFailureForm(const std::wstring& message) = 0;

  // The ending on the wizard's side: hide the progress page, place the
  // completion page at layout entry 135, give the cancel button the text
  // `okText` with the OK images (normal 1105, hover 1104), then show the
  // button and the completion page.
  virtual void ShowCompletionPage(const std::wstring& okText) = 0;

  // The completion page's m_offerShortcut is not 0 (it is 0 only after the
  // failure form was shown).
  virtual bool OffersShortcut() const = 0;
};
