// The wizard's pages: the licence box, the progress page's rows and bar and
// the sinks that carry the worker's calls, the completion page's two forms
// and the shortcuts, read back with lnkinfo.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/resource.h"
#include "app/shell_link.h"
#include "app/shortcuts.h"
#include "app/system_message_box.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "support/host_files.h"
#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

// --- Licence ---------------------------------------------------------------

TEST_F(WizardTest, TheLicenceShowsFromItsFirstLine) {
  Open();
  QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  EXPECT_EQ(box.geometry(), QRect(18, 80, 544, 120));
  EXPECT_EQ(box.document()->firstBlock().text().toStdWString(),
            L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ubc0f \uc774\uc6a9 \uc57d\uad00");
  EXPECT_EQ(box.verticalScrollBar()->value(), 0);
  EXPECT_EQ(box.textCursor().position(), 0);
  EXPECT_EQ(box.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_GT(box.verticalScrollBar()->maximum(), 0) << "the agreement is longer than the box";
  EXPECT_EQ(dialog_->m_pLicenseView->m_introLabel.text().toStdWString(), RESBOX::GetString(IDS_LICENSE_INTRO));
}

TEST_F(WizardTest, TheLicenceIsReadOnlyButSelectable) {
  Open();
  QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  const QString before = box.toPlainText();
  box.setFocus();
  QTest::keyClicks(&box, "typed");
  QTest::keyClick(&box, Qt::Key_Delete);
  QTest::keyClick(&box, Qt::Key_Backspace);
  QApplication::clipboard()->setText(QStringLiteral("pasted"));
  box.paste();
  box.cut();
  EXPECT_EQ(box.toPlainText(), before);

  box.selectAll();
  box.copy();
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(box.document()->firstBlock().text()));
}

TEST_F(WizardTest, TheAgreementsTabsGoToHalfAnInchAtThePagesResolution) {
  Open();
  QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  // The agreement's list: "\t1. ...", "\t2. ...", "\t3. ..." under its article 3.
  int listed = 0;
  for (QTextBlock block = box.document()->firstBlock(); block.isValid(); block = block.next()) {
    if (!block.text().startsWith(QLatin1Char('\t'))) continue;
    ++listed;
    const QTextLine line = block.layout()->lineAt(0);
    const qreal inch = box.logicalDpiX();
    EXPECT_NEAR(line.cursorToX(1) - line.cursorToX(0), inch / 2, 0.5) << block.text().toStdString();
    if (listed == 1) {
      box.verticalScrollBar()->setValue(int(box.document()->documentLayout()->blockBoundingRect(block).top()) - 30);
      SavePicture(Picture(), "licence-list");
    }
  }
  EXPECT_EQ(listed, 3);
}

TEST_F(WizardTest, TheAgreementBoxOffersNoContextMenu) {
  Open();
  QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  box.setFocus();
  // A menu that opens runs its own loop; the watch notes it and closes it.
  QStringList opened;
  QTimer watch;
  watch.setInterval(10);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      opened << popup->metaObject()->className();
      popup->close();
    }
  });
  watch.start();
  const QPoint inside = box.viewport()->rect().center();
  QContextMenuEvent byMouse(QContextMenuEvent::Mouse, inside, box.viewport()->mapToGlobal(inside));
  QApplication::sendEvent(box.viewport(), &byMouse);
  QContextMenuEvent byKeyboard(QContextMenuEvent::Keyboard, box.cursorRect().center(),
                               box.viewport()->mapToGlobal(box.cursorRect().center()));
  QApplication::sendEvent(&box, &byKeyboard);
  QTest::qWait(30);
  EXPECT_TRUE(opened.isEmpty()) << opened.join(QLatin1Char(' ')).toStdString();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(WizardTest, TheAgreementIsSelectedAndCopiedWithMouseAndKeys) {
  Open();
  QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  const QString title = box.document()->firstBlock().text();
  QApplication::clipboard()->clear();

  // A drag across the title's first line selects it; Ctrl+C copies it.
  const QRect first = box.cursorRect(QTextCursor(box.document()));
  const QPoint from(first.left() + 1, first.center().y());
  const QPoint to(box.viewport()->width() - 2, first.center().y());
  QTest::mousePress(box.viewport(), Qt::LeftButton, Qt::NoModifier, from);
  QMouseEvent drag(QEvent::MouseMove, to, box.viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(box.viewport(), &drag);
  QTest::mouseRelease(box.viewport(), Qt::LeftButton, Qt::NoModifier, to);
  ASSERT_FALSE(box.textCursor().selectedText().isEmpty()) << "the drag selected text";
  QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(title.startsWith(QApplication::clipboard()->text()) && !QApplication::clipboard()->text().isEmpty())
      << QApplication::clipboard()->text().toStdString();

  // Ctrl+A selects the whole agreement; Ctrl+C copies it.
  QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), box.toPlainText());
}

