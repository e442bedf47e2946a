// Writes tiny Portable Executable images byte by byte and reads their headers
// back with every offset checked against the image size.
#include "platform/sim/images/pe_image.h"

#include <algorithm>
#include <cctype>

#include "platform/little_endian.h"

namespace platform {
namespace {

constexpr std::uint32_t kDosHeaderSize = 0x40;
constexpr std::uint32_t kPeHeaderOffset = 0x80;   // after the DOS header and stub
constexpr std::uint32_t kCoffHeaderSize = 20;
constexpr std::uint32_t kPe32OptionalSize = 96 + 16 * 8;
constexpr std::uint32_t kPe32PlusOptionalSize = 112 + 16 * 8;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kCertificateDirectory = 4;
constexpr std::uint32_t kTextRva = 0x1000;

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// A return-zero routine for the entry point, in the machine's own code.
std::string EntryStub(PeMachine machine) {
  switch (machine) {
    case PeMachine::I386:
    case PeMachine::AMD64:
      return std::string("\x31\xC0\xC3", 3);                          // xor eax,eax; ret
    case PeMachine::ARM:
      return std::string("\x00\x00\xA0\xE3\x1E\xFF\x2F\xE1", 8);      // mov r0,#0; bx lr
    case PeMachine::ARM64:
      return std::string("\x00\x00\x80\x52\xC0\x03\x5F\xD6", 8);      // mov w0,#0; ret
    case PeMachine::IA64:
      return std::string(16, '\0');                                   // one bundle
  }
  return {};
}

// Subsystem version the machine's first Windows release accepts.
std::pair<std::uint16_t, std::uint16_t> SubsystemVersion(PeMachine machine) {
  switch (machine) {
    case PeMachine::IA64: return {5, 2};
    case PeMachine::ARM: return {6, 2};
    case PeMachine::ARM64: return {10, 0};
    default: return {6, 0};
  }
}

}  // namespace

bool IsPe32Plus(PeMachine machine) {
  return machine == PeMachine::AMD64 || machine == PeMachine::IA64 || machine == PeMachine::ARM64;
}

std::optional<PeMachine> PeMachineFromName(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "i386" || lower == "x86") return PeMachine::I386;
  if (lower == "amd64" || lower == "x64") return PeMachine::AMD64;
  if (lower == "ia64") return PeMachine::IA64;
  if (lower == "arm") return PeMachine::ARM;
  if (lower == "arm64") return PeMachine::ARM64;
  return std::nullopt;
}

const char* PeMachineName(PeMachine machine) {
  switch (machine) {
    case PeMachine::I386: return "i386";
    case PeMachine::AMD64: return "amd64";
    case PeMachine::IA64: return "ia64";
    case PeMachine::ARM: return "arm";
    case PeMachine::ARM64: return "arm64";
  }
  return "unknown";
}

