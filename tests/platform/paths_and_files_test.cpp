// Drive mapping, case-insensitive lookup, code pages, debug output, locked
// files and moves scheduled for the next restart.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/environment.h"
#include "platform/sim/files/file_marks.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/registry/registry_store.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

TEST(PathsTest, DrivesMapAndLookupsIgnoreCase) {
  testing_support::ScopedMachine machine;
  auto host = platform::ToHostPath(L"c:\\program files\\x.txt");
  ASSERT_TRUE(host);
  EXPECT_EQ(*host, machine.Root() / "drive_c" / "Program Files" / "x.txt");
  EXPECT_EQ(platform::ToHostPath(L"Z:\\tmp/a")->string(), "/tmp/a");
  EXPECT_EQ(platform::ToWindowsPath(machine.Root() / "drive_c" / "Windows"), L"C:\\Windows");
  EXPECT_EQ(platform::ToWindowsPath("/usr/bin"), L"Z:\\usr\\bin");
  // ".." never climbs above the drive's root.
  EXPECT_EQ(*platform::ToHostPath(L"C:\\..\\..\\Windows"), machine.Root() / "drive_c" / "Windows");
  for (const wchar_t* bad : {L"", L"relative\\path", L"D:\\x", L"\\\\server\\share\\x", L"C:"}) {
    if (std::wstring(bad) == L"C:") continue;
    EXPECT_FALSE(platform::ToHostPath(bad)) << platform::WideToUtf8(bad);
  }
}

TEST(CodePageTest, AnsiCodePageIsTheProfilesAndConvertsForReal) {
  testing_support::ScopedMachine machine;
  EXPECT_EQ(GetACP(), 949u);
  const std::wstring korean = L"\ube0c\ub9bc\ubca0\uc77c";  // the product's Korean name
  int needed = WideCharToMultiByte(CP_ACP, 0, korean.c_str(), static_cast<int>(korean.size()), nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(needed, 8);  // two bytes a syllable in CP949
  std::string bytes(needed, '\0');
  ASSERT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, korean.c_str(), static_cast<int>(korean.size()), bytes.data(), needed,
                                nullptr, nullptr),
            needed);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xBAu);
  std::wstring back(4, L'\0');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), needed, back.data(), 4), 4);
  EXPECT_EQ(back, korean);
  // An invalid UTF-8 byte becomes U+FFFD instead of failing the conversion.
  const char invalid[] = "a\xff" "b";
  wchar_t out[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, invalid, 3, out, 8), 3);
  EXPECT_EQ(out[1], L'\xfffd');
  EXPECT_EQ(platform::Utf8ToWide(platform::WideToUtf8(L"\U0001F600x")), L"\U0001F600x");
}

TEST(LocaleTest, LanguageNameComesFromTheProfile) {
  platform::Profile english = *platform::FindProfile("win10-x64");
  english.locale = "en";
  testing_support::ScopedMachine machine(english);
  wchar_t buffer[10];
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 10), 3);
  EXPECT_EQ(std::wstring(buffer), L"en");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, buffer, 2), 0);
}

TEST(DebugOutputTest, EachCallIsOneRecordWithItsLineBreaks) {
  testing_support::ScopedMachine machine;
  OutputDebugStringW(L"[Brimvale] RESBOX : Load Image Resource Fail [ID: 7]\r\n");
  OutputDebugStringA("plain \\ text");
  auto lines = platform::ReadDebugLog();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"[Brimvale] RESBOX : Load Image Resource Fail [ID: 7]\r\n");
  EXPECT_EQ(lines[1], L"plain \\ text");
}

