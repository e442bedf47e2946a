// Registry helpers over the platform's registry calls, with the view rule:
// a 32-bit process on 64-bit Windows adds KEY_WOW64_64KEY.
#include "system/registry_helpers.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "system/wow64.h"

namespace {

bool CreateKey(win::HKEY root, const std::wstring& subKey, win::HKEY* key) {
  if (RunsUnderWow64()) {
    return win::RegCreateKeyExW(root, subKey, 0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, key,
                                nullptr) == win::ERROR_SUCCESS;
  }
  return win::RegCreateKeyW(root, subKey, key) == win::ERROR_SUCCESS;
}

// A string value of an open key: whole UTF-16 characters of its bytes, up to
// the first NUL. `text` is left as it was when the value cannot be read.
bool ReadOpenedString(win::HKEY key, const std::wstring& valueName, std::wstring* text) {
  win::DWORD size = 0;
  if (win::RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size) != win::ERROR_SUCCESS) return false;
  std::vector<win::BYTE> data(size);
  if (win::RegQueryValueExW(key, valueName, nullptr, nullptr, data.data(), &size) != win::ERROR_SUCCESS) return false;
  std::wstring value = platform::Utf16LeToWide(std::string(data.begin(), data.begin() + (size & ~1u)));
  const std::size_t nul = value.find(L'\0');
  if (nul != std::wstring::npos) value.resize(nul);
  if (text) *text = value;
  return true;
}

}  // namespace

bool RegWriteString(win::HKEY root, std::wstring subKey, std::wstring valueName, std::wstring text) {
  win::HKEY key = nullptr;
  if (!CreateKey(root, subKey, &key)) return false;
  std::string bytes = platform::WideToUtf16Le(text);
  win::RegSetValueExW(key, valueName, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(bytes.data()),
                      static_cast<win::DWORD>(bytes.size()));
  win::RegCloseKey(key);
  return true;
}

bool RegWriteDword(win::DWORD value, std::wstring subKey, std::wstring valueName) {
  win::HKEY key = nullptr;
  if (!CreateKey(win::HKEY_LOCAL_MACHINE, subKey, &key)) return false;
  win::RegSetValueExW(key, valueName, 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&value), sizeof value);
  win::RegCloseKey(key);
  return true;
}

bool RegReadString(std::wstring subKey, std::wstring valueName, std::wstring* text) {
  win::HKEY key = nullptr;
  win::LSTATUS opened = RunsUnderWow64()
                            ? win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, subKey, 0,
                                                 win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY, &key)
                            : win::RegOpenKeyW(win::HKEY_LOCAL_MACHINE, subKey, &key);
  if (opened != win::ERROR_SUCCESS) return false;
  const bool read = ReadOpenedString(key, valueName, text);
  win::RegCloseKey(key);
  return read;
}

bool RegReadUserString(std::wstring subKey, std::wstring valueName, std::wstring* text) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_CURRENT_USER, subKey, 0, win::KEY_QUERY_VALUE, &key) != win::ERROR_SUCCESS) {
    return false;
  }
  const bool read = ReadOpenedString(key, valueName, text);
  win::RegCloseKey(key);
  return read;
}

std::wstring ReadInstalledVersion() {
  std::wstring version;
  RegReadString(kProductKey, kVersionValue, &version);
  return version;
}
