// ZIP unpacking over minizip. The archive is opened through the machine's
// file API (its Windows path travels through minizip as ANSI text), and every
// entry is streamed to its file through one buffer.
#include "engine/unzip_archive.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <minizip/unzip.h>

#include "engine/zip_layout.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "system/kv_system.h"

namespace {

constexpr unsigned kReadChunk = 1048576;
constexpr std::size_t kBufferSize = kReadChunk + 1;
constexpr unsigned long kNameCapacity = 260;
constexpr unsigned long kCommentCapacity = 256;
constexpr unsigned long kUtf8NameFlag = 0x0800;

// minizip's open callback: the "file name" is the archive's Windows path in
// the thread's ANSI code page.
voidpf ZCALLBACK OpenArchiveStream(voidpf, const void* fileName, int mode) {
  if (fileName == nullptr) return nullptr;
  const wchar_t* fileMode = nullptr;
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) {
    fileMode = L"rb";
  } else if (mode & ZLIB_FILEFUNC_MODE_EXISTING) {
    fileMode = L"r+b";
  } else if (mode & ZLIB_FILEFUNC_MODE_CREATE) {
    fileMode = L"wb";
  } else {
    return nullptr;
  }
  const std::wstring path =
      kvutil::KVSystem::ConvertToWide(static_cast<const char*>(fileName), win::CP_THREAD_ACP);
  if (path.empty()) return nullptr;
  return win::_wfsopen(path, fileMode, win::_SH_DENYNO);
}

// A component of the entry name ("\" separated) that climbs out of the folder:
// "..", and, since Windows drops trailing dots and spaces from a name, any
// other name of only dots and spaces with two dots or more (".. ", "...").
bool ClimbsOut(const std::wstring& part) {
  if (part.find_first_not_of(L". ") != std::wstring::npos) return false;
  std::size_t dots = 0;
  for (wchar_t c : part) dots += c == L'.';
  return dots >= 2;
}

// True for an archive without entries that minizip cannot open: one whose
// end record is at the very start (22 bytes and a comment, as Python and
// other tools write an empty archive), which minizip takes for no end record.
bool IsEmptyArchive(const std::wstring& archivePath) {
  std::FILE* file = win::_wfsopen(archivePath, L"rb", win::_SH_DENYNO);
  if (file == nullptr) return false;
  ArchiveReader archive(file);
  const std::optional<ZipEnd> end = ReadZipEnd(archive);
  std::fclose(file);
  return end && end->entries == 0 && end->directorySize == 0;
}

void LogRefused(const std::wstring& name) {
  win::OutputDebugStringW(L"[Brimvale] BVLInstall : Unzip Refused Entry - " + name);
}

}  // namespace