std::string BuildPeImage(PeMachine machine, const std::string& payload) {
  const bool plus = IsPe32Plus(machine);
  const std::uint32_t optionalSize = plus ? kPe32PlusOptionalSize : kPe32OptionalSize;
  const std::uint32_t optional = kPeHeaderOffset + 4 + kCoffHeaderSize;
  const std::uint32_t sectionTable = optional + optionalSize;
  const std::uint32_t sizeOfHeaders = AlignUp(sectionTable + kSectionHeaderSize, kPeFileAlignment);

  const std::string code = EntryStub(machine) + payload;
  const auto virtualSize = static_cast<std::uint32_t>(code.size());
  const std::uint32_t rawSize = AlignUp(std::max<std::uint32_t>(virtualSize, 1), kPeFileAlignment);
  const std::uint32_t sizeOfImage = AlignUp(kTextRva + rawSize, kPeSectionAlignment);

  std::string image(sizeOfHeaders + rawSize, '\0');

  // DOS header: "MZ", e_cblp/e_cp/e_cparhdr as linkers write them, e_lfanew.
  image[0] = 'M';
  image[1] = 'Z';
  Put16(image, 0x02, 0x0090);
  Put16(image, 0x04, 0x0003);
  Put16(image, 0x08, 0x0004);
  Put16(image, 0x0C, 0xFFFF);
  Put16(image, 0x10, 0x00B8);
  Put16(image, 0x18, 0x0040);
  Put32(image, 0x3C, kPeHeaderOffset);
  // DOS stub: print the message and exit.
  static const char kStub[] = "\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21"
                              "This program cannot be run in DOS mode.\r\r\n$";
  std::copy(kStub, kStub + sizeof kStub - 1, image.begin() + kDosHeaderSize);

  // Signature and COFF header.
  image.replace(kPeHeaderOffset, 4, std::string("PE\0\0", 4));
  const std::uint32_t coff = kPeHeaderOffset + 4;
  Put16(image, coff + 0, static_cast<std::uint16_t>(machine));
  Put16(image, coff + 2, 1);                                  // NumberOfSections
  Put16(image, coff + 16, static_cast<std::uint16_t>(optionalSize));
  // EXECUTABLE_IMAGE | RELOCS_STRIPPED, plus 32BIT_MACHINE or LARGE_ADDRESS_AWARE.
  Put16(image, coff + 18, plus ? 0x0023 : 0x0103);

  // Optional header.
  Put16(image, optional + 0, plus ? 0x020B : 0x010B);
  image[optional + 2] = 14;                                   // linker version 14.0
  Put32(image, optional + 4, rawSize);                        // SizeOfCode
  Put32(image, optional + 16, kTextRva);                      // AddressOfEntryPoint
  Put32(image, optional + 20, kTextRva);                      // BaseOfCode
  if (plus) {
    Put64(image, optional + 24, 0x140000000ull);              // ImageBase
  } else {
    Put32(image, optional + 24, kTextRva + rawSize);          // BaseOfData
    Put32(image, optional + 28, 0x00400000);                  // ImageBase
  }
  Put32(image, optional + 32, kPeSectionAlignment);
  Put32(image, optional + 36, kPeFileAlignment);
  const auto subsystemVersion = SubsystemVersion(machine);
  Put16(image, optional + 40, subsystemVersion.first);        // operating system version
  Put16(image, optional + 42, subsystemVersion.second);
  Put16(image, optional + 48, subsystemVersion.first);        // subsystem version
  Put16(image, optional + 50, subsystemVersion.second);
  Put32(image, optional + 56, sizeOfImage);
  Put32(image, optional + 60, sizeOfHeaders);
  Put16(image, optional + 68, 3);                             // IMAGE_SUBSYSTEM_WINDOWS_CUI
  Put16(image, optional + 70, 0x8100);                        // TERMINAL_SERVER_AWARE | NX_COMPAT
  if (plus) {
    Put64(image, optional + 72, 0x100000);                    // stack reserve
    Put64(image, optional + 80, 0x1000);                      // stack commit
    Put64(image, optional + 88, 0x100000);                    // heap reserve
    Put64(image, optional + 96, 0x1000);                      // heap commit
    Put32(image, optional + 108, 16);                         // NumberOfRvaAndSizes
  } else {
    Put32(image, optional + 72, 0x100000);
    Put32(image, optional + 76, 0x1000);
    Put32(image, optional + 80, 0x100000);
    Put32(image, optional + 84, 0x1000);
    Put32(image, optional + 92, 16);
  }
  // The sixteen data directories stay zero: no imports, no resources, and an
  // empty certificate table for the signer to fill.

  // Section header ".text".
  image.replace(sectionTable, 5, ".text");
  Put32(image, sectionTable + 8, virtualSize);
  Put32(image, sectionTable + 12, kTextRva);
  Put32(image, sectionTable + 16, rawSize);
  Put32(image, sectionTable + 20, sizeOfHeaders);             // PointerToRawData
  Put32(image, sectionTable + 36, 0x60000020);                // CODE | EXECUTE | READ

  image.replace(sizeOfHeaders, code.size(), code);

  const std::size_t checksumOffset = optional + 64;
  Put32(image, checksumOffset, ComputePeChecksum(image, checksumOffset));
  return image;
}

