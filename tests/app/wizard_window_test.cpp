// The main wizard window: placement on the machine's screen, painting, the
// title-bar drag, the key filter in every state, the start-up gate's
// refusals and the page transitions.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

#include "app/resource.h"
#include "app/startup_gate.h"
#include "app/system_message_box.h"
#include "platform/sim/machine/machine.h"
#include "system/registry_helpers.h"
#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

const std::wstring kProductName = L"\ube0c\ub9bc\ubca0\uc77c";

platform::Profile ProfileWithScreen(int width, int height) {
  platform::Profile profile = *platform::FindProfile("win10-x64");
  profile.screenWidth = width;
  profile.screenHeight = height;
  return profile;
}

struct ScreenRow {
  int width, height, x, y;
};

class WindowPlacementTest : public WizardTest, public testing::WithParamInterface<ScreenRow> {};

TEST_P(WindowPlacementTest, TheWindowIsCentredOnTheMachinesScreen) {
  testing_support::ScopedMachine screen(ProfileWithScreen(GetParam().width, GetParam().height));
  Open();
  EXPECT_EQ(dialog_->geometry(), QRect(GetParam().x, GetParam().y, 580, 300));
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowPlacementTest,
                         testing::Values(ScreenRow{1920, 1080, 670, 390}, ScreenRow{800, 600, 110, 150},
                                         ScreenRow{1366, 768, 393, 234}, ScreenRow{581, 301, 0, 0}));

