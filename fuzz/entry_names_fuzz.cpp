// libFuzzer target for the checks of archive entry names: arbitrary bytes as
// an entry's stored name, read as the unpacking reads it (UTF-8 when the
// first byte's low bit says the entry is flagged so, else the ANSI code page
// of the thread), must give an answer that keeps the promises of
// entry_names.h, checked here on the name's own characters: a contained name
// has no ".." component, no leading separator and no colon; a Windows name
// has no character Windows refuses, no component ending in a dot or a space,
// and no component whose part before its first dot is a device name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/entry_names.h"
#include "platform/codepage.h"
#include "fuzz/fuzz_machine.h"
#include "system/kv_system.h"

namespace {

std::vector<std::wstring> Components(const std::wstring& name) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : name) {
    if (c == L'/' || c == L'\\') {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

std::wstring AsciiUpper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

bool IsDevice(const std::wstring& part) {
  const std::wstring base = AsciiUpper(part.substr(0, part.find(L'.')));
  static const wchar_t* const kDevices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3",
                                            L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1",
                                            L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8",
                                            L"LPT9"};
  return std::any_of(std::begin(kDevices), std::end(kDevices), [&](const wchar_t* device) { return base == device; });
}

bool BreaksContainment(const std::wstring& name) {
  if (!name.empty() && (name[0] == L'/' || name[0] == L'\\')) return true;
  if (name.find(L':') != std::wstring::npos) return true;
  const std::vector<std::wstring> parts = Components(name);
  return std::find(parts.begin(), parts.end(), L"..") != parts.end();
}

bool BreaksWindowsNaming(const std::wstring& name) {
  for (const std::wstring& part : Components(name)) {
    if (part.empty() || part == L".") continue;
    if (part.back() == L'.' || part.back() == L' ' || IsDevice(part)) return true;
    for (wchar_t c : part) {
      if (c < 0x20 || std::wstring(L"<>:\"|?*").find(c) != std::wstring::npos) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzzing::UseFreshMachine();
  const win::UINT codePage = (data[0] & 1) ? win::CP_UTF8 : win::CP_THREAD_ACP;
  const std::wstring name =
      kvutil::KVSystem::ConvertToWide(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), codePage);

  if (IsContainedEntryName(name) && BreaksContainment(name)) __builtin_trap();
  if (IsWindowsEntryName(name) && BreaksWindowsNaming(name)) __builtin_trap();
  return 0;
}