TEST(FilesTest, LockedFileRefusesDeletionButCanBeRenamedAndScheduled) {
  testing_support::ScopedMachine machine;
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Stage", nullptr));
  EXPECT_FALSE(CreateDirectoryW(L"C:\\Stage", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryW(L"C:\\No\\Parent", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  std::ofstream(machine.Host(L"C:\\Stage\\busy.dll")) << "x";
  ASSERT_TRUE(platform::LockFile(L"C:\\Stage\\busy.dll"));
  EXPECT_FALSE(DeleteFileW(L"C:\\stage\\BUSY.dll"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(_wfsopen(L"C:\\Stage\\busy.dll", L"wb", _SH_DENYNO), nullptr);
  ASSERT_TRUE(MoveFileExW(L"C:\\Stage\\busy.dll", L"C:\\Stage\\_busy.dll", 0));
  EXPECT_FALSE(DeleteFileW(L"C:\\Stage\\_busy.dll"));  // the lock went with the file
  ASSERT_TRUE(MoveFileExW(L"C:\\Stage\\_busy.dll", L"", MOVEFILE_DELAY_UNTIL_REBOOT));
  SHFILEOPSTRUCTW op;
  op.wFunc = FO_DELETE;
  op.pFrom = std::wstring(L"C:\\Stage") + L'\0' + L'\0';
  EXPECT_NE(SHFileOperationW(&op), 0);
  EXPECT_EQ(platform::RebootMachine(), 1);
  EXPECT_FALSE(std::filesystem::exists(machine.Host(L"C:\\Stage\\_busy.dll")));
  EXPECT_EQ(SHFileOperationW(&op), 0);
  EXPECT_EQ(GetFileAttributesW(L"C:\\Stage"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FilesTest, FindFirstFileListsDotsAndMatchesPatternsIgnoringCase) {
  testing_support::ScopedMachine machine;
  ASSERT_TRUE(CreateDirectoryW(L"C:\\F", nullptr));
  std::ofstream(machine.Host(L"C:\\F\\One.TXT")) << "1";
  std::ofstream(machine.Host(L"C:\\F\\two.dat")) << "22";
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(L"C:\\F\\*.*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::set<std::wstring> names{data.cFileName};
  while (FindNextFileW(find, &data)) names.insert(data.cFileName);
  FindClose(find);
  EXPECT_EQ(names, (std::set<std::wstring>{L".", L"..", L"One.TXT", L"two.dat"}));
  find = FindFirstFileW(L"C:\\F\\*.txt", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.cFileName, L"One.TXT");
  EXPECT_FALSE(FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(FindFirstFileW(L"C:\\Missing\\*.*", &data), INVALID_HANDLE_VALUE);
}

TEST(FilesTest, EmptyFileCannotBeMapped) {
  testing_support::ScopedMachine machine;
  std::ofstream(machine.Host(L"C:\\empty.dat"));
  HANDLE file = CreateFileW(L"C:\\empty.dat", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
  CloseHandle(file);
}

TEST(FilesTest, AWriteToAFullDiskFailsWithDiskFull) {
  testing_support::ScopedMachine machine;
  // The host's full device stands for a file on a disk without free space.
  std::filesystem::create_symlink("/dev/full", machine.Host(L"C:\\full.dat"));
  HANDLE file = CreateFileW(L"C:\\full.dat", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(file, "data", 4, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(written, 0u);
  CloseHandle(file);
}

TEST(FilesTest, AViewIsItsSectionInWholePagesWithZerosBehindTheFile) {
  testing_support::ScopedMachine machine;
  std::ofstream(machine.Host(L"C:\\five.dat"), std::ios::binary) << std::string(5000, 'a');
  HANDLE file = CreateFileW(L"C:\\five.dat", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  // The file grows after its section was made: the view does not.
  std::ofstream(machine.Host(L"C:\\five.dat"), std::ios::binary | std::ios::app) << std::string(9000, 'b');
  const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);

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
  EXPECT_EQ(VirtualQuery(view + 8192, &region, sizeof region), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_EQ(VirtualQuery(view, &region, sizeof region), 0u);
  CloseHandle(mapping);
  CloseHandle(file);
}

TEST(EnvironmentTest, ProgramFilesFoldersFollowTheProcessBitness) {
  {
    testing_support::ScopedMachine machine("win10-x64");
    wchar_t buffer[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramW6432", buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(buffer), L"C:\\Program Files");
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(buffer), L"C:\\Program Files (x86)");
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE));
    EXPECT_EQ(std::wstring(buffer), L"C:\\Program Files (x86)");
  }
  {
    testing_support::ScopedMachine machine("win7-x86");
    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(GetEnvironmentVariableW(L"ProgramW6432", buffer, MAX_PATH), 0u);
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE));
    EXPECT_EQ(std::wstring(buffer), L"C:\\Program Files");
  }
}

}  // namespace
