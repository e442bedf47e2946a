// Reading a minidump's streams with every offset checked.
#include "crash/minidump_reader.h"

#include <cstring>

#include "crash/minidump_format.h"
#include "platform/codepage.h"
#include "platform/little_endian.h"

namespace kvdump {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

  bool Fits(std::uint64_t offset, std::uint64_t size) const {
    return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
  }

  template <typename Record>
  bool Read(std::uint64_t offset, Record* record) const {
    if (!Fits(offset, sizeof(Record))) return false;
    std::memcpy(record, m_bytes.data() + offset, sizeof(Record));
    return true;
  }

  // A MINIDUMP_STRING at `rva`.
  bool String(std::uint32_t rva, std::wstring* text) const {
    std::uint32_t length = 0;
    if (!Read(rva, &length) || length % 2 != 0 || !Fits(std::uint64_t{rva} + 4, length)) return false;
    *text = platform::Utf16LeToWide(std::string(m_bytes.substr(rva + 4, length)));
    return true;
  }

  std::string_view Bytes(std::uint32_t rva, std::uint32_t size) const { return m_bytes.substr(rva, size); }

 private:
  std::string_view m_bytes;
};

// Whether the context at `location` has `layout`: big enough, and its flags
// name that processor.
bool HasLayout(const Reader& reader, const minidump::LocationDescriptor& location,
               const minidump::ContextLayout& layout) {
  std::uint32_t flags = 0;
  return location.DataSize >= layout.minimumSize && reader.Fits(location.Rva, location.DataSize) &&
         reader.Read(std::uint64_t{location.Rva} + layout.flags, &flags) && (flags & layout.processorFlag) != 0;
}

// A register of `size` bytes (4 or 8) at `offset` of the context at `rva`.
std::uint64_t Register(const Reader& reader, std::uint32_t rva, std::size_t offset, std::size_t size) {
  if (size == 4) {
    std::uint32_t value = 0;
    reader.Read(std::uint64_t{rva} + offset, &value);
    return value;
  }
  std::uint64_t value = 0;
  reader.Read(std::uint64_t{rva} + offset, &value);
  return value;
}

// Registers from a thread context, x64 or x86 (the 32-bit program's); a
// context of neither layout leaves them 0.
void ReadRegisters(const Reader& reader, const minidump::LocationDescriptor& location, std::uint32_t* flags,
                   std::uint64_t* rip, std::uint64_t* rsp) {
  const minidump::ContextLayout* layout = nullptr;
  for (const minidump::ContextLayout* candidate : {&minidump::kContextAmd64, &minidump::kContextX86}) {
    if (HasLayout(reader, location, *candidate)) {
      layout = candidate;
      break;
    }
  }
  if (layout == nullptr) return;
  reader.Read(std::uint64_t{location.Rva} + layout->flags, flags);
  *rip = Register(reader, location.Rva, layout->instructionPointer, layout->pointerSize);
  if (rsp) *rsp = Register(reader, location.Rva, layout->stackPointer, layout->pointerSize);
}

// The count of a list stream and whether its entries fit the stream.
bool ListCount(const Reader& reader, const minidump::Directory& entry, std::size_t entrySize, std::uint32_t* count,
               std::string* error, const char* what) {
  if (!reader.Read(entry.Location.Rva, count) ||
      std::uint64_t{*count} * entrySize + 4 > entry.Location.DataSize) {
    *error = std::string(what) + " is cut short";
    return false;
  }
  return true;
}

