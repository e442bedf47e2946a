// The completion page and the shortcut creation.
#include "app/complete_view.h"

#include <QPainter>

#include "app/control_style.h"
#include "app/installer_dlg.h"
#include "app/resource.h"
#include "app/window_placement.h"
#include "app/wizard_texts.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "ui/resbox.h"

namespace {
// "브림베일": the shortcuts' name and description.
const std::wstring kShortcutName = L"\ube0c\ub9bc\ubca0\uc77c";
const std::wstring kProgramsFolder = L"Brimvale";
}  // namespace

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

std::wstring CompleteView::AgentTarget() {
  wchar_t folder[win::MAX_PATH] = {};
  win::BOOL wow64 = win::FALSE;
  if (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64) {
    // A 32-bit installer on 64-bit Windows: the agent is in the 64-bit folder.
    win::GetEnvironmentVariableW(L"ProgramW6432", folder, win::MAX_PATH);
  } else {
    win::SHGetSpecialFolderPathW(nullptr, folder, win::CSIDL_PROGRAM_FILES, win::FALSE);
  }
  return std::wstring(folder) + L"\\brimvale\\BrimvaleAgent.exe";
}

void CompleteView::CreateShortcuts() {
  const std::wstring target = AgentTarget();
  CreateDesktopShortcut(target, kShortcutName);
  CreateProgramsShortcut(target, kProgramsFolder, kShortcutName);
}

void CompleteView::CreateDesktopShortcut(const std::wstring& target, const std::wstring& name) {
  wchar_t desktop[win::MAX_PATH] = {};
  if (!win::SHGetSpecialFolderPathW(nullptr, desktop, win::CSIDL_DESKTOP, win::FALSE)) return;
  win::CreateDirectoryW(desktop, nullptr);
  CreateShellLink(target, std::wstring(desktop) + L"\\" + name + L".lnk", name);
}

void CompleteView::CreateProgramsShortcut(const std::wstring& target, const std::wstring& folderPath,
                                          const std::wstring& name) {
  wchar_t programs[win::MAX_PATH] = {};
  if (!win::SHGetSpecialFolderPathW(nullptr, programs, win::CSIDL_COMMON_PROGRAMS, win::FALSE)) return;
  std::wstring folder = programs;
  win::CreateDirectoryW(folder, nullptr);
  std::size_t start = 0;
  while (start <= folderPath.size()) {
    const std::size_t end = std::min(folderPath.find(L'\\', start), folderPath.size());
    const std::wstring component = folderPath.substr(start, end - start);
    if (!component.empty()) {
      folder += L"\\" + component;
      win::CreateDirectoryW(folder, nullptr);
    }
    start = end + 1;
  }
  CreateShellLink(target, folder + L"\\" + name + L".lnk", name);
}

win::HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkFile, const std::wstring& description) {
  ShellLink link;
  link.SetPath(target);
  link.SetDescription(description);
  link.SetArguments(std::wstring());
  return link.Save(linkFile, true);
}
