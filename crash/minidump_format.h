// The records of a Windows minidump file as the format documents them
// (dbghelp's MINIDUMP_* structures and Breakpad's assertion stream), packed
// as they lie in the file: little-endian, 4-byte packing. Sizes and offsets
// are checked below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvdump {
namespace minidump {

constexpr std::uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr std::uint32_t kVersion = 0x0000A793;    // MINIDUMP_VERSION in the low word

// Stream types.
constexpr std::uint32_t kUnusedStream = 0;  // a directory entry left empty
constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kMemoryListStream = 5;
constexpr std::uint32_t kExceptionStream = 6;
constexpr std::uint32_t kSystemInfoStream = 7;
constexpr std::uint32_t kMiscInfoStream = 15;
constexpr std::uint32_t kBreakpadInfoStream = 0x47670001;   // Breakpad's
constexpr std::uint32_t kAssertionInfoStream = 0x47670002;  // Breakpad's

constexpr std::uint64_t kMiniDumpNormal = 0;
constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;
constexpr std::uint16_t kProcessorArchitectureIntel = 0;
constexpr std::uint32_t kPlatformWin32Nt = 2;
constexpr std::uint32_t kMiscProcessId = 0x1;
constexpr std::uint32_t kMiscProcessTimes = 0x2;
constexpr std::uint32_t kAssertionInvalidParameter = 1;
constexpr std::uint32_t kAssertionPureVirtualCall = 2;
// The CodeView record of an ELF build id, as Breakpad and Crashpad write it
// for Linux modules: the signature 'BpEL' as a little-endian number (on disk
// the bytes "LEpB"), then the build id's bytes.
constexpr std::uint32_t kCvSignatureElf = 0x4270454C;

// The thread contexts a dump holds: the processor's flag in their flags and
// where the flags, the instruction pointer and the stack pointer lie (x86:
// ContextFlags, Eip, Esp; x64: ContextFlags, Rip, Rsp). An x86 context is 716
// bytes (204 without its extended registers), an x64 one 1232.
struct ContextLayout {
  std::uint32_t processorFlag;
  std::size_t minimumSize;
  std::size_t flags;
  std::size_t instructionPointer;
  std::size_t stackPointer;
  std::size_t pointerSize;
};
constexpr ContextLayout kContextX86{0x00010000, 204, 0x00, 0xB8, 0xC4, 4};
constexpr ContextLayout kContextAmd64{0x00100000, 1232, 0x30, 0xF8, 0x98, 8};

#pragma pack(push, 4)

struct Header {
  std::uint32_t Signature;
  std::uint32_t Version;
  std::uint32_t NumberOfStreams;
  std::uint32_t StreamDirectoryRva;
  std::uint32_t CheckSum;
  std::uint32_t TimeDateStamp;
  std::uint64_t Flags;
};

struct LocationDescriptor {
  std::uint32_t DataSize;
  std::uint32_t Rva;
};

struct Directory {
  std::uint32_t StreamType;
  LocationDescriptor Location;
};

struct MemoryDescriptor {
  std::uint64_t StartOfMemoryRange;
  LocationDescriptor Memory;
};

struct Thread {
  std::uint32_t ThreadId;
  std::uint32_t SuspendCount;
  std::uint32_t PriorityClass;
  std::uint32_t Priority;
  std::uint64_t Teb;
  MemoryDescriptor Stack;
  LocationDescriptor ThreadContext;
};

struct FixedFileInfo {
  std::uint32_t dwSignature;
  std::uint32_t dwStrucVersion;
  std::uint32_t dwFileVersionMS;
  std::uint32_t dwFileVersionLS;
  std::uint32_t dwProductVersionMS;
  std::uint32_t dwProductVersionLS;
  std::uint32_t dwFileFlagsMask;
  std::uint32_t dwFileFlags;
  std::uint32_t dwFileOS;
  std::uint32_t dwFileType;
  std::uint32_t dwFileSubtype;
  std::uint32_t dwFileDateMS;
  std::uint32_t dwFileDateLS;
};

struct Module {
  std::uint64_t BaseOfImage;
  std::uint32_t SizeOfImage;
  std::uint32_t CheckSum;
  std::uint32_t TimeDateStamp;
  std::uint32_t ModuleNameRva;
  FixedFileInfo VersionInfo;
  LocationDescriptor CvRecord;
  LocationDescriptor MiscRecord;
  std::uint64_t Reserved0;
  std::uint64_t Reserved1;
};

struct Exception {
  std::uint32_t ExceptionCode;
  std::uint32_t ExceptionFlags;
  std::uint64_t ExceptionRecord;
  std::uint64_t ExceptionAddress;
  std::uint32_t NumberParameters;
  std::uint32_t UnusedAlignment;
  std::uint64_t ExceptionInformation[15];
};

struct ExceptionStream {
  std::uint32_t ThreadId;
  std::uint32_t Alignment;
  Exception ExceptionRecord;
  LocationDescriptor ThreadContext;
};

struct SystemInfo {
  std::uint16_t ProcessorArchitecture;
  std::uint16_t ProcessorLevel;
  std::uint16_t ProcessorRevision;
  std::uint8_t NumberOfProcessors;
  std::uint8_t ProductType;
  std::uint32_t MajorVersion;
  std::uint32_t MinorVersion;
  std::uint32_t BuildNumber;
  std::uint32_t PlatformId;
  std::uint32_t CSDVersionRva;
  std::uint16_t SuiteMask;
  std::uint16_t Reserved2;
  std::uint32_t CpuInformation[6];  // CPU_INFORMATION (a union of 24 bytes)
};

struct MiscInfo {
  std::uint32_t SizeOfInfo;
  std::uint32_t Flags1;
  std::uint32_t ProcessId;
  std::uint32_t ProcessCreateTime;
  std::uint32_t ProcessUserTime;
  std::uint32_t ProcessKernelTime;
};

// Which threads wrote the dump and asked for it, so that a reader can tell
// the crash reporter's own thread from the process's.
struct BreakpadInfo {
  std::uint32_t validity;  // kBreakpadInfoValid... flags
  std::uint32_t dumpThreadId;
  std::uint32_t requestingThreadId;
};
constexpr std::uint32_t kBreakpadInfoValidDumpThreadId = 0x1;
constexpr std::uint32_t kBreakpadInfoValidRequestingThreadId = 0x2;

struct AssertionInfo {
  char16_t expression[128];
  char16_t function[128];
  char16_t file[128];
  std::uint32_t line;
  std::uint32_t type;
};

#pragma pack(pop)

static_assert(sizeof(Header) == 32, "MINIDUMP_HEADER");
static_assert(sizeof(LocationDescriptor) == 8, "MINIDUMP_LOCATION_DESCRIPTOR");
static_assert(sizeof(Directory) == 12, "MINIDUMP_DIRECTORY");
static_assert(sizeof(MemoryDescriptor) == 16, "MINIDUMP_MEMORY_DESCRIPTOR");
static_assert(sizeof(Thread) == 48, "MINIDUMP_THREAD");
static_assert(offsetof(Thread, Stack) == 24 && offsetof(Thread, ThreadContext) == 40, "MINIDUMP_THREAD offsets");
static_assert(sizeof(FixedFileInfo) == 52, "VS_FIXEDFILEINFO");
static_assert(sizeof(Module) == 108, "MINIDUMP_MODULE");
static_assert(offsetof(Module, ModuleNameRva) == 20 && offsetof(Module, CvRecord) == 76, "MINIDUMP_MODULE offsets");
static_assert(sizeof(Exception) == 152, "MINIDUMP_EXCEPTION");
static_assert(sizeof(ExceptionStream) == 168, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(ExceptionStream, ThreadContext) == 160, "MINIDUMP_EXCEPTION_STREAM offsets");
static_assert(sizeof(SystemInfo) == 56, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(SystemInfo, CSDVersionRva) == 24, "MINIDUMP_SYSTEM_INFO offsets");
static_assert(sizeof(MiscInfo) == 24, "MINIDUMP_MISC_INFO");
static_assert(sizeof(BreakpadInfo) == 12, "MDRawBreakpadInfo");
static_assert(sizeof(AssertionInfo) == 776, "MDRawAssertionInfo");

}  // namespace minidump
}  // namespace kvdump
