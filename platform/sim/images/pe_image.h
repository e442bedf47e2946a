// Portable Executable images: a writer of tiny valid images (stand-in programs,
// driver files and signing fixtures) and a bounds-checked reader of the headers
// that signature checks and architecture checks need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The COFF machine types the installer meets.
enum class PeMachine : std::uint16_t {
  I386 = 0x014C,
  AMD64 = 0x8664,
  IA64 = 0x0200,
  ARM = 0x01C0,
  ARM64 = 0xAA64,
};

// True for the 64-bit machines, whose images carry a PE32+ optional header.
bool IsPe32Plus(PeMachine machine);
// "i386", "amd64", "ia64", "arm", "arm64" (ignoring case; "x86" and "x64" too).
std::optional<PeMachine> PeMachineFromName(const std::string& name);
const char* PeMachineName(PeMachine machine);

// Layout of the image constants the writer uses.
constexpr std::uint32_t kPeFileAlignment = 0x200;
constexpr std::uint32_t kPeSectionAlignment = 0x1000;

// A complete image for `machine`: DOS header and stub, "PE\0\0", COFF header,
// PE32 or PE32+ optional header with all sixteen data directories (the
// certificate table entry empty, ready for a signer), one ".text" section with
// a return-zero entry stub followed by `payload`, and a correct checksum. The
// size is a multiple of the file alignment. Same inputs give the same bytes.
std::string BuildPeImage(PeMachine machine, const std::string& payload = {});

// What the header reader finds. Offsets are file offsets.
struct PeLayout {
  std::uint16_t machine = 0;
  bool pe32Plus = false;
  std::uint32_t peHeaderOffset = 0;      // e_lfanew: where "PE\0\0" is
  std::uint16_t numberOfSections = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sectionAlignment = 0;
  std::size_t checksumOffset = 0;        // the 4-byte CheckSum field
  std::uint32_t checksum = 0;
  std::uint32_t numberOfRvaAndSizes = 0;
  // The certificate table data-directory entry (index 4). Images with fewer
  // than five directories have none; they cannot carry a signature.
  bool hasCertificateEntry = false;
  std::size_t certificateEntryOffset = 0;  // the 8-byte entry itself
  std::uint32_t certificateTableOffset = 0;  // file offset of the table
  std::uint32_t certificateTableSize = 0;
};

// Reads the DOS, COFF and optional headers of `image`. Every field is read
// only after checking it lies inside the image; on malformed input the result
// is empty and `error` says what is wrong.
std::optional<PeLayout> ParsePeLayout(std::string_view image, std::string* error = nullptr);
// The same for an image of `size` bytes read through `read` (exactly
// `length` bytes at `offset`, false when it cannot), which is asked only for
// the headers: at most 64 KiB and a little more, whatever the file's size.
using PeByteReader = std::function<bool(std::uint64_t offset, std::size_t length, char* out)>;
std::optional<PeLayout> ParsePeLayout(std::uint64_t size, const PeByteReader& read, std::string* error = nullptr);

// The image checksum as the loader computes it: 16-bit one's-complement sum
// of the file with the 4-byte field at `checksumOffset` taken as zero, plus
// the file length.
std::uint32_t ComputePeChecksum(std::string_view image, std::size_t checksumOffset);

}  // namespace platform