bool IsContainedEntryName(const std::wstring& name) {
  std::wstring normal = name;
  for (wchar_t& c : normal) {
    if (c == L'/') c = L'\\';
  }
  if (!normal.empty() && normal[0] == L'\\') return false;
  // "C:x" names a drive; a colon anywhere else names a stream of a file.
  if (normal.find(L':') != std::wstring::npos) return false;
  std::size_t start = 0;
  while (start <= normal.size()) {
    std::size_t end = normal.find(L'\\', start);
    if (end == std::wstring::npos) end = normal.size();
    if (ClimbsOut(normal.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

win::BOOL UnzipArchive(const std::wstring& archivePath, const std::wstring& destination,
                       const std::wstring& password) {
  zlib_filefunc64_def functions;
  fill_fopen64_filefunc(&functions);
  functions.zopen64_file = OpenArchiveStream;

  const std::string ansiPath = kvutil::KVSystem::ConvertToMultiByte(archivePath, win::CP_THREAD_ACP);
  unzFile zip = unzOpen2_64(ansiPath.c_str(), &functions);
  if (zip == nullptr) return IsEmptyArchive(archivePath) ? win::TRUE : win::FALSE;

  std::vector<char> buffer(kBufferSize, '\0');
  const std::string ansiPassword =
      password.empty() ? std::string() : kvutil::KVSystem::ConvertToMultiByte(password, win::CP_THREAD_ACP);

  auto finish = [&](win::BOOL result) {
    unzClose(zip);
    return result;
  };

  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) return finish(win::FALSE);
  if (unzGoToFirstFile(zip) != UNZ_OK) {
    // No entry to unpack; an archive that claims entries but whose directory
    // cannot be read is damaged.
    return finish(global.number_entry == 0 ? win::TRUE : win::FALSE);
  }

  std::wstring lastParent;
  int step = UNZ_OK;
  while (step == UNZ_OK) {
    char name[kNameCapacity + 2] = {};
    char comment[kCommentCapacity] = {};
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, name, kNameCapacity, nullptr, 0, comment, kCommentCapacity) != UNZ_OK) {
      return finish(win::FALSE);
    }
    // A name longer than the buffer arrives cut, and one with a NUL inside
    // would be cut by the conversion: either would write a different file.
    if (info.size_filename > kNameCapacity || std::strlen(name) != info.size_filename) {
      LogRefused(kvutil::KVSystem::ConvertToWide(name, win::CP_THREAD_ACP));
      return finish(win::FALSE);
    }
    // Names flagged as UTF-8 (general-purpose bit 11, set by current tools
    // for names beyond ASCII) are UTF-8; others are in the ANSI code page.
    const win::UINT nameCodePage = (info.flag & kUtf8NameFlag) ? win::CP_UTF8 : win::CP_THREAD_ACP;
    const std::wstring entryName = kvutil::KVSystem::ConvertToWide(name, nameCodePage);
    if (!IsContainedEntryName(entryName)) {
      LogRefused(entryName);
      return finish(win::FALSE);
    }
    if (unzOpenCurrentFile3(zip, nullptr, nullptr, 0, ansiPassword.empty() ? nullptr : ansiPassword.c_str()) !=
        UNZ_OK) {
      return finish(win::FALSE);
    }

    std::wstring output = destination + L"\\" + entryName;
    for (wchar_t& c : output) {
      if (c == L'/') c = L'\\';
    }
    // Entries of one folder usually follow each other; its check is not
    // repeated for each of them.
    const std::wstring parent = output.substr(0, output.rfind(L'\\'));
    if (parent != lastParent) {
      if (win::GetFileAttributesW(parent) == win::INVALID_FILE_ATTRIBUTES) win::SHCreateDirectory(nullptr, parent);
      lastParent = parent;
    }

    // A folder entry ends in a separator: its folder now exists, so the open
    // fails and nothing is written. A file entry that cannot be opened (in
    // use, or a folder of that name) would leave the component incomplete.
    const bool folderEntry = output.back() == L'\\';
    bool damaged = false;
    std::FILE* file = win::_wfsopen(output, L"wb", win::_SH_DENYNO);
    if (file == nullptr && !folderEntry) {
      win::OutputDebugStringW(L"[Brimvale] BVLInstall : Unzip Write Fail - " + output);
      damaged = true;
    }
    if (file != nullptr) {
      while (true) {
        const int read = unzReadCurrentFile(zip, buffer.data(), kReadChunk);
        if (read < 0) {
          damaged = true;
          break;
        }
        if (read == 0) break;
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(read), file) != static_cast<std::size_t>(read)) {
          damaged = true;
          break;
        }
      }
      if (std::fclose(file) != 0) damaged = true;
    }
    // The CRC is checked here once the whole entry has been read.
    if (unzCloseCurrentFile(zip) != UNZ_OK) damaged = true;
    if (damaged) return finish(win::FALSE);
    step = unzGoToNextFile(zip);
  }
  // Anything but the end of the directory means it could not be read on.
  return finish(step == UNZ_END_OF_LIST_OF_FILE ? win::TRUE : win::FALSE);
}
