// ZIP unpacking over minizip. The archive is opened through the machine's
// file API and read through one reader, by the checks and by minizip; it is
// checked whole, and every entry is streamed to its file through one buffer.
#include "engine/unzip_archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <minizip/unzip.h>

#include "engine/engine_texts.h"
#include "engine/entry_names.h"
#include "engine/zip_entry_copy.h"
#include "engine/zip_layout.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

constexpr unsigned kReadChunk = 1048576;
constexpr std::size_t kBufferSize = kReadChunk + 1;
constexpr unsigned long kNameCapacity = 260;
constexpr unsigned long kCommentCapacity = 256;
constexpr unsigned long kUtf8NameFlag = 0x0800;

// minizip reads the archive through the same reader as the checks: what it
// unpacks is the bytes that were checked, and the directory record and local
// header it reads in turn for every entry come from the reader's windows
// instead of a seek and a read each.
struct MinizipStream {
  ArchiveReader* reader = nullptr;
  std::uint64_t position = 0;
  bool failed = false;
};

voidpf ZCALLBACK OpenReaderStream(voidpf opaque, const void*, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return new MinizipStream{static_cast<ArchiveReader*>(opaque)};
}

uLong ZCALLBACK ReadReaderStream(voidpf, voidpf handle, void* out, uLong size) {
  auto* stream = static_cast<MinizipStream*>(handle);
  const std::uint64_t total = stream->reader->Size();
  const std::uint64_t left = stream->position < total ? total - stream->position : 0;
  const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  if (length == 0) return 0;
  if (!stream->reader->Read(stream->position, length, static_cast<char*>(out))) {
    stream->failed = true;
    return 0;
  }
  stream->position += length;
  return static_cast<uLong>(length);
}

uLong ZCALLBACK WriteReaderStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellReaderStream(voidpf, voidpf handle) {
  return static_cast<MinizipStream*>(handle)->position;
}

long ZCALLBACK SeekReaderStream(voidpf, voidpf handle, ZPOS64_T offset, int origin) {
  auto* stream = static_cast<MinizipStream*>(handle);
  std::uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = stream->position; break;
    case ZLIB_FILEFUNC_SEEK_END: base = stream->reader->Size(); break;
    default: return -1;
  }
  if (offset > UINT64_MAX - base) return -1;
  stream->position = base + offset;
  return 0;
}

int ZCALLBACK CloseReaderStream(voidpf, voidpf handle) {
  delete static_cast<MinizipStream*>(handle);
  return 0;
}

int ZCALLBACK ReaderStreamError(voidpf, voidpf handle) { return static_cast<MinizipStream*>(handle)->failed ? 1 : 0; }

zlib_filefunc64_def ReaderFunctions(ArchiveReader* reader) {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = OpenReaderStream;
  functions.zread_file = ReadReaderStream;
  functions.zwrite_file = WriteReaderStream;
  functions.ztell64_file = TellReaderStream;
  functions.zseek64_file = SeekReaderStream;
  functions.zclose_file = CloseReaderStream;
  functions.zerror_file = ReaderStreamError;
  functions.opaque = reader;
  return functions;
}

// True for an archive without entries that minizip cannot open: one whose
// end record is at the very start (22 bytes and a comment, as Python and
// other tools write an empty archive), which minizip takes for no end record.
bool IsEmptyArchive(ArchiveReader& archive) {
  const std::optional<ZipEnd> end = ReadZipEnd(archive);
  return end && end->entries == 0 && end->directorySize == 0;
}

// One entry as the directory and the archive's own records give it.
struct ArchiveEntry {
  std::wstring name;
  ZipCentralRecord record;
  std::uint64_t localHeader = 0;  // from the archive's start
  std::uint64_t dataOffset = 0;
};

enum class EntryVerdict { Accepted, Refused, Damaged };