TEST_F(WizardTest, AMissingAgreementLeavesTheBoxEmpty) {
  dialog_->OnInitDialog();
  RESBOX::Clear();  // the binary table without IDR_LICENSE_RTF
  LicenseView page(dialog_.get());
  page.OnInitDialog();
  EXPECT_TRUE(page.m_licenseEdit.toPlainText().isEmpty());
}

// --- Progress --------------------------------------------------------------

class ProgressPageTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    Open();
    dialog_->OnBnClickedAgree();
    page_ = dialog_->m_pProgressView;
  }
  QStringList Rows() const {
    QStringList rows;
    for (int i = 0; i < page_->m_list.count(); ++i) rows << page_->m_list.item(i)->text();
    return rows;
  }
  // The worker's failure box, asked for from a thread of its own; waits
  // until the call has returned.
  void ShowFailureBoxFromWorker() {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
      session_->wizard->ShowMessageBox(L"FileDownLoad Fail", session_->strings(IDS_PRODUCT_NAME), 0x30);
      returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 10000));
    worker.join();
  }
  ProgressView* page_ = nullptr;
};

TEST_F(ProgressPageTest, TheControlsArePlacedAndStyled) {
  EXPECT_EQ(page_->m_statusLabel.geometry(), QRect(17, 24, 200, 18));
  EXPECT_EQ(page_->m_progress.geometry(), QRect(18, 54, 544, 20));
  EXPECT_EQ(page_->m_list.geometry(), QRect(18, 85, 544, 122));
  EXPECT_EQ(page_->m_progress.m_startColor, 0x00AAC5C5u);
  EXPECT_EQ(page_->m_progress.m_endColor, 0x0000A551u);
  EXPECT_EQ(page_->m_list.palette().color(QPalette::Text), QColor(81, 196, 0));
  EXPECT_EQ(page_->m_list.font().pixelSize(), 12);
  EXPECT_FLOAT_EQ(page_->m_statusLabel.m_fontSize, 13.0f);
}

TEST_F(ProgressPageTest, ReplacingOnAnEmptyListMovesOnlyTheBar) {
  page_->AddStatusRow(L"nothing to replace", true, 30);
  EXPECT_EQ(page_->m_list.count(), 0);
  EXPECT_EQ(page_->m_progress.m_position, 30);
  EXPECT_EQ(page_->m_progress.value(), 30);
}

TEST_F(ProgressPageTest, RowsAreAddedAndTheLastOneReplaced) {
  page_->AddStatusRow(L"RenameOldFile Success", false, 30);
  page_->AddStatusRow(L"bvlsvc.exe Download Success", true, 32);
  page_->AddStatusRow(L"proverinfo create Success", false, 68);
  EXPECT_EQ(Rows(), QStringList({"bvlsvc.exe Download Success", "proverinfo create Success"}));
  EXPECT_EQ(page_->m_progress.m_position, 68);
  page_->SetStatusText(L"InstallService..");
  EXPECT_EQ(page_->m_statusLabel.text(), QStringLiteral("InstallService.."));
}

TEST_F(ProgressPageTest, TheNewestRowIsAlwaysScrolledIntoView) {
  for (int i = 0; i < 40; ++i) page_->AddStatusRow(L"row " + std::to_wstring(i), false, 30 + i);
  const QRect last = page_->m_list.visualItemRect(page_->m_list.item(39));
  EXPECT_TRUE(page_->m_list.viewport()->rect().contains(last)) << "fully visible";
}

