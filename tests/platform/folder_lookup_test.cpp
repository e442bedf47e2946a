// Lookups ignoring case in large folders: creating many files reads the
// folder a bounded number of times, and names this process or another one
// adds, renames or removes are still found in any letter case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/sim/files/folder_index.h"
#include "platform/sim/machine/paths.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;
namespace fs = std::filesystem;

constexpr int kFiles = 2000;

class LargeFolder : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateDirectoryW(L"C:\\Many", nullptr)); }

  static std::wstring Name(int i) { return L"C:\\Many\\File" + std::to_wstring(i) + L".txt"; }

  static bool Create(const std::wstring& path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    return CloseHandle(file) != FALSE;
  }

  // The on-disk name a Windows path resolves to.
  static std::string Resolved(const std::wstring& path) { return platform::ToHostPath(path)->filename().string(); }

  void Fill(int count) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(Create(Name(i))) << i;
  }

  testing_support::ScopedMachine machine_;
};

TEST_F(LargeFolder, ManyNewNamesDoNotReadTheFolderEachTime) {
  const std::uint64_t before = platform::FolderReadCount();
  Fill(kFiles);
  // Every new name is looked up before it is created; the folder is read
  // while it is small and then kept.
  EXPECT_LT(platform::FolderReadCount() - before, 100u);
  EXPECT_EQ(std::distance(fs::directory_iterator(machine_.Host(L"C:\\Many")), fs::directory_iterator()), kFiles);
}

TEST_F(LargeFolder, NamesAreFoundInAnyCase) {
  Fill(kFiles);
  EXPECT_EQ(Resolved(L"C:\\MANY\\FILE1999.TXT"), "File1999.txt");
  EXPECT_EQ(Resolved(L"c:\\many\\file0.txt"), "File0.txt");
  EXPECT_EQ(Resolved(L"C:\\Many\\NEW.TXT"), "NEW.TXT");  // missing: as written
  // Writing under another case replaces the file instead of adding one.
  std::FILE* file = _wfsopen(L"C:\\Many\\FILE7.TXT", L"wb", _SH_DENYNO);
  ASSERT_NE(file, nullptr);
  std::fputs("seven", file);
  std::fclose(file);
  EXPECT_EQ(std::distance(fs::directory_iterator(machine_.Host(L"C:\\Many")), fs::directory_iterator()), kFiles);
  EXPECT_EQ(fs::file_size(machine_.Root() / "drive_c" / "Many" / "File7.txt"), 5u);
}

TEST_F(LargeFolder, SeesWhatAnotherProcessChanges) {
  Fill(kFiles);
  ASSERT_EQ(Resolved(L"C:\\Many\\OUTSIDE.TXT"), "OUTSIDE.TXT");
  const fs::path folder = machine_.Root() / "drive_c" / "Many";
  std::ofstream(folder / "Outside.Txt") << "x";
  EXPECT_EQ(Resolved(L"C:\\Many\\OUTSIDE.TXT"), "Outside.Txt");
  fs::rename(folder / "File8.txt", folder / "Renamed.Bin");
  EXPECT_EQ(Resolved(L"C:\\Many\\renamed.bin"), "Renamed.Bin");
  EXPECT_EQ(Resolved(L"C:\\Many\\FILE8.TXT"), "FILE8.TXT");
  fs::remove(folder / "File9.txt");
  EXPECT_EQ(Resolved(L"C:\\Many\\FILE9.TXT"), "FILE9.TXT");
}

TEST_F(LargeFolder, SeesWhatThisProcessRemovesAndMoves) {
  Fill(kFiles);
  ASSERT_TRUE(DeleteFileW(L"C:\\Many\\FILE3.TXT"));
  EXPECT_EQ(Resolved(L"C:\\Many\\file3.txt"), "file3.txt");
  ASSERT_TRUE(MoveFileExW(L"C:\\Many\\File4.txt", L"C:\\Many\\Moved.Dat", 0));
  EXPECT_EQ(Resolved(L"C:\\Many\\MOVED.DAT"), "Moved.Dat");
  EXPECT_EQ(Resolved(L"C:\\Many\\FILE4.TXT"), "FILE4.TXT");
  ASSERT_TRUE(CopyFileW(L"C:\\Many\\File5.txt", L"C:\\Many\\Copy.Dat", TRUE));
  EXPECT_EQ(Resolved(L"C:\\Many\\COPY.DAT"), "Copy.Dat");
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Many\\Sub", nullptr));
  EXPECT_EQ(Resolved(L"C:\\MANY\\SUB"), "Sub");
  ASSERT_EQ(SHCreateDirectory(nullptr, L"C:\\Many\\Deep\\Er"), 0);
  EXPECT_EQ(platform::ToHostPath(L"C:\\many\\DEEP\\er")->string(),
            (machine_.Root() / "drive_c" / "Many" / "Deep" / "Er").string());
  ASSERT_TRUE(RemoveDirectoryW(L"C:\\Many\\Sub"));
  EXPECT_EQ(Resolved(L"C:\\Many\\SUB"), "SUB");
}

}  // namespace