// An entry's name as stored (`stored`: as far as it was read) must be whole,
// stay below the destination and be a name Windows keeps as written; else it
// is refused and logged. A name longer than the buffer would arrive cut, and
// one with a NUL inside would be cut by the conversion: either would write a
// different file.
EntryVerdict CheckName(std::string_view stored, std::size_t storedLength, bool utf8Name, std::wstring* name) {
  stored = stored.substr(0, std::min<std::size_t>(stored.size(), kNameCapacity));
  if (storedLength > kNameCapacity || stored.size() != storedLength || stored.find('\0') != std::string_view::npos) {
    const std::string shown(stored.substr(0, stored.find('\0')));
    LogDebugLine(engine_texts::UnzipRefusedEntry(kvutil::KVSystem::ConvertToWide(shown, win::CP_THREAD_ACP)));
    return EntryVerdict::Refused;
  }
  // Names flagged as UTF-8 (general-purpose bit 11, set by current tools
  // for names beyond ASCII) are UTF-8; others are in the ANSI code page.
  // Both read ASCII as ASCII, which most names are.
  const win::UINT nameCodePage = utf8Name ? win::CP_UTF8 : win::CP_THREAD_ACP;
  if (std::all_of(stored.begin(), stored.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    name->assign(stored.begin(), stored.end());
  } else {
    *name = kvutil::KVSystem::ConvertToWide(std::string(stored), nameCodePage);
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

// Reads minizip's current entry: its name as minizip gives it, and its own
// central record and local header.
EntryVerdict ReadEntry(unzFile zip, ArchiveReader& archive, const ZipEnd& end, ArchiveEntry* entry) {
  char name[kNameCapacity + 2] = {};
  char comment[kCommentCapacity] = {};
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip, &info, name, kNameCapacity, nullptr, 0, comment, kCommentCapacity) != UNZ_OK) {
    return EntryVerdict::Damaged;
  }
  const std::size_t received = std::min<std::size_t>(info.size_filename, kNameCapacity);
  const EntryVerdict named =
      CheckName(std::string_view(name, received), info.size_filename, (info.flag & kUtf8NameFlag) != 0, &entry->name);
  if (named != EntryVerdict::Accepted) return named;
  const std::optional<ZipCentralRecord> record = ReadCentralRecord(archive, end.bytesBefore + unzGetOffset64(zip));
  if (!record) return EntryVerdict::Damaged;
  return LocateEntry(archive, end, *record, entry);
}

// Walks the whole directory in the archive's own records before anything is
// written: every name must be acceptable, and no two parts of the archive
// may claim the same bytes. Such overlapping entries are how an archive bomb
// of a few kilobytes unpacks to gigabytes; Info-ZIP's unzip refuses them
// too. Returns how many entries were checked; empty when one failed.
std::optional<std::uint64_t> CheckArchive(ArchiveReader& archive, const ZipEnd& end) {
  ArchiveSpans spans;
  // The directory and the end records behind it.
  if (!spans.Add(end.bytesBefore + end.directoryOffset, archive.Size())) return std::nullopt;
  std::uint64_t offset = end.bytesBefore + end.directoryOffset;
  for (std::uint64_t i = 0; i < end.entries; ++i) {
    const std::optional<ZipCentralRecord> record = ReadCentralRecord(archive, offset);
    if (!record) return std::nullopt;
    ArchiveEntry entry;
    if (CheckName(record->name, record->nameLength, record->Utf8Name(), &entry.name) != EntryVerdict::Accepted ||
        LocateEntry(archive, end, *record, &entry) != EntryVerdict::Accepted) {
      return std::nullopt;
    }
    // Zip64 entries are read without minizip, which also decrypts.
    if (record->zip64 && record->Encrypted()) {
      LogDebugLine(engine_texts::UnzipRefusedEntry(entry.name));
      return std::nullopt;
    }
    const std::uint64_t dataEnd = entry.dataOffset + record->compressedSize;
    if (!spans.Add(entry.localHeader, dataEnd + DataDescriptorLength(archive, dataEnd, *record))) {
      LogDebugLine(engine_texts::UnzipRefusedEntry(entry.name));
      return std::nullopt;
    }
    offset += record->recordLength;
  }
  return end.entries;
}

// What every entry of one archive is unpacked with.
struct Unpacking {
  unzFile zip;
  ArchiveReader& archive;
  const ZipEnd& end;
  std::string password;      // in the ANSI code page; empty for none
  std::vector<char> buffer;  // one chunk of an entry on its way to the file
  std::wstring lastParent;   // the folder of the entry before, which exists
};

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

// Streams minizip's current entry into `file`: never more than the entry
// declares, and all of it; a stream that ends early is as damaged as one
// that runs on. False when it is damaged or cannot be written (logged).
bool StreamEntry(Unpacking& unpacking, const ZipCentralRecord& record, std::FILE* file, const std::wstring& output) {
  std::uint64_t written = 0;
  while (true) {
    const int read = unzReadCurrentFile(unpacking.zip, unpacking.buffer.data(), kReadChunk);
    if (read < 0 || static_cast<std::uint64_t>(read) > record.uncompressedSize - written) return false;
    if (read == 0) break;
    const auto length = static_cast<std::size_t>(read);
    if (std::fwrite(unpacking.buffer.data(), 1, length, file) != length) {
      LogDebugLine(engine_texts::UnzipWriteFail(output));
      return false;
    }
    written += length;
  }
  return written == record.uncompressedSize;
}

// Writes the entry's data to `output`. The platform's minizip reads zip64
// sizes as 4 GiB - 1, so those entries are copied from the archive's bytes
// instead. A folder entry ends in a separator: its folder exists by now, so
// the open fails and nothing is written. A file entry that cannot be opened
// (in use, or a folder of that name) would leave the component incomplete.
// False when the entry is damaged or its file was not written whole (logged).
bool WriteEntry(Unpacking& unpacking, const ArchiveEntry& entry, const std::wstring& output) {
  std::FILE* file = win::_wfsopen(output, L"wb", win::_SH_DENYNO);
  if (file == nullptr) {
    if (output.back() == L'\\') return true;
    LogDebugLine(engine_texts::UnzipWriteFail(output));
    return false;
  }
  bool whole;
  if (entry.record.zip64) {
    const EntryCopyResult copied =
        CopyEntryData(unpacking.archive, entry.dataOffset, entry.record, file, unpacking.buffer);
    if (copied == EntryCopyResult::WriteFailed) LogDebugLine(engine_texts::UnzipWriteFail(output));
    whole = copied == EntryCopyResult::Copied;
  } else {
    whole = StreamEntry(unpacking, entry.record, file, output);
  }
  if (std::fclose(file) != 0) {
    if (whole) LogDebugLine(engine_texts::UnzipWriteFail(output));
    whole = false;
  }
  return whole;
}

// Unpacks minizip's current entry, already read and accepted, below
// `destination`. False when it is damaged or cannot be written.
bool UnpackEntry(Unpacking& unpacking, const ArchiveEntry& entry, const std::wstring& destination) {
  const bool throughMinizip = !entry.record.zip64;
  if (throughMinizip && unzOpenCurrentFile3(unpacking.zip, nullptr, nullptr, 0,
                                            unpacking.password.empty() ? nullptr : unpacking.password.c_str()) !=
                            UNZ_OK) {
    return false;
  }
  const std::wstring output = OutputPath(destination, entry.name);
  CreateParentFolder(output, &unpacking.lastParent);
  bool whole = WriteEntry(unpacking, entry, output);
  // The CRC is checked here once the whole entry has been read.
  if (throughMinizip && unzCloseCurrentFile(unpacking.zip) != UNZ_OK) whole = false;
  return whole;
}

// Unpacks the entries as minizip walks them from the first one. False at
// the first entry that is refused, damaged or cannot be written, when
// minizip walks past the `checked` entries, and when the directory cannot
// be read on.
bool UnpackEntries(Unpacking& unpacking, std::uint64_t checked, const std::wstring& destination) {
  std::uint64_t unpacked = 0;
  int step = UNZ_OK;
  while (step == UNZ_OK) {
    // minizip walks on past a count of 65535, which the check took as the
    // whole directory.
    if (++unpacked > checked) return false;
    ArchiveEntry entry;
    if (ReadEntry(unpacking.zip, unpacking.archive, unpacking.end, &entry) != EntryVerdict::Accepted) return false;
    if (!UnpackEntry(unpacking, entry, destination)) return false;
    step = unzGoToNextFile(unpacking.zip);
  }
  // Anything but the end of the directory means it could not be read on.
  return step == UNZ_END_OF_LIST_OF_FILE;
}

// Checks the archive minizip opened whole, then unpacks every entry. True
// for an archive without entries.
bool CheckAndUnpack(unzFile zip, ArchiveReader& archive, const std::wstring& destination,
                    const std::wstring& password) {
  const std::optional<ZipEnd> end = ReadZipEnd(archive);
  if (!end) return false;
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) return false;
  if (unzGoToFirstFile(zip) != UNZ_OK) {
    // No entry to unpack; an archive that claims entries but whose directory
    // cannot be read is damaged.
    return global.number_entry == 0;
  }
  const std::optional<std::uint64_t> checked = CheckArchive(archive, *end);
  if (!checked) return false;

  Unpacking unpacking{zip,
                      archive,
                      *end,
                      password.empty() ? std::string()
                                       : kvutil::KVSystem::ConvertToMultiByte(password, win::CP_THREAD_ACP),
                      std::vector<char>(kBufferSize, '\0'),
                      std::wstring()};
  return UnpackEntries(unpacking, *checked, destination);
}