TEST_F(ProgressPageTest, TheWorkersCallsArriveInOrderWhileTheInterfaceThreadPumps) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    session_->progress->SetStatusText(L"CreateAndMoveInstalledFile..");
    session_->progress->AddStatusRow(L"RenameOldFile Success", false, 30);
    for (int percent = 32; percent <= 62; percent += 2) {
      session_->progress->AddStatusRow(L"component " + std::to_wstring(percent) + L" Download Success", true, percent);
    }
    session_->progress->AddStatusRow(L"proverinfo create Success", false, 68);
    done = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
  worker.join();
  EXPECT_EQ(Rows(), QStringList({"component 62 Download Success", "proverinfo create Success"}));
  EXPECT_EQ(page_->m_progress.m_position, 68);
  EXPECT_EQ(page_->m_statusLabel.text(), QStringLiteral("CreateAndMoveInstalledFile.."));
}

TEST_F(ProgressPageTest, TheWorkersMessageBoxIsOwnedByTheProgressPageAndWaitedFor) {
  ShowFailureBoxFromWorker();
  ASSERT_EQ(messageBoxes_.size(), 1u);
  EXPECT_EQ(messageBoxes_[0].text, L"FileDownLoad Fail");
  EXPECT_EQ(messageBoxes_[0].caption, L"\ube0c\ub9bc\ubca0\uc77c");
  EXPECT_TRUE(messageBoxes_[0].ownedByProgressPage);
}

TEST_F(ProgressPageTest, TheWorkersFailureBoxSaysOkInKorean) {
  dialog_->m_messageBox = SystemMessageBox;
  const std::vector<std::wstring> buttons =
      wizard_testing::AnswerMessageBox([&] { ShowFailureBoxFromWorker(); }, "failure-box");
  EXPECT_EQ(buttons, std::vector<std::wstring>{L"\ud655\uc778"}) << "one button, \"OK\" in Korean";
}

TEST_F(ProgressPageTest, TheBarPaintsThePositionOfTheLastRow) {
  page_->AddStatusRow(L"Install Success", false, 100);
  SavePicture(Picture(), "progress");
  const QImage bar = page_->m_progress.Render();
  // The last of the 170 bands: (197, 197, 170) + 169 steps of (-116, -32, -170) / 170.
  EXPECT_EQ(bar.pixel(543, 10), qRgb(81, 165, 1)) << "filled to the end";
  EXPECT_EQ(bar.pixel(0, 10), qRgb(197, 197, 170));
}

// --- Completion ------------------------------------------------------------

class CompletionPageTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    Open();
    dialog_->OnBnClickedAgree();
    page_ = dialog_->m_pCompleteView;
  }

  // Ink of the painted question beside the check box.
  bool QuestionPainted() {
    QImage image(page_->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    page_->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    for (int y = 78; y < 100; ++y)
      for (int x = 41; x < 400; ++x)
        if (qGray(image.pixel(x, y)) < 160) return true;
    return false;
  }

  std::filesystem::path DesktopLink() {
    wchar_t desktop[win::MAX_PATH] = {};
    win::SHGetSpecialFolderPathW(nullptr, desktop, win::CSIDL_DESKTOP, win::FALSE);
    return machine_.Host(std::wstring(desktop) + L"\\\ube0c\ub9bc\ubca0\uc77c.lnk");
  }
  std::filesystem::path ProgramsLink() {
    return machine_.Host(L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Brimvale\\\ube0c\ub9bc\ubca0\uc77c.lnk");
  }

  CompleteView* page_ = nullptr;
};

// lnkinfo's report of a shortcut file.
std::string LnkInfo(const std::filesystem::path& file) {
  std::string command = "lnkinfo '" + file.string() + "' 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
  }
  return output;
}

// The value after "<label>" and its colon on lnkinfo's report.
std::string Field(const std::string& report, const std::string& label) {
  const std::size_t at = report.find(label);
  if (at == std::string::npos) return "<missing " + label + ">";
  std::size_t start = report.find(':', at);
  start = report.find_first_not_of(" \t", start + 1);
  return report.substr(start, report.find('\n', start) - start);
}

TEST_F(CompletionPageTest, TheSuccessFormOffersTheShortcuts) {
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  EXPECT_EQ(page_->m_messageLabel.text().toStdWString(), RESBOX::GetString(IDS_INSTALL_COMPLETE));
  EXPECT_EQ(page_->m_messageLabel.geometry(), QRect(17, 23, 250, 33));
  EXPECT_EQ(page_->m_shortcutCheck.geometry(), QRect(18, 80, 18, 18));
  EXPECT_TRUE(page_->m_shortcutCheck.isVisible());
  EXPECT_TRUE(page_->m_shortcutCheck.isChecked());
  EXPECT_TRUE(session_->wizard->OffersShortcut());
  EXPECT_TRUE(QuestionPainted());
}