bool ReadThreads(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary,
                 std::string* error) {
  std::uint32_t count = 0;
  if (!ListCount(reader, entry, sizeof(minidump::Thread), &count, error, "the thread list")) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    minidump::Thread raw{};
    reader.Read(std::uint64_t{entry.Location.Rva} + 4 + std::uint64_t{i} * sizeof(raw), &raw);
    if (!reader.Fits(raw.Stack.Memory.Rva, raw.Stack.Memory.DataSize)) {
      *error = "a thread's stack lies outside the file";
      return false;
    }
    MinidumpSummary::Thread thread;
    thread.id = raw.ThreadId;
    thread.stackStart = raw.Stack.StartOfMemoryRange;
    thread.stackSize = raw.Stack.Memory.DataSize;
    ReadRegisters(reader, raw.ThreadContext, &thread.contextFlags, &thread.rip, &thread.rsp);
    summary->threads.push_back(thread);
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

bool ReadModules(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary,
                 std::string* error) {
  std::uint32_t count = 0;
  if (!ListCount(reader, entry, sizeof(minidump::Module), &count, error, "the module list")) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    minidump::Module raw{};
    reader.Read(std::uint64_t{entry.Location.Rva} + 4 + std::uint64_t{i} * sizeof(raw), &raw);
    MinidumpSummary::Module module;
    module.base = raw.BaseOfImage;
    module.size = raw.SizeOfImage;
    if (!reader.String(raw.ModuleNameRva, &module.name)) {
      *error = "a module's name lies outside the file";
      return false;
    }
    // A build id's CodeView record: the little-endian signature, then the id.
    if (raw.CvRecord.DataSize > 4 && reader.Fits(raw.CvRecord.Rva, raw.CvRecord.DataSize) &&
        platform::Get32(reader.Bytes(raw.CvRecord.Rva, 4), 0) == minidump::kCvSignatureElf) {
      module.buildId = Hex(reader.Bytes(raw.CvRecord.Rva + 4, raw.CvRecord.DataSize - 4));
    }
    summary->modules.push_back(module);
  }
  return true;
}

bool ReadMemory(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary,
                std::string* error) {
  std::uint32_t count = 0;
  if (!ListCount(reader, entry, sizeof(minidump::MemoryDescriptor), &count, error, "the memory list")) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    minidump::MemoryDescriptor raw{};
    reader.Read(std::uint64_t{entry.Location.Rva} + 4 + std::uint64_t{i} * sizeof(raw), &raw);
    if (!reader.Fits(raw.Memory.Rva, raw.Memory.DataSize)) {
      *error = "a memory range lies outside the file";
      return false;
    }
    summary->memory.push_back({raw.StartOfMemoryRange, raw.Memory.DataSize});
  }
  return true;
}

bool ReadException(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary,
                   std::string* error) {
  minidump::ExceptionStream raw{};
  if (entry.Location.DataSize < sizeof(raw) || !reader.Read(entry.Location.Rva, &raw)) {
    *error = "the exception stream is cut short";
    return false;
  }
  MinidumpSummary::Exception exception;
  exception.threadId = raw.ThreadId;
  exception.code = raw.ExceptionRecord.ExceptionCode;
  exception.flags = raw.ExceptionRecord.ExceptionFlags;
  exception.address = raw.ExceptionRecord.ExceptionAddress;
  const std::uint32_t parameters = raw.ExceptionRecord.NumberParameters < 15 ? raw.ExceptionRecord.NumberParameters : 15;
  exception.parameters.assign(raw.ExceptionRecord.ExceptionInformation,
                              raw.ExceptionRecord.ExceptionInformation + parameters);
  std::uint32_t flags = 0;
  ReadRegisters(reader, raw.ThreadContext, &flags, &exception.contextRip, nullptr);
  summary->exception = exception;
  return true;
}

bool ReadSystem(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary,
                std::string* error) {
  minidump::SystemInfo raw{};
  if (entry.Location.DataSize < sizeof(raw) || !reader.Read(entry.Location.Rva, &raw)) {
    *error = "the system information is cut short";
    return false;
  }
  MinidumpSummary::System system;
  system.processorArchitecture = raw.ProcessorArchitecture;
  system.numberOfProcessors = raw.NumberOfProcessors;
  system.productType = raw.ProductType;
  system.majorVersion = raw.MajorVersion;
  system.minorVersion = raw.MinorVersion;
  system.buildNumber = raw.BuildNumber;
  system.platformId = raw.PlatformId;
  if (raw.CSDVersionRva != 0 && !reader.String(raw.CSDVersionRva, &system.servicePack)) {
    *error = "the service pack text lies outside the file";
    return false;
  }
  summary->system = system;
  return true;
}

