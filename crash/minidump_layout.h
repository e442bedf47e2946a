// The byte layout of a minidump file being written: blocks appended at
// 4-byte aligned offsets (RVAs), and the stream directory that names them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crash/minidump_format.h"

namespace kvdump {

class MinidumpLayout {
 public:
  // Reserves the header and a directory of `streamCount` entries.
  explicit MinidumpLayout(std::uint32_t streamCount);

  // Appends bytes at the next aligned offset; returns where they start.
  minidump::LocationDescriptor Append(const void* data, std::size_t size);
  template <typename Record>
  minidump::LocationDescriptor AppendRecord(const Record& record) {
    return Append(&record, sizeof(record));
  }
  // A MINIDUMP_STRING: the length in bytes, the UTF-16LE text and a NUL.
  std::uint32_t AppendString(const std::wstring& text);
  // Overwrites bytes written before (a list's entries once their parts are placed).
  void Patch(std::uint32_t rva, const void* data, std::size_t size);
  // Adds a stream to the directory.
  void AddStream(std::uint32_t type, const minidump::LocationDescriptor& location);

  // The file: header (with `timeDateStamp`), directory and blocks.
  std::string Finish(std::uint32_t timeDateStamp);

 private:
  std::string m_bytes;
  std::vector<minidump::Directory> m_directory;
  std::uint32_t m_streamCount;
};

}  // namespace kvdump
