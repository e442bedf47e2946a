// Files on the real system: sizes and positions beyond 4 GiB, folder
// searches, the shell's tree deletion, file handles, read-only views and
// the shell's path names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <map>
#include <set>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "windows/platform/temp_folder.h"

namespace {

using namespace win;
using testing_windows::TempFolder;
using testing_windows::WriteFileBytes;

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// Every entry of a search: name, attributes and size.
std::map<std::wstring, WIN32_FIND_DATAW> FindAll(const std::wstring& pattern) {
  std::map<std::wstring, WIN32_FIND_DATAW> found;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    found[data.cFileName] = data;
  } while (FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(find));
  return found;
}

TEST(FilesTest, SizesAndStreamPositionsReachPastFourGigabytes) {
  TempFolder folder;
  // A sparse file: the one byte written lies beyond what 32 bits address.
  const std::int64_t far = (std::int64_t{1} << 32) + 5;
  std::FILE* stream = _wfopen(folder / L"large.bin", L"wb");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(win::_fseeki64(stream, far, SEEK_SET), 0);
  EXPECT_EQ(win::_ftelli64(stream), far);
  ASSERT_EQ(std::fputc('x', stream), 'x');
  std::fclose(stream);

  const auto found = FindAll(folder / L"large.bin");
  ASSERT_EQ(found.count(L"large.bin"), 1u);
  EXPECT_EQ(found.at(L"large.bin").nFileSize, static_cast<std::uint64_t>(far) + 1);

  stream = _wfsopen(folder / L"large.bin", L"rb", _SH_DENYWR);
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(win::_fseeki64(stream, -1, SEEK_END), 0);
  EXPECT_EQ(win::_ftelli64(stream), far);
  EXPECT_EQ(std::fgetc(stream), 'x');
  std::fclose(stream);
}

TEST(FilesTest, SearchesMatchPatternsIgnoringCaseAndListTheDots) {
  TempFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder / L"One.TXT", "1"));
  ASSERT_TRUE(WriteFileBytes(folder / L"two.dat", "22"));
  ASSERT_TRUE(CreateDirectoryW(folder / L"Sub", nullptr));

  const auto all = FindAll(folder / L"*");
  EXPECT_EQ(all.size(), 5u);
  for (const wchar_t* name : {L".", L"..", L"One.TXT", L"two.dat", L"Sub"}) {
    EXPECT_EQ(all.count(name), 1u) << platform::WideToUtf8(name);
  }
  EXPECT_TRUE(all.at(L"Sub").dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(all.at(L"two.dat").dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(all.at(L"two.dat").nFileSize, 2u);

  const struct {
    const wchar_t* pattern;
    std::set<std::wstring> names;
  } rows[] = {
      {L"*.txt", {L"One.TXT"}},
      {L"T?O.*", {L"two.dat"}},
      {L"one.txt", {L"One.TXT"}},
  };
  for (const auto& row : rows) {
    std::set<std::wstring> names;
    for (const auto& entry : FindAll(folder / row.pattern)) names.insert(entry.first);
    EXPECT_EQ(names, row.names) << platform::WideToUtf8(row.pattern);
  }

  WIN32_FIND_DATAW data;
  EXPECT_EQ(FindFirstFileW(folder / L"*.none", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileW(folder / L"Missing\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(FilesTest, TheShellDeletesWholeTreesFromItsPathList) {
  TempFolder folder;
  ASSERT_EQ(SHCreateDirectory(nullptr, folder / L"a\\b\\c"), static_cast<int>(ERROR_SUCCESS));
  EXPECT_EQ(SHCreateDirectory(nullptr, folder / L"a\\b\\c"), static_cast<int>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(WriteFileBytes(folder / L"a\\b\\c\\deep.txt", "deep"));
  ASSERT_TRUE(WriteFileBytes(folder / L"a\\top.txt", "top"));
  ASSERT_TRUE(CreateDirectoryW(folder / L"other", nullptr));
  ASSERT_TRUE(WriteFileBytes(folder / L"single.txt", "1"));

  // Two paths, each ended by a NUL, the list by one more.
  SHFILEOPSTRUCTW operation;
  operation.wFunc = FO_DELETE;
  operation.pFrom = folder / L"a" + L'\0' + (folder / L"other") + L'\0' + L'\0';
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  EXPECT_EQ(SHFileOperationW(&operation), 0);
  EXPECT_FALSE(operation.fAnyOperationsAborted);
  EXPECT_EQ(GetFileAttributesW(folder / L"a"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(folder / L"other"), INVALID_FILE_ATTRIBUTES);

  // One path given without its list ending still names that path alone.
  operation.pFrom = folder / L"single.txt";
  EXPECT_EQ(SHFileOperationW(&operation), 0);
  EXPECT_EQ(GetFileAttributesW(folder / L"single.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FindAll(folder / L"*").size(), 2u);  // "." and ".."
}

TEST(FilesTest, ADeletionScheduledForTheRestartIsRecordedWithoutATarget) {
  TempFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder / L"busy.dll", "x"));
  const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key), 0);
  DWORD size = 0;
  const bool hadList = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == 0;
  std::string before(size, '\0');
  if (hadList) {
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(before.data()),
                     &size);
  }

  ASSERT_TRUE(MoveFileExW(folder / L"busy.dll", L"", MOVEFILE_DELAY_UNTIL_REBOOT));
  size = 0;
  ASSERT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size), 0);
  std::string after(size, '\0');
  ASSERT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(after.data()), &size),
            0);
  // The entry: the file's NT path, then an empty target.
  const std::wstring list = Upper(platform::Utf16LeToWide(after));
  const std::wstring entry = Upper(L"\\??\\" + (folder / L"busy.dll")) + L'\0' + L'\0';
  EXPECT_NE(list.find(entry), std::wstring::npos) << platform::WideToUtf8(list);
  EXPECT_NE(GetFileAttributesW(folder / L"busy.dll"), INVALID_FILE_ATTRIBUTES);  // still there until the restart

  if (hadList) {
    RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(before.data()),
                   static_cast<DWORD>(before.size()));
  } else {
    RegDeleteValueW(key, L"PendingFileRenameOperations");
  }
  RegCloseKey(key);
}

