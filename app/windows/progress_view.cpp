// The progress page: its controls, the rows the worker reports and the
// session the worker runs on.
// The product's headers come before the system's, whose macros must not
// reach them.
#include "app/install_worker_start.h"
#include "app/page_session.h"
#include "engine/install_worker.h"

#include "app/windows/progress_view.h"

#include <commctrl.h>

#include "app/resource.h"
#include "app/windows/chrome_painting.h"
#include "app/windows/control_style.h"
#include "app/windows/installer_dlg.h"
#include "app/windows/wizard_sinks.h"
#include "app/wizard_look.h"
#include "app/wizard_texts.h"
#include "ui/windows/gdi_font.h"
#include "ui/windows/resbox.h"
#include "ui/windows/visual_style.h"

ProgressView* g_pProgressView = nullptr;

namespace {

COLORREF ToColorRef(WizardRgb rgb) { return RGB(rgb.r, rgb.g, rgb.b); }

}  // namespace

ProgressView::ProgressView() : Dialog(IDD_PROGRESS_VIEW) {}

ProgressView::~ProgressView() {
  if (m_pWorkerThread && !m_pWorkerThread->Finished()) m_pWorkerThread->RequestStop();
  if (g_pProgressView == this) g_pProgressView = nullptr;
  DestroyWindow();
  if (m_listFont != nullptr) ::DeleteObject(m_listFont);
}

bool ProgressView::OnInitDialog() {
  m_statusLabel.SubclassDlgItem(IDC_STATIC_STATUS, m_hWnd);
  m_progress.SubclassDlgItem(IDC_PROGRESS, m_hWnd);
  m_list = ::GetDlgItem(m_hWnd, IDC_LIST_STATUS);

  m_session = MakePageSession(*g_pInstallerDlg, std::make_shared<ProgressViewSink>(this),
                              std::make_shared<InstallerWizardSink>(g_pInstallerDlg, this),
                              [](unsigned id) { return RESBOX::GetString(id); });
  m_engine = m_session->engine;
  g_pProgressView = this;

  LVCOLUMNW column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = 200;
  wchar_t heading[] = L"";
  column.pszText = heading;
  ::SendMessageW(m_list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  m_renderTarget = std::make_unique<bvlui::DCRenderTarget>(0.0f);
  InitPageControls();
  return true;
}

void ProgressView::InitPageControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_statusLabel, kPageFontSize);
  Place(m_statusLabel, layout.at(IDC_STATIC_STATUS));

  Place(m_progress, layout.at(IDC_PROGRESS));
  m_progress.m_startColor = 0x00AAC5C5;
  m_progress.m_endColor = 0x0000A551;
  m_progress.m_backgroundColor = 0x00F0F0F0;
  bvlui::RemoveVisualStyle(m_progress.m_hWnd);

  const LayoutRect& list = layout.at(IDC_LIST_STATUS);
  ::MoveWindow(m_list, list.left, list.top, list.Width(), list.Height(), TRUE);
  ::SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  // A list view draws its rows itself rather than through the page's control
  // colours: its font and colours are given to it directly, as the page
  // wants its rows drawn (green on white, 12 pixels).
  m_listFont = bvlui::CreatePixelFont(kListFontHeight, FW_NORMAL, kKoreanFamilyName);
  ::SendMessageW(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(m_listFont), TRUE);
  ::SendMessageW(m_list, LVM_SETTEXTCOLOR, 0, ToColorRef(kStepRowGreen));
  ::SendMessageW(m_list, LVM_SETTEXTBKCOLOR, 0, CLR_NONE);
}

void ProgressView::StartWorker() { m_pWorkerThread = StartInstallWorker(m_session); }

void ProgressView::SetStatusText(const std::wstring& text) { m_statusLabel.SetWindowText(text); }

void ProgressView::AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) {
  const int count = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  if (replaceLast) {
    // On an empty list there is no row to replace; only the bar moves.
    item.iItem = count - 1;
    if (count > 0) ::SendMessageW(m_list, LVM_SETITEMTEXTW, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&item));
  } else {
    item.iItem = count;
    ::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  ::SendMessageW(m_list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
  const int last = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)) - 1;
  if (last >= 0) ::SendMessageW(m_list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(last), FALSE);
  m_progress.m_position = static_cast<int>(percent);
  ::SendMessageW(m_progress.m_hWnd, PBM_SETPOS, percent, 0);
  Invalidate(true);
}

bool ProgressView::PreTranslateMessage(MSG* message) { return SwallowedByKeyFilter(*message); }

bool ProgressView::OnEraseBkgnd(HDC dc) {
  PaintWhitePage(m_renderTarget.get(), m_hWnd, dc);
  return true;
}

HBRUSH ProgressView::OnCtlColor(HDC dc, HWND control, HBRUSH brush) {
  if (::GetDlgCtrlID(control) != IDC_LIST_STATUS) return brush;
  HFONT font = bvlui::CreatePixelFont(kListFontHeight, FW_NORMAL, kKoreanFamilyName);
  HGDIOBJ previous = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ToColorRef(kStepRowGreen));
  // The font lives only for this call: the context gets its font back.
  ::SelectObject(dc, previous);
  ::DeleteObject(font);
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}
