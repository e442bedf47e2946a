// A main wizard window on a fresh simulated machine, initialised as start-up
// leaves it, with the user's answers to message boxes and dialogs, the
// worker's start and the agent's start recorded instead of run.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/complete_view.h"
#include "app/installer_dlg.h"
#include "app/license_view.h"
#include "app/progress_view.h"
#include "support/scoped_machine.h"
#include "ui/resbox.h"

namespace wizard_testing {

struct MessageBoxCall {
  std::wstring text, caption;
  unsigned type;
  bool ownedByProgressPage;
};

struct StopDialogCall {
  std::wstring message;
  bool twoButtons;
};

// A worker that never runs: the tests drive the sinks themselves.
class IdleWorker : public WorkerThreadHandle {
 public:
  explicit IdleWorker(bool* stopped) : m_stopped(stopped) {}
  void RequestStop() override { *m_stopped = true; }
  bool Finished() const override { return false; }

 private:
  bool* m_stopped;
};

// Saves a picture when BVL_SAVE_PICTURES names a folder (to look at pages).
inline void SavePictureIfAsked(const QImage& image, const std::string& name) {
  if (const char* folder = std::getenv("BVL_SAVE_PICTURES")) {
    image.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
  }
}

// Runs `opens`, which shows a message box and waits for it; reads the box's
// button texts and presses its first button as the user would. A box that
// never appears leaves the list empty. The box's picture is saved as
// `picture`.
inline std::vector<std::wstring> AnswerMessageBox(const std::function<void()>& opens, const std::string& picture) {
  std::vector<std::wstring> buttons;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->buttons().isEmpty()) return;
    SavePictureIfAsked(box->grab().toImage(), picture);
    for (QAbstractButton* button : box->buttons()) buttons.push_back(button->text().toStdWString());
    box->buttons().first()->click();
  });
  poll.start();
  opens();
  return buttons;
}

class WizardTest : public testing::Test {
 protected:
  explicit WizardTest(const std::string& profile = "win10-x64") : machine_(profile) {}

  void SetUp() override {
    RESBOX::Clear();
    dialog_ = std::make_unique<CbvlInstallerDlg>();
    dialog_->m_serverCheckResult = SERVERCHECK_OK;
    dialog_->m_serverAddress = L"http://127.0.0.1:1";
    dialog_->m_updateAddress = L"http://127.0.0.1:1/update";
    dialog_->m_messageBox = [this](QWidget* owner, const std::wstring& text, const std::wstring& caption, unsigned type) {
      messageBoxes_.push_back({text, caption, type, owner == dialog_->m_pProgressView});
    };
    dialog_->m_runStopDialog = [this](const std::wstring& message, bool twoButtons) {
      stopDialogs_.push_back({message, twoButtons});
      return stopDialogAnswer_;
    };
    dialog_->m_startWorker = [this](std::shared_ptr<InstallSession> session) -> std::unique_ptr<WorkerThreadHandle> {
      session_ = session;
      ++workersStarted_;
      return std::make_unique<IdleWorker>(&workerStopped_);
    };
    dialog_->m_startAgent = [this] {
      ++agentStarts_;
      return true;
    };
  }

  void TearDown() override {
    dialog_.reset();
    RESBOX::Clear();
  }

  // Initialises and shows the window as its modal run would.
  void Open() {
    dialog_->OnInitDialog();
    if (!dialog_->QuitPosted()) dialog_->show();
  }

  // What the window paints, children included.
  QImage Picture(qreal ratio = 1.0) {
    QImage image(dialog_->size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::magenta);
    dialog_->render(&image);
    return image;
  }

  // Saves a picture when BVL_SAVE_PICTURES names a folder (to look at pages).
  static void SavePicture(const QImage& image, const std::string& name) { SavePictureIfAsked(image, name); }

  void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

  testing_support::ScopedMachine machine_;
  std::unique_ptr<CbvlInstallerDlg> dialog_;
  std::vector<MessageBoxCall> messageBoxes_;
  std::vector<StopDialogCall> stopDialogs_;
  int stopDialogAnswer_ = 2;  // IDCANCEL
  std::shared_ptr<InstallSession> session_;
  int workersStarted_ = 0;
  bool workerStopped_ = false;
  int agentStarts_ = 0;
};

}  // namespace wizard_testing