// Opens the archive's own bytes, for the checks before anything is written,
// for minizip and for the zip64 entries. It is named in the thread's ANSI
// code page, as minizip takes names: a path that the code page cannot hold
// does not name it. Null when it cannot be opened.
std::FILE* OpenArchiveBytes(const std::wstring& archivePath) {
  const std::wstring ansiPath = kvutil::KVSystem::ConvertToWide(
      kvutil::KVSystem::ConvertToMultiByte(archivePath, win::CP_THREAD_ACP), win::CP_THREAD_ACP);
  return ansiPath.empty() ? nullptr : win::_wfsopen(ansiPath, L"rb", win::_SH_DENYNO);
}

}  // namespace

win::BOOL UnzipArchive(const std::wstring& archivePath, const std::wstring& destination,
                       const std::wstring& password) {
  std::FILE* bytes = OpenArchiveBytes(archivePath);
  if (bytes == nullptr) return win::FALSE;
  ArchiveReader archive(bytes);
  zlib_filefunc64_def functions = ReaderFunctions(&archive);
  unzFile zip = unzOpen2_64("archive", &functions);
  const bool unpacked = zip ? CheckAndUnpack(zip, archive, destination, password) : IsEmptyArchive(archive);
  if (zip) unzClose(zip);
  std::fclose(bytes);
  return unpacked ? win::TRUE : win::FALSE;
}
