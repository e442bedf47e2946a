// A wizard stand-in for tests: records what the install worker asks of the
// wizard at the end of an installation, in order.
#pragma once

#include <string>
#include <vector>

#include "engine/wizard_sink.h"

namespace testing_support {

class RecordingWizard : public WizardSink {
 public:
  struct MessageBox {
    std::wstring text;
    std::wstring caption;
    unsigned type = 0;
  };

  void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override {
    calls.push_back(L"message box");
    messageBoxes.push_back({text, caption, type});
  }
  void ShowFailureForm(const std::wstring& message) override {
    calls.push_back(L"failure form");
    failureMessage = message;
    offerShortcut = false;
  }
  void ShowCompletionPage(const std::wstring& okText) override {
    calls.push_back(L"completion page");
    this->okText = okText;
  }
  bool OffersShortcut() const override { return offerShortcut; }

  std::vector<std::wstring> calls;
  std::vector<MessageBox> messageBoxes;
  std::wstring failureMessage;
  std::wstring okText;
  bool offerShortcut = true;
};

}  // namespace testing_support