TEST_F(CompletionPageTest, TheFailureFormTakesTheOfferAwayAndOkCreatesNoShortcut) {
  session_->wizard->ShowFailureForm(RESBOX::GetString(IDS_INSTALL_FAILED));
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  EXPECT_EQ(page_->m_messageLabel.text().toStdWString(), RESBOX::GetString(IDS_INSTALL_FAILED));
  EXPECT_FALSE(page_->m_shortcutCheck.isVisible());
  EXPECT_TRUE(page_->m_shortcutCheck.isChecked()) << "the hidden box is still checked";
  EXPECT_EQ(page_->m_offerShortcut, 0);
  EXPECT_FALSE(session_->wizard->OffersShortcut());
  EXPECT_FALSE(QuestionPainted());
  SavePicture(Picture(), "failure");

  Click(&dialog_->m_cancelButton);
  EXPECT_FALSE(std::filesystem::exists(DesktopLink()));
  EXPECT_FALSE(std::filesystem::exists(ProgramsLink()));
  EXPECT_EQ(agentStarts_, 1) << "the agent service is still started";
  EXPECT_TRUE(dialog_->QuitPosted());
}

TEST_F(CompletionPageTest, OkWithTheBoxCheckedCreatesBothShortcutsToThe64BitAgent) {
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  Click(&dialog_->m_cancelButton);
  for (const std::filesystem::path& link : {DesktopLink(), ProgramsLink()}) {
    ASSERT_TRUE(std::filesystem::exists(link)) << link;
    const std::string report = LnkInfo(link);
    EXPECT_EQ(Field(report, "Local path"), "C:\\Program Files\\brimvale\\BrimvaleAgent.exe") << report;
    EXPECT_EQ(Field(report, "Description"), platform::WideToUtf8(L"\ube0c\ub9bc\ubca0\uc77c")) << report;
    EXPECT_EQ(report.find("Command line arguments"), std::string::npos) << "no arguments";
  }
}

TEST_F(CompletionPageTest, OkWithTheBoxUncheckedCreatesNoShortcut) {
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  page_->m_shortcutCheck.setChecked(false);
  Click(&dialog_->m_cancelButton);
  EXPECT_FALSE(std::filesystem::exists(DesktopLink()));
  EXPECT_FALSE(std::filesystem::exists(ProgramsLink()));
  EXPECT_EQ(agentStarts_, 1);
}

TEST_F(CompletionPageTest, ExistingShortcutsAreOverwritten) {
  ASSERT_TRUE(testing_support::WriteHostFile(ProgramsLink(), "an old shortcut"));
  ASSERT_TRUE(testing_support::WriteHostFile(DesktopLink(), "an old shortcut"));
  page_->CreateShortcuts();
  EXPECT_EQ(Field(LnkInfo(ProgramsLink()), "Local path"), "C:\\Program Files\\brimvale\\BrimvaleAgent.exe");
  EXPECT_EQ(Field(LnkInfo(DesktopLink()), "Local path"), "C:\\Program Files\\brimvale\\BrimvaleAgent.exe");
}

TEST_F(WizardTest, OnA32BitSystemTheShortcutsPointIntoItsOnlyProgramFolder) {
  testing_support::ScopedMachine x86("win10-x86");
  EXPECT_EQ(AgentShortcutTarget(), L"C:\\Program Files\\brimvale\\BrimvaleAgent.exe");
}

TEST_F(WizardTest, TheShellLinkHeaderIsTheDocumentedOne) {
  ShellLink link;
  link.SetPath(L"C:\\x.exe");
  link.SetDescription(L"d");
  const std::string bytes = link.Serialize();
  ASSERT_GE(bytes.size(), 0x4Cu + 4);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x4C);
  EXPECT_EQ(bytes.substr(4, 4), std::string("\x01\x14\x02\x00", 4)) << "LinkCLSID 00021401-...";
  EXPECT_EQ(static_cast<unsigned char>(bytes[0x14]), 0x02 | 0x04 | 0x80) << "HasLinkInfo, HasName, IsUnicode";
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0')) << "terminal block";
}

}  // namespace
