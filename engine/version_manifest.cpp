// The version manifests of the install engine: proverinfo.dat, which the
// update host serves (product version, then "<file> <digest> <version>" per
// component), and zipproverinfo.dat, which records the installed archives.
#include <optional>
#include <string_view>

#include "engine/engine_texts.h"
#include "engine/install_engine.h"
#include "engine/text_file.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "settings/http_client.h"
#include "system/debug_log.h"
#include "system/registry_helpers.h"
#include "system/kv_system.h"

namespace {

const wchar_t kWhiteSpace[] = L" \t\r\n\v\f";
// Far beyond any real line (a file name, 32 digits and a version) and any
// real field (a file name is at most MAX_PATH); longer ones mean the file is
// not a manifest, and are refused before they are split.
constexpr std::size_t kMaxManifestLine = 1024;
constexpr std::size_t kMaxManifestField = 260;

// proverinfo.dat names a version and a line per component, a few hundred
// bytes; a download that grows past this is no manifest and is stopped
// before it can fill the disk.
constexpr std::uint64_t kMaxVersionManifestBytes = 1u << 20;

std::wstring_view TrimWhiteSpace(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

std::wstring WithoutCarriageReturns(std::wstring_view text) {
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
    LogDebugLine(engine_texts::kVersionDownloadFail);
    return win::FALSE;
  }

  // The lines are walked where they lie in the text, and the entries they
  // name are updated in a copy of the catalogue that replaces it only when
  // the whole manifest was accepted.
  const std::wstring text = ReadTextFile(local);
  ComponentMap updated = m_components;
  std::optional<std::wstring> productVersion;
  std::size_t listed = 0;
  const bool readable = ForEachPiece(text, L"\n", [&](std::wstring_view line) {
    if (line.size() > kMaxManifestLine) return false;
    if (!productVersion) {
      // The first line is the product version, kept as written apart from
      // the line ending.
      productVersion = WithoutCarriageReturns(line);
      return true;
    }
    const std::vector<std::wstring> fields = SplitText(std::wstring(TrimWhiteSpace(line)), L" ");
    for (const std::wstring& field : fields) {
      if (field.size() > kMaxManifestField) return false;
    }
    if (fields.size() != 3) return true;
    auto found = updated.find(fields[0]);
    if (found == updated.end()) return true;
    ComponentInfo component = found->second;
    component.version = fields[2];
    component.hash = fields[1];
    component.targetPath = ComponentTarget(found->first, component);
    found->second = component;
    ++listed;
    return true;
  });
  // A manifest that names none of the components would install nothing
  // while every component row reported success.
  if (!readable || !productVersion || listed == 0) {
    LogDebugLine(engine_texts::kVersionDataFail);
    return win::FALSE;
  }

  RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue, *productVersion);
  m_components = std::move(updated);
  return win::TRUE;
}

void InstallEngine::WriteArchiveManifest() {
  const std::wstring path = m_installDir + L"\\zipproverinfo.dat";
  win::HANDLE file = win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr, win::CREATE_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) {
    LogDebugLine(engine_texts::ArchiveManifestCreateFail(win::GetLastError()));
    return;
  }

  for (const auto& [name, component] : m_components) {
    if (name.find(L".zip") == std::wstring::npos) continue;
    const std::string bytes = kvutil::KVSystem::ConvertToMultiByte(
        name + L" " + component.hash + L" " + component.version + L"\r\n", win::CP_ACP);
    win::DWORD written = 0;
    if (!win::WriteFile(file, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written, nullptr)) {
      LogDebugLine(engine_texts::kArchiveManifestWriteFail);
      win::CloseHandle(file);
      return;
    }
  }
  win::CloseHandle(file);
  ReportRow(engine_texts::kArchiveManifestWritten, false, 68);
}