TEST_F(WizardTest, TitleBarBandFrameAndLogoAreWhereTheLayoutPutsThem) {
  Open();
  const QImage image = Picture();
  SavePicture(image, "licence");
  EXPECT_EQ(image.pixel(300, 5), qRgb(0, 165, 81)) << "title bar";
  EXPECT_EQ(image.pixel(300, 39), qRgb(0, 165, 81));
  EXPECT_EQ(image.pixel(300, 260), qRgb(240, 240, 240)) << "button band";
  EXPECT_EQ(image.pixel(10, 299), qRgb(209, 209, 209)) << "frame, bottom";
  EXPECT_EQ(image.pixel(0, 150), qRgb(209, 209, 209)) << "frame, left";
  EXPECT_EQ(image.pixel(579, 270), qRgb(209, 209, 209)) << "frame, right";
  EXPECT_EQ(image.pixel(300, 0), qRgb(209, 209, 209)) << "frame, top";
  EXPECT_EQ(image.pixel(24, 14), qRgb(255, 255, 255)) << "logo glyph";
  EXPECT_EQ(image.pixel(18, 11), qRgb(0, 165, 81)) << "logo's transparent corner shows the bar";
  EXPECT_EQ(image.pixel(554, 13), qRgb(0, 165, 81)) << "close button face";
  EXPECT_EQ(image.pixel(372, 277), qRgb(240, 240, 240));
  EXPECT_EQ(image.pixel(373, 277), qRgb(170, 170, 170)) << "agree button's border";
  EXPECT_EQ(image.pixel(471, 277), qRgb(170, 170, 170)) << "cancel button's border";
  EXPECT_EQ(dialog_->windowTitle().toStdWString(), L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8");
}

// The share of an icon's pixels that stand out from a taskbar of `background`.
double ShareStandingOut(const QImage& icon, QRgb background) {
  QImage over(icon.size(), QImage::Format_RGB32);
  over.fill(background);
  QPainter(&over).drawImage(0, 0, icon);
  int standing = 0;
  for (int y = 0; y < over.height(); ++y) {
    for (int x = 0; x < over.width(); ++x) {
      const QRgb pixel = over.pixel(x, y);
      standing += std::max({std::abs(qRed(pixel) - qRed(background)), std::abs(qGreen(pixel) - qGreen(background)),
                            std::abs(qBlue(pixel) - qBlue(background))}) > 64;
    }
  }
  return double(standing) / (over.width() * over.height());
}

TEST_F(WizardTest, TheWindowIconIsIcon128AndReadsOnLightAndDarkTaskbars) {
  Open();
  const QIcon icon = dialog_->windowIcon();
  for (int size : {16, 24, 32, 48}) {
    const QImage picture = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    SavePicture(picture, "icon-" + std::to_string(size));
    ASSERT_EQ(picture.size(), QSize(size, size)) << "a square icon of " << size << " pixels";
    EXPECT_GT(ShareStandingOut(picture, qRgb(255, 255, 255)), 0.6) << size << " on a light taskbar";
    EXPECT_GT(ShareStandingOut(picture, qRgb(0, 0, 0)), 0.6) << size << " on a dark taskbar";
  }
}

TEST_F(WizardTest, WhileClosingTheWindowPaintsNoBackground) {
  Open();
  dialog_->m_closing = 1;
  const QImage image = Picture();
  EXPECT_EQ(image.pixel(300, 260), qRgb(255, 0, 255));
  EXPECT_EQ(image.pixel(0, 150), qRgb(255, 0, 255));
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButtons buttons) {
  QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

TEST_F(WizardTest, TheTitleBarDragsTheWindowFromY39ButNotFrom40) {
  Open();
  const QPoint start = dialog_->pos();
  SendMouse(dialog_.get(), QEvent::MouseButtonPress, {100, 39}, start + QPoint(100, 39), Qt::LeftButton);
  SendMouse(dialog_.get(), QEvent::MouseMove, {150, 59}, start + QPoint(150, 59), Qt::LeftButton);
  SendMouse(dialog_.get(), QEvent::MouseButtonRelease, {150, 59}, start + QPoint(150, 59), Qt::NoButton);
  EXPECT_EQ(dialog_->pos(), start + QPoint(50, 20));

  const QPoint moved = dialog_->pos();
  SendMouse(dialog_.get(), QEvent::MouseButtonPress, {100, 40}, moved + QPoint(100, 40), Qt::LeftButton);
  SendMouse(dialog_.get(), QEvent::MouseMove, {150, 60}, moved + QPoint(150, 60), Qt::LeftButton);
  SendMouse(dialog_.get(), QEvent::MouseButtonRelease, {150, 60}, moved + QPoint(150, 60), Qt::NoButton);
  EXPECT_EQ(dialog_->pos(), moved);
}

// --- The key filter ------------------------------------------------------

struct KeyRow {
  const char* name;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
};

const KeyRow kKeys[] = {{"Enter", Qt::Key_Return, Qt::NoModifier},  {"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier},
                        {"Escape", Qt::Key_Escape, Qt::NoModifier}, {"Space", Qt::Key_Space, Qt::NoModifier},
                        {"F1", Qt::Key_F1, Qt::NoModifier},         {"AltF4", Qt::Key_F4, Qt::AltModifier},
                        {"Cancel", Qt::Key_Cancel, Qt::NoModifier}};

// A key pressed and released on a widget, as the window system delivers it.
void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(target, &release);
}

class KeyFilterTest : public WizardTest {
 protected:
  // Presses every filtered key on `target` and checks that nothing happened.
  void PressAllKeysOn(QWidget* target) {
    const bool licence = dialog_->m_pLicenseView->isVisible();
    const bool progress = dialog_->m_pProgressView->isVisible();
    const bool complete = dialog_->m_pCompleteView->isVisible();
    for (const KeyRow& row : kKeys) {
      PressKey(target, row.key, row.modifiers);
      EXPECT_TRUE(stopDialogs_.empty()) << row.name;
      EXPECT_FALSE(dialog_->QuitPosted()) << row.name;
      EXPECT_EQ(agentStarts_, 0) << row.name;
      EXPECT_TRUE(dialog_->isVisible()) << row.name;
      EXPECT_EQ(dialog_->m_pLicenseView->isVisible(), licence) << row.name;
      EXPECT_EQ(dialog_->m_pProgressView->isVisible(), progress) << row.name;
      EXPECT_EQ(dialog_->m_pCompleteView->isVisible(), complete) << row.name;
    }
    QCloseEvent close;
    QApplication::sendEvent(dialog_.get(), &close);
    EXPECT_FALSE(close.isAccepted()) << "the system menu's Close";
    EXPECT_TRUE(dialog_->isVisible());
  }
};

TEST_F(KeyFilterTest, NothingHappensOnTheLicencePage) {
  Open();
  dialog_->m_agreeButton.setFocus();
  PressAllKeysOn(&dialog_->m_agreeButton);
  PressAllKeysOn(&dialog_->m_cancelButton);
  PressAllKeysOn(&dialog_->m_pLicenseView->m_licenseEdit);
  PressKey(&dialog_->m_pLicenseView->m_licenseEdit, Qt::Key_F4, Qt::NoModifier);
  EXPECT_EQ(workersStarted_, 0);
}

TEST_F(KeyFilterTest, NothingHappensWhileInstalling) {
  Open();
  dialog_->OnBnClickedAgree();
  PressAllKeysOn(dialog_->m_pProgressView);
  PressAllKeysOn(&dialog_->m_pProgressView->m_list);
  EXPECT_EQ(workersStarted_, 1);
}

TEST_F(KeyFilterTest, NothingHappensOnTheCompletionPageAndSpaceDoesNotToggleTheCheckBox) {
  Open();
  dialog_->OnBnClickedAgree();
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  dialog_->m_cancelButton.setFocus();
  PressAllKeysOn(&dialog_->m_cancelButton);
  CTransButton& check = dialog_->m_pCompleteView->m_shortcutCheck;
  PressAllKeysOn(&check);
  EXPECT_TRUE(check.isChecked());
  QTest::mouseClick(&check, Qt::LeftButton, Qt::NoModifier, check.rect().center());
  EXPECT_FALSE(check.isChecked()) << "a mouse click does toggle it";
}

// --- The start-up gate -----------------------------------------------------

struct RefusalRow {
  const char* name;
  int serverCheck;
  int message;
};

class GateRefusalTest : public WizardTest, public testing::WithParamInterface<RefusalRow> {};

TEST_P(GateRefusalTest, TheServerCheckRefusesWithASystemMessageBoxBeforeAnyPage) {
  dialog_->m_serverCheckResult = GetParam().serverCheck;
  Open();
  ASSERT_EQ(messageBoxes_.size(), 1u);
  EXPECT_EQ(messageBoxes_[0].text, RESBOX::GetString(GetParam().message));
  EXPECT_EQ(messageBoxes_[0].caption, kProductName);
  EXPECT_EQ(messageBoxes_[0].type, 0x30u);
  EXPECT_TRUE(stopDialogs_.empty());
  EXPECT_EQ(dialog_->m_closing, 1);
  EXPECT_TRUE(dialog_->QuitPosted());
  EXPECT_EQ(dialog_->m_pLicenseView, nullptr);
  EXPECT_EQ(dialog_->m_pProgressView, nullptr);
  EXPECT_FALSE(dialog_->isVisible());
}

TEST_P(GateRefusalTest, TheSystemMessageBoxSaysOkInKorean) {
  dialog_->m_serverCheckResult = GetParam().serverCheck;
  dialog_->m_messageBox = SystemMessageBox;
  const std::vector<std::wstring> buttons =
      wizard_testing::AnswerMessageBox([&] { Open(); }, "refusal-" + std::to_string(GetParam().message));
  EXPECT_EQ(buttons, std::vector<std::wstring>{L"\ud655\uc778"}) << "one button, \"OK\" in Korean";
  EXPECT_TRUE(dialog_->QuitPosted());
}

INSTANTIATE_TEST_SUITE_P(Rows, GateRefusalTest,
                         testing::Values(RefusalRow{"NoInformation", SERVERCHECK_NO_INFO, IDS_NO_INSTALL_INFO},
                                         RefusalRow{"ServerUnreachable", SERVERCHECK_COMM_ERROR, IDS_SERVER_UNREACHABLE}),
                         [](const testing::TestParamInfo<RefusalRow>& info) { return std::string(info.param.name); });

TEST_F(WizardTest, AnUnsupportedSystemIsRefusedInTheOneButtonMessageDialog) {
  testing_support::ScopedMachine xp("winxp-sp2-x86");
  Open();
  ASSERT_EQ(stopDialogs_.size(), 1u);
  EXPECT_EQ(stopDialogs_[0].message, RESBOX::GetString(IDS_UNSUPPORTED_OS));
  EXPECT_FALSE(stopDialogs_[0].twoButtons);
  EXPECT_TRUE(messageBoxes_.empty());
  EXPECT_EQ(dialog_->m_closing, 1);
  EXPECT_TRUE(dialog_->QuitPosted());
  EXPECT_EQ(dialog_->m_pLicenseView, nullptr);
}

TEST_F(WizardTest, ABadTokenOnAnUnsupportedSystemShows316) {
  testing_support::ScopedMachine xp("winxp-sp2-x86");
  dialog_->m_serverCheckResult = SERVERCHECK_NO_INFO;
  Open();
  ASSERT_EQ(messageBoxes_.size(), 1u);
  EXPECT_EQ(messageBoxes_[0].text, RESBOX::GetString(IDS_NO_INSTALL_INFO));
  EXPECT_TRUE(stopDialogs_.empty());
}

TEST_F(WizardTest, WindowsXpWithServicePack3PassesTheGate) {
  testing_support::ScopedMachine xp("winxp-sp3-x86");
  Open();
  EXPECT_TRUE(stopDialogs_.empty());
  EXPECT_TRUE(messageBoxes_.empty());
  EXPECT_NE(dialog_->m_pLicenseView, nullptr);
}

TEST_F(WizardTest, AnExistingInstallationIsRefusedWith312) {
  RegWriteString(win::HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}",
                 L"DisplayName", kProductName);
  ASSERT_TRUE(CbvlInstallerDlg::IsAlreadyInstalled());
  Open();
  ASSERT_EQ(stopDialogs_.size(), 1u);
  EXPECT_EQ(stopDialogs_[0].message, RESBOX::GetString(IDS_ALREADY_INSTALLED));
  EXPECT_FALSE(stopDialogs_[0].twoButtons);
  EXPECT_TRUE(dialog_->QuitPosted());
}

TEST_F(WizardTest, AnEmptyDisplayNameIsNoInstallation) {
  RegWriteString(win::HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}",
                 L"DisplayName", L"");
  EXPECT_FALSE(CbvlInstallerDlg::IsAlreadyInstalled());
  EXPECT_EQ(dialog_->StartupGateMessageId(), 0);
}

