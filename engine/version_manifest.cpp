// The version manifests of the install engine: proverinfo.dat, which the
// update host serves (product version, then "<file> <digest> <version>" per
// component), and zipproverinfo.dat, which records the installed archives.
#include <cwchar>

#include "engine/install_engine.h"
#include "engine/text_file.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "settings/http_client.h"
#include "settings/registry_helpers.h"
#include "system/kv_system.h"

namespace {

const wchar_t kWhiteSpace[] = L" \t\r\n\v\f";

// proverinfo.dat names a version and a line per component, a few hundred
// bytes; a download that grows past this is no manifest and is stopped
// before it can fill the disk.
constexpr std::uint64_t kMaxVersionManifestBytes = 1u << 20;

std::wstring TrimWhiteSpace(std::wstring text) {
  text.erase(text.find_last_not_of(kWhiteSpace) + 1);
  text.erase(0, text.find_first_not_of(kWhiteSpace));
  return text;
}

std::wstring WithoutCarriageReturns(std::wstring text) {
  std::wstring result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    if (c != L'\r') result.push_back(c);
  }
  return result;
}

}  // namespace

win::BOOL InstallEngine::FetchVersionManifest() {
  const std::wstring local = m_stagingDir + L"\\proverinfo.dat";
  const std::wstring url = m_downloadBaseUrl + L"proverinfo.dat";
  if (DownloadFileWithOutcome({url, {}, local}, nullptr, kMaxVersionManifestBytes, nullptr) != 1) {
    win::OutputDebugStringW(L"[Brimvale] bvlInstaller : Get version file download fail");
    return win::FALSE;
  }

  const std::vector<std::wstring> lines = SplitText(ReadTextFile(local), L"\n");
  if (lines.empty()) {
    win::OutputDebugStringW(L"[Brimvale] bvlInstaller : Get version file data fail");
    return win::FALSE;
  }

  // The first line is the product version, kept as written apart from the
  // line ending.
  RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue,
                 WithoutCarriageReturns(lines[0]));

  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::wstring> fields = SplitText(TrimWhiteSpace(lines[i]), L" ");
    if (fields.size() != 3) continue;
    auto found = m_components.find(fields[0]);
    if (found == m_components.end()) continue;
    ComponentInfo component = found->second;
    component.version = fields[2];
    component.hash = fields[1];
    component.targetPath = ComponentTarget(found->first, component);
    found->second = component;
  }
  return win::TRUE;
}

void InstallEngine::WriteArchiveManifest() {
  const std::wstring path = m_installDir + L"\\zipproverinfo.dat";
  win::HANDLE file = win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr, win::CREATE_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) {
    wchar_t line[128];
    std::swprintf(line, 128, L"[Brimvale] bvlinstaller : INVALID_HANDLE_VALUE fail %d",
                  static_cast<int>(win::GetLastError()));
    win::OutputDebugStringW(line);
    return;
  }

  for (const auto& [name, component] : m_components) {
    if (name.find(L".zip") == std::wstring::npos) continue;
    const std::string bytes = kvutil::KVSystem::ConvertToMultiByte(
        name + L" " + component.hash + L" " + component.version + L"\r\n", win::CP_ACP);
    win::DWORD written = 0;
    if (!win::WriteFile(file, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written, nullptr)) {
      win::OutputDebugStringW(L"[Brimvale] bvludt : Set version file data fail (WriteFile)");
      win::CloseHandle(file);
      return;
    }
  }
  win::CloseHandle(file);
  ReportRow(L"proverinfo create Success", false, 68);
}
