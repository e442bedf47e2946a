// The progress page: its controls, the rows the worker reports and the
// session the worker runs on.
#include "app/progress_view.h"

#include <QPainter>
#include <QScrollBar>

#include "app/control_style.h"
#include "app/installer_dlg.h"
#include "app/page_session.h"
#include "app/resource.h"
#include "app/window_placement.h"
#include "app/wizard_sinks.h"
#include "app/wizard_texts.h"
#include "ui/accessibility.h"
#include "ui/device_pixel_border.h"
#include "ui/resbox.h"

ProgressView* g_pProgressView = nullptr;

ProgressView::ProgressView(QWidget* parent)
    : QWidget(parent), m_statusLabel(this), m_progress(this), m_list(this) {
  // The list's rows are told to a screen reader by the bvlui factory.
  bvlui::InstallAccessibility();
  setAttribute(Qt::WA_OpaquePaintEvent);
}

ProgressView::~ProgressView() {
  if (m_pWorkerThread && !m_pWorkerThread->Finished()) m_pWorkerThread->RequestStop();
  if (g_pProgressView == this) g_pProgressView = nullptr;
}

bool ProgressView::OnInitDialog() {
  g_pProgressView = this;
  m_session = MakePageSession(*g_pInstallerDlg, std::make_shared<ProgressViewSink>(this),
                              std::make_shared<InstallerWizardSink>(g_pInstallerDlg, this),
                              [](unsigned id) { return RESBOX::GetString(id); });
  m_engine = m_session->engine;
  InitPageControls();
  return true;
}

void ProgressView::InitPageControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_statusLabel, 13.0f);
  PlaceWindow(&m_statusLabel, layout.at(IDC_STATIC_STATUS));

  PlaceWindow(&m_progress, layout.at(IDC_PROGRESS));
  m_progress.m_startColor = 0x00AAC5C5;
  m_progress.m_endColor = 0x0000A551;
  m_progress.m_backgroundColor = 0x00F0F0F0;
  m_progress.setAccessibleName(QString::fromStdWString(kProgressAccessibleName));

  PlaceWindow(&m_list, layout.at(IDC_LIST_STATUS));
  m_list.setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list.setFocusPolicy(Qt::NoFocus);
  m_list.setFrameStyle(QFrame::Box | QFrame::Plain);
  bvlui::UseDevicePixelBoxFrame(&m_list);
  m_list.setAccessibleName(QString::fromStdWString(kStepsAccessibleName));
  QFont font(kKoreanFamily);
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  m_list.setFont(font);
  QPalette palette = m_list.palette();
  palette.setColor(QPalette::Text, QColor(81, 196, 0));
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::WindowText, QColor(130, 135, 144));  // the list's border
  m_list.setPalette(palette);
}

void ProgressView::SetStatusText(const std::wstring& text) { m_statusLabel.setText(QString::fromStdWString(text)); }

void ProgressView::AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) {
  const int count = m_list.count();
  if (replaceLast) {
    // On an empty list there is no row to replace; only the bar moves.
    if (count > 0) m_list.item(count - 1)->setText(QString::fromStdWString(text));
  } else {
    m_list.addItem(QString::fromStdWString(text));
  }
  if (m_list.count() > 0) m_list.scrollToItem(m_list.item(m_list.count() - 1), QAbstractItemView::EnsureVisible);
  m_progress.m_position = static_cast<std::int32_t>(percent);
  m_progress.setValue(static_cast<int>(std::min(percent, 100u)));
  update();
  m_progress.update();
}

void ProgressView::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), Qt::white); }
