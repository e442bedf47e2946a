// The completion page and the shortcut creation.
#include "app/complete_view.h"

#include <QPainter>

#include "app/control_style.h"
#include "app/installer_dlg.h"
#include "app/resource.h"
#include "app/shortcuts.h"
#include "app/window_placement.h"
#include "app/wizard_texts.h"
#include "ui/resbox.h"

CompleteView::CompleteView(QWidget* parent) : QWidget(parent), m_messageLabel(this), m_shortcutCheck(this) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CompleteView::OnInitDialog() {
  m_font = QFont(kKoreanFamily);
  m_font.setPointSize(10);
  m_shortcutCheck.setFont(m_font);
  m_shortcutCheck.setAccessibleName(QString::fromStdWString(kShortcutQuestion));
  InitControls();
  return true;
}

void CompleteView::InitControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_messageLabel, 13);
  PlaceWindow(&m_messageLabel, layout.at(IDC_STATIC_RESULT));
  m_messageLabel.setText(QString::fromStdWString(RESBOX::GetString(IDS_INSTALL_COMPLETE)));

  PlaceWindow(&m_shortcutCheck, layout.at(IDC_CHECK_SHORTCUT));
  m_shortcutCheck.setChecked(true);
}

void CompleteView::ShowFailure(const std::wstring& message) {
  m_messageLabel.setText(QString::fromStdWString(message));
  m_shortcutCheck.hide();
  m_offerShortcut = 0;
  update();
}

QRect CompleteView::QuestionRect() const {
  const LayoutRect& box = g_pInstallerDlg->m_layout[IDC_CHECK_SHORTCUT];
  return QRect(QPoint(box.right + 5, box.top - 2), QPoint(400 - 1, box.bottom + 2 - 1));
}

void CompleteView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (!m_offerShortcut) return;
  painter.setFont(bvlui::MakeFont(kKoreanFamily, 13, 400));
  painter.setPen(QColor(51, 51, 51));
  painter.drawText(QuestionRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdWString(kShortcutQuestion));
}

void CompleteView::CreateShortcuts() { CreateAgentShortcuts(); }