TEST_F(WizardTest, TheModalRunEndsAtTheGatesQuit) {
  dialog_->m_serverCheckResult = SERVERCHECK_COMM_ERROR;
  dialog_->DoModal();  // returns: the quit was posted before the run began
  EXPECT_EQ(messageBoxes_.size(), 1u);
  EXPECT_FALSE(dialog_->isVisible());
}

// --- Page transitions ------------------------------------------------------

TEST_F(WizardTest, TheLicenceStateShowsTheLicenceAndThreeButtons) {
  Open();
  EXPECT_TRUE(dialog_->m_pLicenseView->isVisible());
  EXPECT_FALSE(dialog_->m_pProgressView->isVisible());
  EXPECT_FALSE(dialog_->m_pCompleteView->isVisible());
  EXPECT_TRUE(dialog_->m_agreeButton.isVisible());
  EXPECT_TRUE(dialog_->m_cancelButton.isVisible());
  EXPECT_TRUE(dialog_->m_closeButton.isVisible());
  EXPECT_EQ(dialog_->m_agreeButton.text().toStdWString(), L"\ub3d9\uc758\ud568 >");
  EXPECT_EQ(dialog_->m_cancelButton.text().toStdWString(), L"\ucde8\uc18c");
  EXPECT_EQ(dialog_->m_pLicenseView->geometry(), QRect(1, 40, 578, 214));
  EXPECT_EQ(dialog_->m_agreeButton.geometry(), QRect(373, 265, 90, 25));
  EXPECT_EQ(dialog_->m_closeButton.geometry(), QRect(547, 12, 15, 15));
  EXPECT_EQ(dialog_->m_titleLabel.text().toStdWString(), L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58\ud558\uae30");
}

TEST_F(WizardTest, AgreeHidesTheButtonsShowsTheProgressPageAndStartsTheWorker) {
  Open();
  Click(&dialog_->m_agreeButton);
  EXPECT_EQ(workersStarted_, 1);
  ASSERT_NE(session_, nullptr);
  EXPECT_EQ(session_->engine, dialog_->m_pProgressView->m_engine);
  EXPECT_FALSE(dialog_->m_agreeButton.isVisible());
  EXPECT_FALSE(dialog_->m_cancelButton.isVisible());
  EXPECT_FALSE(dialog_->m_closeButton.isVisible());
  EXPECT_FALSE(dialog_->m_pLicenseView->isVisible());
  EXPECT_TRUE(dialog_->m_pProgressView->isVisible());
  EXPECT_EQ(dialog_->m_pProgressView->geometry(), QRect(1, 40, 578, 214));
  EXPECT_NE(dialog_->m_pProgressView->m_pWorkerThread, nullptr);
  // Cancel is hidden and does nothing while installing.
  dialog_->OnBnClickedCancel();
  EXPECT_TRUE(stopDialogs_.empty());
  EXPECT_FALSE(dialog_->QuitPosted());
}

struct StopRow {
  const char* name;
  bool viaClose;
  int answer;
  bool quits;
};

class StopConfirmationTest : public WizardTest, public testing::WithParamInterface<StopRow> {};

TEST_P(StopConfirmationTest, TheLicencePageAsksBeforeStopping) {
  stopDialogAnswer_ = GetParam().answer;
  Open();
  Click(GetParam().viaClose ? &dialog_->m_closeButton : &dialog_->m_cancelButton);
  ASSERT_EQ(stopDialogs_.size(), 1u);
  EXPECT_EQ(stopDialogs_[0].message, L"\uc124\uce58\ub97c \uc911\ub2e8\ud558\uc2dc\uaca0\uc2b5\ub2c8\uae4c?");
  EXPECT_TRUE(stopDialogs_[0].twoButtons);
  EXPECT_EQ(dialog_->QuitPosted(), GetParam().quits);
  // Either way the wizard is as it was; a confirmed stop starts nothing.
  EXPECT_TRUE(dialog_->m_pLicenseView->isVisible());
  EXPECT_TRUE(dialog_->m_agreeButton.isVisible());
  EXPECT_EQ(workersStarted_, 0);
  EXPECT_EQ(agentStarts_, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, StopConfirmationTest,
                         testing::Values(StopRow{"CancelThenOk", false, 1, true}, StopRow{"CancelThenCancel", false, 2, false},
                                         StopRow{"CloseThenOk", true, 1, true}, StopRow{"CloseThenCancel", true, 2, false}),
                         [](const testing::TestParamInfo<StopRow>& info) { return std::string(info.param.name); });

TEST_F(WizardTest, TheWorkerTurnsTheWizardToTheCompletionPageAndOkEndsIt) {
  Open();
  dialog_->OnBnClickedAgree();
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  EXPECT_FALSE(dialog_->m_pProgressView->isVisible());
  EXPECT_TRUE(dialog_->m_pCompleteView->isVisible());
  EXPECT_EQ(dialog_->m_pCompleteView->geometry(), QRect(1, 40, 578, 214));
  EXPECT_TRUE(dialog_->m_cancelButton.isVisible());
  EXPECT_FALSE(dialog_->m_closeButton.isVisible());
  EXPECT_FALSE(dialog_->m_agreeButton.isVisible());
  EXPECT_EQ(dialog_->m_cancelButton.text().toStdWString(), L"\ud655\uc778");
  SavePicture(Picture(), "completion");

  Click(&dialog_->m_cancelButton);
  EXPECT_EQ(agentStarts_, 1);
  EXPECT_TRUE(dialog_->QuitPosted());
  EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(WizardTest, DestroyingTheProgressPageStopsTheWorker) {
  Open();
  dialog_->OnBnClickedAgree();
  delete dialog_->m_pProgressView;
  dialog_->m_pProgressView = nullptr;
  EXPECT_TRUE(workerStopped_);
  // The sinks outlive the page and do nothing.
  session_->progress->AddStatusRow(L"late", false, 50);
  session_->progress->SetStatusText(L"late");
  session_->wizard->ShowMessageBox(L"late", L"late", 0x30);
  EXPECT_TRUE(messageBoxes_.empty());
}

}  // namespace

namespace {

TEST_F(KeyFilterTest, AMessageBoxOverTheWizardKeepsItsEnter) {
  Open();
  QMessageBox box(QMessageBox::Warning, QStringLiteral("caption"), QStringLiteral("text"), QMessageBox::Ok,
                  dialog_.get());
  QTimer::singleShot(0, &box, [&] { PressKey(box.focusWidget() ? box.focusWidget() : &box, Qt::Key_Return, Qt::NoModifier); });
  QTimer::singleShot(5000, &box, [&] { box.reject(); });  // a stuck box would end the run here
  EXPECT_EQ(box.exec(), QMessageBox::Ok);
}

}  // namespace