TEST(FilesTest, HandlesReadWhatWasWrittenAndReportWhyTheyCannotOpen) {
  TempFolder folder;
  HANDLE file =
      CreateFileW(folder / L"data.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "payload", 7, &written, nullptr));
  EXPECT_EQ(written, 7u);
  EXPECT_TRUE(CloseHandle(file));

  file = CreateFileW(folder / L"data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[16] = {};
  DWORD read = 99;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 7u);
  EXPECT_EQ(std::string(buffer, read), "payload");
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);  // the end of the file
  CloseHandle(file);

  EXPECT_EQ(CreateFileW(folder / L"data.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(
      CreateFileW(folder / L"no\\data.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
      INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(folder / L"data.bin", folder / L"data.bin", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST(FilesTest, AViewIsItsSectionInWholePagesAndOnlyViewsAnswer) {
  TempFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder / L"five.dat", std::string(5000, 'a')));
  ASSERT_TRUE(WriteFileBytes(folder / L"empty.dat", ""));
  std::wstring mapped;
  platform::SetAfterMapViewForTesting([&](const std::wstring& path) { mapped = path; });

  HANDLE empty = CreateFileW(folder / L"empty.dat", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
  CloseHandle(empty);

  HANDLE file = CreateFileW(folder / L"five.dat", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  platform::SetAfterMapViewForTesting(nullptr);
  EXPECT_EQ(Upper(mapped), Upper(folder / L"five.dat"));

  MEMORY_BASIC_INFORMATION region;
  ASSERT_EQ(VirtualQuery(view, &region, sizeof region), sizeof region);
  EXPECT_EQ(region.BaseAddress, view);
  EXPECT_EQ(region.RegionSize, 8192u);
  EXPECT_EQ(std::string(view, 5000), std::string(5000, 'a'));
  EXPECT_EQ(std::string(view + 5000, 8192 - 5000), std::string(8192 - 5000, '\0'));
  ASSERT_EQ(VirtualQuery(view + 4100, &region, sizeof region), sizeof region);
  EXPECT_EQ(region.BaseAddress, view);
  EXPECT_EQ(region.RegionSize, 8192u - 4100);

  const char outside = 0;
  EXPECT_EQ(VirtualQuery(&outside, &region, sizeof region), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualQuery(view, &region, sizeof region - 1), 0u);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_EQ(VirtualQuery(view, &region, sizeof region), 0u);
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Where shlwapi's own calls would answer otherwise: a "/" kept, ".." kept,
// no MAX_PATH limit.
TEST(FilesTest, PathNamesFollowTheInterfaceWhereShlwapiWouldNot) {
  const std::wstring longName(300, L'n');
  const struct {
    std::wstring folder, name, joined;
  } rows[] = {
      {L"C:\\dumps/", L"a.dmp", L"C:\\dumps/a.dmp"},       {L"C:\\dumps\\..", L"a.dmp", L"C:\\dumps\\..\\a.dmp"},
      {L"C:\\dumps", L"\\\\a.dmp", L"C:\\dumps\\a.dmp"},   {L"", L"a.dmp", L"a.dmp"},
      {L"C:\\dumps", longName, L"C:\\dumps\\" + longName},
  };
  for (const auto& row : rows) {
    std::wstring path = row.folder;
    EXPECT_TRUE(PathAppendW(&path, row.name));
    EXPECT_EQ(path, row.joined) << platform::WideToUtf8(row.folder);
  }
  EXPECT_EQ(PathFindFileNameW(L"C:\\Temp\\"), L"Temp\\");
  EXPECT_EQ(PathFindFileNameW(L"C:notes.txt"), L"notes.txt");
  EXPECT_EQ(PathFindFileNameW(std::wstring(L"C:\\a\0\\b.txt", 11)), L"b.txt");
}

}  // namespace
