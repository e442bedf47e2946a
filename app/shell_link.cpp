// The shell link binary format: ShellLinkHeader, LinkInfo (VolumeID and the
// local base path in the ANSI code page and in Unicode), then the string
// data (the description as NAME_STRING, the arguments) and the terminal block.
#include "app/shell_link.h"

#include <cstdio>
#include <vector>

#include "app/shortcuts.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/little_endian.h"

namespace {

// LinkFlags
constexpr std::uint32_t kHasLinkInfo = 0x00000002;
constexpr std::uint32_t kHasName = 0x00000004;
constexpr std::uint32_t kHasArguments = 0x00000020;
constexpr std::uint32_t kIsUnicode = 0x00000080;
// LinkInfoFlags
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x00000001;
constexpr std::uint32_t kFileAttributeNormal = 0x00000080;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kShowNormal = 1;

void Append16(std::string& out, std::uint16_t value) {
  out.resize(out.size() + 2);
  platform::Put16(out, out.size() - 2, value);
}

void Append32(std::string& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  platform::Put32(out, out.size() - 4, value);
}

std::string Utf16(const std::wstring& text) { return platform::WideToUtf16Le(text); }

// The text in the machine's ANSI code page, with "?" for what it lacks.
std::string Ansi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int needed = win::WideCharToMultiByte(win::CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                              nullptr, nullptr);
  if (needed <= 0) return std::string(text.size(), '?');
  std::string out(static_cast<std::size_t>(needed), '\0');
  win::WideCharToMultiByte(win::CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), needed, nullptr,
                           nullptr);
  return out;
}

// A StringData entry: a count of characters, then the characters in UTF-16.
void AppendCountedString(std::string& out, const std::wstring& text) {
  Append16(out, static_cast<std::uint16_t>(text.size()));
  out += Utf16(text);
}

std::string LinkInfo(const std::wstring& path) {
  // VolumeID: size, drive type, serial number, offset of the (empty) label.
  std::string volume;
  Append32(volume, 0);  // size, set below
  Append32(volume, kDriveFixed);
  Append32(volume, 0x1C0FFEE1);
  Append32(volume, 0x10);
  volume.push_back('\0');
  platform::Put32(volume, 0, static_cast<std::uint32_t>(volume.size()));

  const std::string basePath = Ansi(path) + '\0';
  const std::string suffix(1, '\0');
  const std::string basePathUnicode = Utf16(path) + std::string(2, '\0');
  const std::string suffixUnicode(2, '\0');

  constexpr std::uint32_t kHeaderSize = 0x24;  // with the Unicode offsets
  const std::uint32_t volumeOffset = kHeaderSize;
  const std::uint32_t basePathOffset = volumeOffset + static_cast<std::uint32_t>(volume.size());
  const std::uint32_t suffixOffset = basePathOffset + static_cast<std::uint32_t>(basePath.size());
  const std::uint32_t basePathUnicodeOffset = suffixOffset + static_cast<std::uint32_t>(suffix.size());
  const std::uint32_t suffixUnicodeOffset = basePathUnicodeOffset + static_cast<std::uint32_t>(basePathUnicode.size());
  const std::uint32_t total = suffixUnicodeOffset + static_cast<std::uint32_t>(suffixUnicode.size());

  std::string info;
  Append32(info, total);
  Append32(info, kHeaderSize);
  Append32(info, kVolumeIdAndLocalBasePath);
  Append32(info, volumeOffset);
  Append32(info, basePathOffset);
  Append32(info, 0);  // no network relative link
  Append32(info, suffixOffset);
  Append32(info, basePathUnicodeOffset);
  Append32(info, suffixUnicodeOffset);
  info += volume + basePath + suffix + basePathUnicode + suffixUnicode;
  return info;
}

}  // namespace

win::HRESULT ShellLink::SetPath(const std::wstring& path) {
  m_path = path;
  return win::S_OK;
}

win::HRESULT ShellLink::SetDescription(const std::wstring& description) {
  m_description = description;
  return win::S_OK;
}

win::HRESULT ShellLink::SetArguments(const std::wstring& arguments) {
  m_arguments = arguments;
  return win::S_OK;
}

std::string ShellLink::Serialize() const {
  std::uint32_t flags = kIsUnicode;
  if (!m_path.empty()) flags |= kHasLinkInfo;
  if (!m_description.empty()) flags |= kHasName;
  if (!m_arguments.empty()) flags |= kHasArguments;

  std::string out;
  Append32(out, 0x4C);  // HeaderSize
  // LinkCLSID 00021401-0000-0000-C000-000000000046
  static const unsigned char kClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  out.append(reinterpret_cast<const char*>(kClsid), sizeof kClsid);
  Append32(out, flags);
  Append32(out, kFileAttributeNormal);
  out.append(24, '\0');  // creation, access and write times: not known
  Append32(out, 0);      // file size
  Append32(out, 0);      // icon index
  Append32(out, kShowNormal);
  Append16(out, 0);      // hot key
  out.append(10, '\0');  // reserved

  if (flags & kHasLinkInfo) out += LinkInfo(m_path);
  if (flags & kHasName) AppendCountedString(out, m_description);
  if (flags & kHasArguments) AppendCountedString(out, m_arguments);
  Append32(out, 0);  // terminal block
  return out;
}

win::HRESULT ShellLink::Save(const std::wstring& file, bool) const {
  if (file.empty()) return win::E_INVALIDARG;
  const std::string bytes = Serialize();
  win::HANDLE handle = win::CreateFileW(file, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                        win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == win::INVALID_HANDLE_VALUE) return win::STG_E_ACCESSDENIED;
  win::DWORD written = 0;
  const bool ok = win::WriteFile(handle, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  win::CloseHandle(handle);
  return ok ? win::S_OK : win::E_FAIL;
}

win::HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkFile, const std::wstring& description) {
  ShellLink link;
  link.SetPath(target);
  link.SetDescription(description);
  link.SetArguments(std::wstring());
  return link.Save(linkFile, true);
}