std::optional<PeLayout> ParsePeLayout(std::string_view image, std::string* error) {
  return ParsePeLayout(
      image.size(),
      [image](std::uint64_t offset, std::size_t length, char* out) {
        if (offset > image.size() || length > image.size() - offset) return false;
        std::copy_n(image.data() + offset, length, out);
        return true;
      },
      error);
}

std::optional<PeLayout> ParsePeLayout(std::uint64_t size, const PeByteReader& read, std::string* error) {
  auto fail = [error](const char* text) -> std::optional<PeLayout> {
    if (error) *error = text;
    return std::nullopt;
  };
  char dos[kDosHeaderSize];
  if (size < kDosHeaderSize || !read(0, sizeof dos, dos)) return fail("the file is too short for a DOS header");
  if (dos[0] != 'M' || dos[1] != 'Z') return fail("the file has no DOS header");

  PeLayout layout;
  layout.peHeaderOffset = Get32(std::string_view(dos, sizeof dos), 0x3C);
  const std::uint64_t pe = layout.peHeaderOffset;
  if (pe + 4 + kCoffHeaderSize + 2 > size) return fail("the PE header lies outside the file");
  // Everything read below lies in the signature, the COFF header and an
  // optional header of at most 0xFFFF bytes.
  std::string header(static_cast<std::size_t>(std::min<std::uint64_t>(size - pe, 4 + kCoffHeaderSize + 0xFFFF)), '\0');
  if (!read(pe, header.size(), header.data())) return fail("the PE header cannot be read");
  if (header.compare(0, 4, std::string_view("PE\0\0", 4)) != 0) return fail("the file has no PE signature");

  const std::uint64_t coff = 4;  // offsets below are from `pe`
  layout.machine = Get16(header, coff + 0);
  layout.numberOfSections = Get16(header, coff + 2);
  const std::uint64_t optionalSize = Get16(header, coff + 16);
  const std::uint64_t optional = coff + kCoffHeaderSize;
  if (pe + optional + optionalSize > size) return fail("the optional header lies outside the file");

  const std::uint16_t magic = Get16(header, optional);
  if (magic == 0x010B) {
    layout.pe32Plus = false;
  } else if (magic == 0x020B) {
    layout.pe32Plus = true;
  } else {
    return fail("the optional header has an unknown magic number");
  }
  const std::uint64_t rvaCountOffset = layout.pe32Plus ? 108 : 92;
  const std::uint64_t directories = layout.pe32Plus ? 112 : 96;
  if (optionalSize < directories) return fail("the optional header is too short");

  layout.sectionAlignment = Get32(header, optional + 32);
  layout.fileAlignment = Get32(header, optional + 36);
  layout.sizeOfHeaders = Get32(header, optional + 60);
  layout.checksumOffset = static_cast<std::size_t>(pe + optional + 64);
  layout.checksum = Get32(header, optional + 64);
  layout.numberOfRvaAndSizes = Get32(header, optional + rvaCountOffset);

  const std::uint64_t entry = optional + directories + 8 * kCertificateDirectory;
  if (layout.numberOfRvaAndSizes > kCertificateDirectory && entry + 8 <= optional + optionalSize) {
    layout.hasCertificateEntry = true;
    layout.certificateEntryOffset = static_cast<std::size_t>(pe + entry);
    layout.certificateTableOffset = Get32(header, entry);
    layout.certificateTableSize = Get32(header, entry + 4);
  }
  return layout;
}

std::uint32_t ComputePeChecksum(std::string_view image, std::size_t checksumOffset) {
  const std::size_t size = image.size();
  // Bytes of the checksum field count as zero.
  auto byteAt = [&](std::size_t i) -> std::uint32_t {
    if (i >= size || (i >= checksumOffset && i - checksumOffset < 4)) return 0;
    return static_cast<unsigned char>(image[i]);
  };
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; i += 2) {
    sum += byteAt(i) | (byteAt(i + 1) << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + size);
}

}  // namespace platform
