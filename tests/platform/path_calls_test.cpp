// The shell's path calls (the file name of a path, appending a name), the
// kind of a drive, and 64-bit positions in a CRT stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/environment.h"
#include "platform/files.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

TEST(PathCallsTest, TheFileNameIsWhatFollowsTheLastSeparator) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } rows[] = {
      {L"C:\\Windows\\System32\\drivers\\kvppob.sys", L"kvppob.sys"},
      {L"C:\\Program Files\\Brimvale\\explorer.exe", L"explorer.exe"},
      {L"explorer.exe", L"explorer.exe"},
      {L"C:notes.txt", L"notes.txt"},
      {L"C:/Temp/setup.log", L"setup.log"},
      {L"C:\\Temp\\", L"Temp\\"},  // a trailing separator stays with the last name
      {L"C:\\", L"C:\\"},
      {L"", L""},
  };
  for (const auto& row : rows) EXPECT_EQ(PathFindFileNameW(row.path), row.name) << row.path;
}

TEST(PathCallsTest, AppendingPutsOneBackslashBetweenFolderAndName) {
  const struct {
    const wchar_t* folder;
    const wchar_t* name;
    const wchar_t* joined;
  } rows[] = {
      {L"C:\\dumps", L"a.dmp", L"C:\\dumps\\a.dmp"},
      {L"C:\\dumps\\", L"a.dmp", L"C:\\dumps\\a.dmp"},
      {L"C:\\dumps/", L"a.dmp", L"C:\\dumps/a.dmp"},
      {L"C:\\dumps", L"\\\\a.dmp", L"C:\\dumps\\a.dmp"},
      {L"", L"a.dmp", L"a.dmp"},
      {L"C:\\dumps", L"", L"C:\\dumps\\"},
  };
  for (const auto& row : rows) {
    std::wstring path = row.folder;
    EXPECT_TRUE(PathAppendW(&path, row.name));
    EXPECT_EQ(path, row.joined) << row.folder << " + " << row.name;
  }
  EXPECT_FALSE(PathAppendW(nullptr, L"a.dmp"));
}

TEST(PathCallsTest, OnlyTheMachinesDrivesHaveARootDirectory) {
  testing_support::ScopedMachine machine;
  EXPECT_EQ(GetDriveTypeW(L"C:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeW(L"c:"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeW(L"Z:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeW(L"D:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeW(L"Q:"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeW(L"C:\\Windows"), DRIVE_NO_ROOT_DIR);  // a folder, not a root
  EXPECT_EQ(GetDriveTypeW(L""), DRIVE_NO_ROOT_DIR);
}

TEST(PathCallsTest, StreamPositionsReachPastFourGigabytes) {
  testing_support::ScopedMachine machine;
  // A sparse file: the one byte written lies beyond what 32 bits can address.
  const std::int64_t far = (std::int64_t{1} << 32) + 5;
  std::FILE* stream = _wfopen(L"C:\\large.bin", L"wb");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(_fseeki64(stream, far, SEEK_SET), 0);
  ASSERT_EQ(std::fputc('x', stream), 'x');
  EXPECT_EQ(_ftelli64(stream), far + 1);
  std::fclose(stream);

  stream = _wfopen(L"C:\\large.bin", L"rb");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(_fseeki64(stream, 0, SEEK_END), 0);
  EXPECT_EQ(_ftelli64(stream), far + 1);
  ASSERT_EQ(_fseeki64(stream, far, SEEK_SET), 0);
  EXPECT_EQ(std::fgetc(stream), 'x');
  EXPECT_EQ(_fseeki64(stream, -1, SEEK_SET), -1);
  std::fclose(stream);
}

}  // namespace