bool ReadMisc(const Reader& reader, const minidump::Directory& entry, MinidumpSummary* summary, std::string* error) {
  minidump::MiscInfo raw{};
  if (entry.Location.DataSize < sizeof(raw) || !reader.Read(entry.Location.Rva, &raw)) {
    *error = "the miscellaneous information is cut short";
    return false;
  }
  summary->misc = MinidumpSummary::Misc{raw.Flags1, raw.ProcessId, raw.ProcessCreateTime, raw.ProcessUserTime,
                                        raw.ProcessKernelTime};
  return true;
}

}  // namespace

bool ReadMinidump(std::string_view bytes, MinidumpSummary* summary, std::string* error) {
  *summary = MinidumpSummary();
  Reader reader(bytes);
  minidump::Header header{};
  if (!reader.Read(0, &header) || header.Signature != minidump::kSignature) {
    *error = "not a minidump (no MDMP header)";
    return false;
  }
  if ((header.Version & 0xFFFF) != (minidump::kVersion & 0xFFFF)) {
    *error = "unknown minidump version";
    return false;
  }
  if (!reader.Fits(header.StreamDirectoryRva, std::uint64_t{header.NumberOfStreams} * sizeof(minidump::Directory))) {
    *error = "the stream directory lies outside the file";
    return false;
  }
  summary->version = header.Version;
  summary->timeDateStamp = header.TimeDateStamp;
  summary->flags = header.Flags;
  for (std::uint32_t i = 0; i < header.NumberOfStreams; ++i) {
    minidump::Directory entry{};
    reader.Read(std::uint64_t{header.StreamDirectoryRva} + std::uint64_t{i} * sizeof(entry), &entry);
    if (!reader.Fits(entry.Location.Rva, entry.Location.DataSize)) {
      *error = "stream " + StreamTypeName(entry.StreamType) + " lies outside the file";
      return false;
    }
    summary->streams.push_back({entry.StreamType, entry.Location.DataSize, entry.Location.Rva});
    bool ok = true;
    switch (entry.StreamType) {
      case minidump::kThreadListStream:
        ok = ReadThreads(reader, entry, summary, error);
        break;
      case minidump::kModuleListStream:
        ok = ReadModules(reader, entry, summary, error);
        break;
      case minidump::kMemoryListStream:
        ok = ReadMemory(reader, entry, summary, error);
        break;
      case minidump::kExceptionStream:
        ok = ReadException(reader, entry, summary, error);
        break;
      case minidump::kSystemInfoStream:
        ok = ReadSystem(reader, entry, summary, error);
        break;
      case minidump::kMiscInfoStream:
        ok = ReadMisc(reader, entry, summary, error);
        break;
      case minidump::kAssertionInfoStream: {
        minidump::AssertionInfo assertion{};
        if (entry.Location.DataSize >= sizeof(assertion) && reader.Read(entry.Location.Rva, &assertion)) {
          summary->assertionType = assertion.type;
        }
        break;
      }
      case minidump::kBreakpadInfoStream: {
        minidump::BreakpadInfo info{};
        if (entry.Location.DataSize >= sizeof(info) && reader.Read(entry.Location.Rva, &info)) {
          MinidumpSummary::Writer writer;
          if (info.validity & minidump::kBreakpadInfoValidDumpThreadId) writer.dumpThreadId = info.dumpThreadId;
          if (info.validity & minidump::kBreakpadInfoValidRequestingThreadId) {
            writer.requestingThreadId = info.requestingThreadId;
          }
          summary->writer = writer;
        }
        break;
      }
      default:
        break;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace kvdump
