// The licence page: the introduction and the agreement streamed into the
// rich-text box from the resource store's copy of the RTF document.
#include "app/windows/license_view.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>

#include "app/resource.h"
#include "app/windows/chrome_painting.h"
#include "app/windows/control_style.h"
#include "app/windows/installer_dlg.h"
#include "app/wizard_look.h"
#include "app/wizard_texts.h"
#include "ui/windows/gdi_font.h"
#include "ui/windows/resbox.h"

namespace {

// The resource bytes read in place, as a memory file attached to them.
struct MemoryFile {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
};

DWORD CALLBACK StreamInRtf(DWORD_PTR cookie, LPBYTE buffer, LONG requested, LONG* read) {
  auto* file = reinterpret_cast<MemoryFile*>(cookie);
  const std::size_t left = file->size - file->position;
  const std::size_t count = std::min(left, static_cast<std::size_t>(requested > 0 ? requested : 0));
  if (count > 0) std::memcpy(buffer, file->data + file->position, count);
  file->position += count;
  *read = static_cast<LONG>(count);
  return 0;
}

}  // namespace

LicenseView::LicenseView() : Dialog(IDD_LICENSE_VIEW) {}

LicenseView::~LicenseView() {
  DestroyWindow();
  if (m_font != nullptr) ::DeleteObject(m_font);
}

bool LicenseView::OnInitDialog() {
  m_introLabel.SubclassDlgItem(IDC_STATIC_INTRO, m_hWnd);
  m_licenseEdit = ::GetDlgItem(m_hWnd, IDC_RICHEDIT_LICENSE);
  m_renderTarget = std::make_unique<bvlui::DCRenderTarget>(0.0f);
  m_font = bvlui::CreatePointFont(100, kKoreanFamilyName);
  ::SendMessageW(m_licenseEdit, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  InitControls();
  return true;
}

void LicenseView::InitControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_introLabel, kPageFontSize);
  Place(m_introLabel, layout.at(IDC_STATIC_INTRO));
  m_introLabel.SetWindowText(RESBOX::GetString(IDS_LICENSE_INTRO));

  const LayoutRect& box = layout.at(IDC_RICHEDIT_LICENSE);
  ::MoveWindow(m_licenseEdit, box.left, box.top, box.Width(), box.Height(), TRUE);

  const RESBOX::Binary agreement = RESBOX::GetBinary(IDR_LICENSE_RTF);
  MemoryFile file{agreement.data, agreement.data != nullptr ? agreement.size : 0u, 0};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&file);
  stream.dwError = 0;
  stream.pfnCallback = &StreamInRtf;
  ::SendMessageW(m_licenseEdit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  ::InvalidateRect(m_licenseEdit, nullptr, TRUE);
}

bool LicenseView::PreTranslateMessage(MSG* message) { return SwallowedByKeyFilter(*message, true); }

bool LicenseView::OnEraseBkgnd(HDC dc) {
  PaintWhitePage(m_renderTarget.get(), m_hWnd, dc);
  return true;
}
