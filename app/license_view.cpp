// The licence page: its controls and the agreement streamed in from the
// resource store.
#include "app/license_view.h"

#include <QPainter>
#include <QScrollBar>

#include <string_view>

#include "app/control_style.h"
#include "app/installer_dlg.h"
#include "app/resource.h"
#include "app/window_placement.h"
#include "app/wizard_texts.h"
#include "ui/device_pixel_border.h"
#include "ui/resbox.h"
#include "ui/rtf_reader.h"
#include "ui/rtf_text_document.h"

LicenseView::LicenseView(QWidget* parent) : QWidget(parent), m_introLabel(this), m_licenseEdit(this) {
  // The key filter also swallows a plain F4 pressed inside this page.
  setProperty("bvlLicencePage", true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

bool LicenseView::OnInitDialog() {
  m_font = QFont(kKoreanFamily);
  m_font.setPointSize(10);
  m_licenseEdit.setFont(m_font);
  InitControls();
  return true;
}

void LicenseView::InitControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_introLabel, 13);
  PlaceWindow(&m_introLabel, layout.at(IDC_STATIC_INTRO));
  m_introLabel.setText(QString::fromStdWString(RESBOX::GetString(IDS_LICENSE_INTRO)));

  PlaceWindow(&m_licenseEdit, layout.at(IDC_RICHEDIT_LICENSE));
  m_licenseEdit.setReadOnly(true);
  m_licenseEdit.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  // The read-only agreement box has no context menu: text is selected with
  // the mouse or the keys and copied with Ctrl+C.
  m_licenseEdit.setContextMenuPolicy(Qt::PreventContextMenu);
  m_licenseEdit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_licenseEdit.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_licenseEdit.setFrameStyle(QFrame::Box | QFrame::Plain);
  bvlui::UseDevicePixelBoxFrame(&m_licenseEdit);
  m_licenseEdit.setAccessibleName(QString::fromStdWString(kLicenceAccessibleName));
  QPalette palette = m_licenseEdit.palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, QColor(51, 51, 51));
  m_licenseEdit.setPalette(palette);

  // The agreement is read where the resource store keeps it; a missing one
  // leaves the box empty.
  const RESBOX::Binary agreement = RESBOX::GetBinary(IDR_LICENSE_RTF);
  const std::string_view bytes(reinterpret_cast<const char*>(agreement.data), agreement.data ? agreement.size : 0);
  FillTextDocument(rtf::ReadRtf(bytes), m_font, m_licenseEdit.document(), m_licenseEdit.logicalDpiX());
  m_licenseEdit.viewport()->update();
}

void LicenseView::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), Qt::white); }
