// Placing the blocks of a minidump file.
#include "crash/minidump_layout.h"

#include "platform/codepage.h"

namespace kvdump {

MinidumpLayout::MinidumpLayout(std::uint32_t streamCount) : m_streamCount(streamCount) {
  m_bytes.assign(sizeof(minidump::Header) + streamCount * sizeof(minidump::Directory), '\0');
}

minidump::LocationDescriptor MinidumpLayout::Append(const void* data, std::size_t size) {
  while (m_bytes.size() % 4 != 0) m_bytes.push_back('\0');
  minidump::LocationDescriptor location{static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(m_bytes.size())};
  m_bytes.append(static_cast<const char*>(data), size);
  return location;
}

std::uint32_t MinidumpLayout::AppendString(const std::wstring& text) {
  const std::string utf16 = platform::WideToUtf16Le(text);
  const auto length = static_cast<std::uint32_t>(utf16.size());
  std::string block(reinterpret_cast<const char*>(&length), sizeof(length));
  block += utf16;
  block.append(2, '\0');
  return Append(block.data(), block.size()).Rva;
}

void MinidumpLayout::Patch(std::uint32_t rva, const void* data, std::size_t size) {
  if (rva + size <= m_bytes.size()) std::memcpy(&m_bytes[rva], data, size);
}

void MinidumpLayout::AddStream(std::uint32_t type, const minidump::LocationDescriptor& location) {
  if (m_directory.size() < m_streamCount) m_directory.push_back({type, location});
}

std::string MinidumpLayout::Finish(std::uint32_t timeDateStamp) {
  minidump::Header header{};
  header.Signature = minidump::kSignature;
  header.Version = minidump::kVersion;
  header.NumberOfStreams = static_cast<std::uint32_t>(m_directory.size());
  header.StreamDirectoryRva = sizeof(minidump::Header);
  header.TimeDateStamp = timeDateStamp;
  header.Flags = minidump::kMiniDumpNormal;
  std::memcpy(&m_bytes[0], &header, sizeof(header));
  if (!m_directory.empty()) {
    std::memcpy(&m_bytes[sizeof(header)], m_directory.data(), m_directory.size() * sizeof(minidump::Directory));
  }
  return m_bytes;
}

}  // namespace kvdump
