// ZIP unpacking with the installer's own record reader and zlib's inflate.
// The archive is opened through the machine's file API and read through one
// reader; it is checked whole before anything is written, then every entry
// is streamed to its file through one buffer.
#include "engine/unzip_archive.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "engine/engine_texts.h"
#include "engine/entry_names.h"
#include "engine/zip_decryption.h"
#include "engine/zip_entry_copy.h"
#include "engine/zip_layout.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

constexpr std::size_t kBufferSize = 1048577;  // 1 MiB, and one byte more
constexpr std::size_t kNameCapacity = 260;

// One entry as the directory and the archive's own records give it.
struct ArchiveEntry {
  std::wstring name;
  ZipCentralRecord record;
  std::uint64_t localHeader = 0;  // from the archive's start
  std::uint64_t dataOffset = 0;   // where the entry's data begins, encryption header included
  // For an encrypted entry: the password's keys, past its encryption header.
  std::optional<ZipDecryption> decryption;
};

enum class EntryVerdict { Accepted, Refused, Damaged };

// What every entry of one archive is read and unpacked with.
struct Unpacking {
  ArchiveReader& archive;
  const ZipEnd& end;
  std::string password;  // in the ANSI code page; empty for none
  EntryBuffers buffers;
  std::wstring lastParent;  // the folder of the entry before, which exists
};

