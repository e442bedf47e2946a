// Windows' naming rules in the machine's file operations: device names that
// no file or folder can take, characters no name may hold, and the trailing
// dots and spaces that a path's last name loses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/sim/machine/paths.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

namespace fs = std::filesystem;
using namespace win;

class WindowsNames : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateDirectoryW(L"C:\\x", nullptr)); }

  HANDLE Create(const std::wstring& path) {
    return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // The names in C:\x on disk.
  std::vector<std::string> Written() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(machine_.Host(L"C:\\x"))) names.push_back(entry.path().filename());
    return names;
  }

  testing_support::ScopedMachine machine_;
};

TEST_F(WindowsNames, ADeviceNameIsNoFileOrFolderInAnyFolder) {
  for (const std::wstring name : {L"CON", L"nul.txt", L"Aux", L"com1", L"COM9", L"LPT9.dll", L"prn.tar.gz",
                                  L"nul .txt", L"NUL.", L"con ", L"COM\u00b9"}) {
    const std::wstring path = L"C:\\x\\" + name;
    const std::string shown = platform::WideToUtf8(name);
    EXPECT_EQ(Create(path), INVALID_HANDLE_VALUE) << shown;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << shown;
    EXPECT_EQ(_wfsopen(path, L"wb", _SH_DENYNO), nullptr) << shown;
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << shown;
    EXPECT_FALSE(CreateDirectoryW(path, nullptr)) << shown;
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY) << shown;
    EXPECT_EQ(SHCreateDirectory(nullptr, path + L"\\sub"), static_cast<int>(ERROR_DIRECTORY)) << shown;
  }
  // As a folder of the path: no such folder can exist.
  EXPECT_EQ(Create(L"C:\\x\\AUX\\x.txt"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CreateDirectoryW(L"C:\\x\\lpt1.d\\y", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(Written().empty());
}

TEST_F(WindowsNames, NamesThatOnlyResembleDevicesAreOrdinary) {
  for (const std::wstring name : {L"CONSOLE", L"com10.txt", L"nul_", L"x.con", L"LPT0", L"COM"}) {
    HANDLE file = Create(L"C:\\x\\" + name);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << platform::WideToUtf8(name);
    CloseHandle(file);
  }
  ASSERT_TRUE(CreateDirectoryW(L"C:\\x\\auxiliary", nullptr));
  EXPECT_EQ(Written().size(), 7u);
}

TEST_F(WindowsNames, ACharacterNoNameMayHoldFailsWithInvalidName) {
  for (const wchar_t c : {L'<', L'>', L':', L'"', L'|', L'?', L'*', L'\x01', L'\t', L'\n', L'\x1f'}) {
    const std::wstring name = std::wstring(L"a") + c + L"b";
    const std::string shown = "U+" + std::to_string(static_cast<unsigned>(c));
    EXPECT_EQ(Create(L"C:\\x\\" + name), INVALID_HANDLE_VALUE) << shown;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << shown;
    EXPECT_FALSE(CreateDirectoryW(L"C:\\x\\" + name, nullptr)) << shown;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << shown;
    EXPECT_EQ(SHCreateDirectory(nullptr, L"C:\\x\\" + name + L"\\sub"), static_cast<int>(ERROR_INVALID_NAME)) << shown;
    EXPECT_EQ(_wfsopen(L"C:\\x\\" + name + L"\\f.txt", L"wb", _SH_DENYNO), nullptr) << shown;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << shown;
  }
  EXPECT_TRUE(Written().empty());
}

TEST_F(WindowsNames, DrivePrefixesKeepWorking) {
  HANDLE file = Create(L"c:/x/one.txt");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_NE(GetFileAttributesW(L"C:\\X\\ONE.TXT"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(L"C:"), INVALID_FILE_ATTRIBUTES);
  // Z: is the host's root: the machine's own folder has a Z: path too.
  std::wstring z = L"Z:" + platform::Utf8ToWide(machine_.Host(L"C:\\x").string());
  for (wchar_t& c : z) {
    if (c == L'/') c = L'\\';
  }
  file = Create(z + L"\\two.txt");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_EQ(Written().size(), 2u);
}

TEST_F(WindowsNames, TheLastNameLosesItsTrailingDotsAndSpaces) {
  HANDLE file = Create(L"C:\\x\\a.txt.");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "one", 3, &written, nullptr));
  CloseHandle(file);
  EXPECT_EQ(Written(), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(L"C:\\x\\a.txt")), "one");

  // Every spelling with dots and spaces behind it names the same file.
  EXPECT_NE(GetFileAttributesW(L"C:\\x\\a.txt . "), INVALID_FILE_ATTRIBUTES);
  std::FILE* stream = _wfsopen(L"C:\\x\\A.TXT  ", L"rb", _SH_DENYNO);
  ASSERT_NE(stream, nullptr);
  char read[8] = {};
  EXPECT_EQ(std::fread(read, 1, sizeof read, stream), 3u);
  std::fclose(stream);
  EXPECT_FALSE(CopyFileW(L"C:\\x\\a.txt", L"C:\\x\\a.txt...", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_TRUE(DeleteFileW(L"C:\\x\\a.txt.."));
  EXPECT_TRUE(Written().empty());

  // A folder too; and a folder's name in the middle of a path loses one dot.
  ASSERT_TRUE(CreateDirectoryW(L"C:\\x\\d. ", nullptr));
  EXPECT_EQ(Written(), std::vector<std::string>{"d"});
  file = Create(L"C:\\x\\d.\\f.txt");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(fs::exists(machine_.Host(L"C:\\x\\d\\f.txt")));
  // A last name of only dots and spaces names its folder.
  EXPECT_EQ(platform::ToHostPath(L"C:\\x\\d\\..."), platform::ToHostPath(L"C:\\x\\d"));
  EXPECT_EQ(platform::ToHostPath(L"C:\\x\\d\\ . "), platform::ToHostPath(L"C:\\x\\d"));
  // Behind a final separator the spaces stay, as on Windows.
  EXPECT_EQ(platform::ToHostPath(L"C:\\x\\e \\")->filename().string() + "|", std::string("e |"));
}

}  // namespace
