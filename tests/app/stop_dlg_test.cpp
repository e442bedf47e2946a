// The message dialog: its two forms, its buttons' results, keys that do not
// close it, and its drag by the green bar.
#include <QTimer>

#include "app/resource.h"
#include "app/stop_dlg.h"
#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

class StopDlgTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    dialog_->PreloadResources();
    dialog_->BuildLayoutTable();
    g_pInstallerDlg = dialog_.get();
  }

  // Runs the dialog modally; `whileUp` acts on it once it is shown.
  int Run(StopDlg& stop, const std::function<void()>& whileUp) {
    QTimer::singleShot(0, &stop, whileUp);
    return stop.DoModal();
  }

  // What the dialog paints, saved as `picture` when pictures are asked for.
  static QImage Rendered(StopDlg& stop, const std::string& picture) {
    QImage image(stop.size(), QImage::Format_RGB32);
    stop.render(&image);
    SavePicture(image, picture);
    return image;
  }
};

TEST_F(StopDlgTest, TheConfirmationFormHasTwoButtonsAndOkEndsWithIdOk) {
  StopDlg stop(RESBOX::GetString(IDS_STOP_CONFIRM), 1, nullptr);
  const int result = Run(stop, [&] {
    EXPECT_EQ(stop.geometry(), QRect(825, 457, 270, 165)) << "centred on 1920 x 1080";
    EXPECT_TRUE(stop.m_okButton.isVisible());
    EXPECT_TRUE(stop.m_cancelButton.isVisible());
    EXPECT_EQ(stop.m_okButton.geometry(), QRect(63, 130, 90, 25));
    EXPECT_EQ(stop.m_cancelButton.geometry(), QRect(161, 130, 90, 25));
    EXPECT_EQ(stop.m_okButton.text().toStdWString(), L"\ud655\uc778");
    EXPECT_EQ(stop.m_cancelButton.text().toStdWString(), L"\ucde8\uc18c");
    EXPECT_EQ(stop.m_titleLabel.text().toStdWString(), RESBOX::GetString(IDS_INSTALL_TITLE));
    EXPECT_EQ(stop.m_messageLabel.text().toStdWString(), RESBOX::GetString(IDS_STOP_CONFIRM));
    const QImage image = Rendered(stop, "stop-confirmation");
    EXPECT_EQ(image.pixel(250, 20), qRgb(0, 165, 81));
    EXPECT_EQ(image.pixel(10, 140), qRgb(240, 240, 240));
    EXPECT_EQ(image.pixel(0, 80), qRgb(209, 209, 209));
    EXPECT_EQ(image.pixel(24, 14), qRgb(255, 255, 255)) << "logo";
    // The buttons' empty font family still shows their Korean captions: grey
    // ink inside each face, within its border.
    for (const QRect& face : {QRect(65, 132, 86, 21), QRect(163, 132, 86, 21)}) {
      int ink = 0;
      for (int y = face.top(); y <= face.bottom(); ++y)
        for (int x = face.left(); x <= face.right(); ++x) ink += qGray(image.pixel(x, y)) < 180;
      EXPECT_GT(ink, 15) << face.x();
    }
    QTest::mouseClick(&stop.m_okButton, Qt::LeftButton);
  });
  EXPECT_EQ(result, IDOK);
}

TEST_F(StopDlgTest, CancelEndsWithIdCancelAndKeysDoNotCloseIt) {
  StopDlg stop(RESBOX::GetString(IDS_STOP_CONFIRM), 1, nullptr);
  const int result = Run(stop, [&] {
    stop.m_okButton.setFocus();
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_F1}) {
      QTest::keyClick(&stop.m_okButton, key);
      QTest::keyClick(&stop, key);
    }
    QTest::keyClick(&stop, Qt::Key_F4, Qt::AltModifier);
    EXPECT_TRUE(stop.isVisible());
    stop.close();
    EXPECT_TRUE(stop.isVisible()) << "the system menu's Close";
    QTest::mouseClick(&stop.m_cancelButton, Qt::LeftButton);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(StopDlgTest, TheMessageFormHasOneOkButtonWhereCancelStands) {
  StopDlg stop(RESBOX::GetString(IDS_UNSUPPORTED_OS), 0, nullptr);
  const int result = Run(stop, [&] {
    EXPECT_TRUE(stop.m_okButton.isVisible());
    EXPECT_FALSE(stop.m_cancelButton.isVisible());
    EXPECT_EQ(stop.m_okButton.geometry(), QRect(161, 130, 90, 25));
    EXPECT_EQ(stop.m_okButton.text().toStdWString(), L"\ud655\uc778");
    Rendered(stop, "refusal-315");
    QTest::keyClick(&stop, Qt::Key_Escape);
    EXPECT_TRUE(stop.isVisible());
    QTest::mouseClick(&stop.m_okButton, Qt::LeftButton);
  });
  EXPECT_EQ(result, IDOK);
}

TEST_F(StopDlgTest, TheGreenBarDragsTheDialog) {
  StopDlg stop(RESBOX::GetString(IDS_STOP_CONFIRM), 1, nullptr);
  Run(stop, [&] {
    const QPoint start = stop.pos();
    auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
      QMouseEvent event(type, local, start + local, Qt::LeftButton, buttons, Qt::NoModifier);
      QApplication::sendEvent(&stop, &event);
    };
    send(QEvent::MouseButtonPress, {100, 30}, Qt::LeftButton);
    send(QEvent::MouseMove, {130, 40}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {130, 40}, Qt::NoButton);
    EXPECT_EQ(stop.pos(), start + QPoint(30, 10));
    QTest::mouseClick(&stop.m_cancelButton, Qt::LeftButton);
  });
}

}  // namespace