// An entry's name as stored must be whole, stay below the destination and be
// a name Windows keeps as written; else it is refused and logged. A name
// longer than the buffer would arrive cut, and one with a NUL inside would
// be cut by the conversion: either would write a different file.
EntryVerdict CheckName(std::string_view stored, bool utf8Name, std::wstring* name) {
  const std::string_view kept = stored.substr(0, std::min(stored.size(), kNameCapacity));
  if (kept.size() != stored.size() || kept.find('\0') != std::string_view::npos) {
    const std::string shown(kept.substr(0, kept.find('\0')));
    LogDebugLine(engine_texts::UnzipRefusedEntry(kvutil::KVSystem::ConvertToWide(shown, win::CP_THREAD_ACP)));
    return EntryVerdict::Refused;
  }
  // Names flagged as UTF-8 (general-purpose bit 11, set by current tools
  // for names beyond ASCII) are UTF-8; others are in the ANSI code page.
  // Both read ASCII as ASCII, which most names are.
  const win::UINT nameCodePage = utf8Name ? win::CP_UTF8 : win::CP_THREAD_ACP;
  if (std::all_of(kept.begin(), kept.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    name->assign(kept.begin(), kept.end());
  } else {
    *name = kvutil::KVSystem::ConvertToWide(std::string(kept), nameCodePage);
  }
  // A name that would land outside the destination, or that Windows would
  // take for a device or for another name, writes somewhere else than it says.
  if (!IsContainedEntryName(*name) || !IsWindowsEntryName(*name)) {
    LogDebugLine(engine_texts::UnzipRefusedEntry(*name));
    return EntryVerdict::Refused;
  }
  return EntryVerdict::Accepted;
}

// Where the entry of `record` lies: its local header and data, which must
// be inside the archive.
EntryVerdict LocateEntry(ArchiveReader& archive, const ZipEnd& end, const ZipCentralRecord& record,
                         ArchiveEntry* entry) {
  entry->record = record;
  entry->localHeader = end.bytesBefore + record.localHeaderOffset;
  const std::optional<std::uint64_t> data = EntryDataOffset(archive, entry->localHeader, record);
  if (!data || *data > archive.Size() || record.compressedSize > archive.Size() - *data) return EntryVerdict::Damaged;
  entry->dataOffset = *data;
  return EntryVerdict::Accepted;
}

// An encrypted entry opens only with its password: the keys must decrypt
// its encryption header to the check byte. The installer's own archives are
// never encrypted, and an entry read without its key would be garbage.
EntryVerdict OpenEncryption(Unpacking& unpacking, ArchiveEntry* entry) {
  const ZipCentralRecord& record = entry->record;
  if (!record.Encrypted()) return EntryVerdict::Accepted;
  char header[kZipEncryptionHeader];
  if (record.compressedSize < sizeof header || !unpacking.archive.Read(entry->dataOffset, sizeof header, header)) {
    return EntryVerdict::Damaged;
  }
  // The header ends in the CRC's high byte, or the time's when a data
  // descriptor brings the CRC only after the data.
  const std::uint32_t checked = record.HasDataDescriptor() ? std::uint32_t{record.modificationTime} << 16 : record.crc;
  const auto check = static_cast<std::uint8_t>(checked >> 24);
  entry->decryption.emplace(unpacking.password);
  if (unpacking.password.empty() || !entry->decryption->OpenHeader(header, check)) {
    LogDebugLine(engine_texts::UnzipRefusedEntry(entry->name));
    return EntryVerdict::Refused;
  }
  return EntryVerdict::Accepted;
}

// Reads the directory record at `offset` and the entry it describes: its
// name must be acceptable, its data inside the archive, its method one that
// is unpacked and its encryption one the password opens. Refusals are logged.
EntryVerdict ReadEntry(Unpacking& unpacking, std::uint64_t offset, ArchiveEntry* entry) {
  const std::optional<ZipCentralRecord> record = ReadCentralRecord(unpacking.archive, offset);
  if (!record) return EntryVerdict::Damaged;
  const EntryVerdict named = CheckName(record->name, record->Utf8Name(), &entry->name);
  if (named != EntryVerdict::Accepted) return named;
  if (LocateEntry(unpacking.archive, unpacking.end, *record, entry) != EntryVerdict::Accepted) {
    return EntryVerdict::Damaged;
  }
  if (!IsSupportedMethod(record->method)) {
    LogDebugLine(engine_texts::UnzipRefusedEntry(entry->name));
    return EntryVerdict::Refused;
  }
  return OpenEncryption(unpacking, entry);
}

// Walks the whole directory in the archive's own records before anything is
// written: every entry must be acceptable, its local header must agree with
// its directory record, and no two parts of the archive may claim the same
// bytes. Such overlapping entries are how an archive bomb of a few kilobytes
// unpacks to gigabytes; Info-ZIP's unzip refuses them too. A directory that
// holds more records than the end record counts (a count past 65535 without
// zip64 records) is refused as well, rather than leaving entries out.
bool CheckArchive(Unpacking& unpacking) {
  ArchiveReader& archive = unpacking.archive;
  const ZipEnd& end = unpacking.end;
  const std::uint64_t directoryBegin = end.bytesBefore + end.directoryOffset;
  const std::uint64_t directoryEnd = directoryBegin + end.directorySize;
  ArchiveSpans spans;
  // The directory and the end records behind it.
  if (!spans.Add(directoryBegin, archive.Size())) return false;
  std::uint64_t offset = directoryBegin;
  for (std::uint64_t i = 0; i < end.entries; ++i) {
    ArchiveEntry entry;
    if (ReadEntry(unpacking, offset, &entry) != EntryVerdict::Accepted) return false;
    const ZipCentralRecord& record = entry.record;
    const std::uint64_t dataEnd = entry.dataOffset + record.compressedSize;
    if (!spans.Add(entry.localHeader, dataEnd + DataDescriptorLength(archive, dataEnd, record))) {
      LogDebugLine(engine_texts::UnzipRefusedEntry(entry.name));
      return false;
    }
    if (!LocalHeaderAgrees(archive, entry.localHeader, record)) return false;
    offset += record.recordLength;
  }
  return offset >= directoryEnd || !ReadCentralRecord(archive, offset);
}

// Where an entry is written: below the destination, its separators
// Windows' own.
std::wstring OutputPath(const std::wstring& destination, const std::wstring& name) {
  std::wstring output = destination + L"\\" + name;
  for (wchar_t& c : output) {
    if (c == L'/') c = L'\\';
  }
  return output;
}

// Creates the folder the entry's file goes into. Entries of one folder
// usually follow each other; its check is not repeated for each of them.
void CreateParentFolder(const std::wstring& output, std::wstring* lastParent) {
  const std::wstring parent = output.substr(0, output.rfind(L'\\'));
  if (parent == *lastParent) return;
  if (win::GetFileAttributesW(parent) == win::INVALID_FILE_ATTRIBUTES) win::SHCreateDirectory(nullptr, parent);
  *lastParent = parent;
}

// Writes the entry's data to `output`. A folder entry ends in a separator:
// its folder exists by now, so the open fails and nothing is written. A
// file entry that cannot be opened (in use, or a folder of that name) would
// leave the component incomplete. False when the entry is damaged or its
// file was not written whole (logged).
bool WriteEntry(Unpacking& unpacking, ArchiveEntry& entry, const std::wstring& output) {
  std::FILE* file = win::_wfsopen(output, L"wb", win::_SH_DENYNO);
  if (file == nullptr) {
    if (output.back() == L'\\') return true;
    LogDebugLine(engine_texts::UnzipWriteFail(output));
    return false;
  }
  const std::uint64_t header = entry.decryption ? kZipEncryptionHeader : 0;
  const EntryData data{entry.dataOffset + header, entry.record.compressedSize - header,
                       entry.decryption ? &*entry.decryption : nullptr};
  const EntryCopyResult copied = CopyEntryData(unpacking.archive, data, entry.record, file, unpacking.buffers);
  if (copied == EntryCopyResult::WriteFailed) LogDebugLine(engine_texts::UnzipWriteFail(output));
  bool whole = copied == EntryCopyResult::Copied;
  if (std::fclose(file) != 0) {
    if (whole) LogDebugLine(engine_texts::UnzipWriteFail(output));
    whole = false;
  }
  return whole;
}

// Unpacks the checked entries in directory order below `destination`. False
// at the first entry that is damaged or cannot be written; the entries
// before it stay.
bool UnpackEntries(Unpacking& unpacking, const std::wstring& destination) {
  std::uint64_t offset = unpacking.end.bytesBefore + unpacking.end.directoryOffset;
  for (std::uint64_t i = 0; i < unpacking.end.entries; ++i) {
    ArchiveEntry entry;
    if (ReadEntry(unpacking, offset, &entry) != EntryVerdict::Accepted) return false;
    const std::wstring output = OutputPath(destination, entry.name);
    CreateParentFolder(output, &unpacking.lastParent);
    if (!WriteEntry(unpacking, entry, output)) return false;
    offset += entry.record.recordLength;
  }
  return true;
}

// Opens the archive's own bytes. The path is taken in the thread's ANSI code
// page, as the installer has always named archives: a path that the code
// page cannot hold does not name it. Null when it cannot be opened.
std::FILE* OpenArchiveBytes(const std::wstring& archivePath) {
  const std::wstring ansiPath = kvutil::KVSystem::ConvertToWide(
      kvutil::KVSystem::ConvertToMultiByte(archivePath, win::CP_THREAD_ACP), win::CP_THREAD_ACP);
  return ansiPath.empty() ? nullptr : win::_wfsopen(ansiPath, L"rb", win::_SH_DENYNO);
}

// Checks the archive whole, then unpacks every entry. An archive without
// entries (its end record alone, as Python and other tools write one, also
// after a self-extractor's stub) unpacks to nothing.
bool CheckAndUnpack(ArchiveReader& archive, const std::wstring& destination, const std::wstring& password) {
  const std::optional<ZipEnd> end = ReadZipEnd(archive);
  if (!end) return false;
  Unpacking unpacking{archive, *end,
                      password.empty() ? std::string()
                                       : kvutil::KVSystem::ConvertToMultiByte(password, win::CP_THREAD_ACP),
                      EntryBuffers(kBufferSize), std::wstring()};
  return CheckArchive(unpacking) && UnpackEntries(unpacking, destination);
}

}  // namespace

win::BOOL UnzipArchive(const std::wstring& archivePath, const std::wstring& destination,
                       const std::wstring& password) {
  std::FILE* bytes = OpenArchiveBytes(archivePath);
  if (bytes == nullptr) return win::FALSE;
  ArchiveReader archive(bytes);
  const bool unpacked = CheckAndUnpack(archive, destination, password);
  std::fclose(bytes);
  return unpacked ? win::TRUE : win::FALSE;
}
