// Clearing the staging folder: everything goes with the folder, and a file in
// use is renamed with an underscore and left for Windows to delete at restart.
#include <gtest/gtest.h>

#include <vector>

#include "engine/folder_cleanup.h"
#include "platform/debug_output.h"
#include "platform/sim/files/file_marks.h"
#include "platform/files.h"
#include "support/host_files.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/zip_writer.h"

namespace {

const wchar_t kFolder[] = L"C:\\Program Files\\Brimvale\\updatetemp";

class ClearFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* file : {"proverinfo.dat", "bvlsvc.exe", "webview.zip", "sub/inner/deep.bin", "sub/top.txt"}) {
      ASSERT_TRUE(testing_support::WriteHostFile(Host(kFolder) / file, file));
    }
    platform::ClearDebugLog();
  }

  std::filesystem::path Host(const std::wstring& path) { return machine_.Host(path); }
  bool Exists(const std::wstring& path) { return win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES; }
  std::wstring In(const std::wstring& name) { return std::wstring(kFolder) + L"\\" + name; }

  // The entries of PendingFileRenameOperations, as written.
  std::wstring PendingRenames() { return testing_support::PendingFileRenameText().value_or(L"<no key>"); }

  testing_support::ScopedMachine machine_{"win10-x64"};
};

TEST_F(ClearFolderTest, RemovesEverythingAndTheFolder) {
  EXPECT_EQ(ClearFolder(std::wstring(kFolder) + L"\\*.*"), win::TRUE);
  EXPECT_FALSE(Exists(kFolder));
  EXPECT_TRUE(Exists(L"C:\\Program Files\\Brimvale"));
  EXPECT_TRUE(platform::ReadDebugLog().empty());
  EXPECT_EQ(PendingRenames(), L"");
}

TEST_F(ClearFolderTest, SchedulesAFileInUseForRestart) {
  ASSERT_TRUE(platform::LockFile(In(L"bvlsvc.exe")));
  EXPECT_EQ(ClearFolder(std::wstring(kFolder) + L"\\*.*"), win::TRUE);

  EXPECT_FALSE(Exists(In(L"bvlsvc.exe")));
  EXPECT_TRUE(Exists(In(L"_bvlsvc.exe")));
  for (const wchar_t* gone : {L"proverinfo.dat", L"webview.zip", L"sub"}) EXPECT_FALSE(Exists(In(gone))) << gone;
  EXPECT_EQ(PendingRenames(), L"\\??\\" + In(L"_bvlsvc.exe") + std::wstring(1, L'\0') + std::wstring(2, L'\0'));
  EXPECT_EQ(platform::ReadDebugLog(),
            (std::vector<std::wstring>{L"[Brimvale] BVLInstall : Delete Agent File Fail - " + In(L"bvlsvc.exe"),
                                       L"[Brimvale] BVLInstall : Delete Agent File Fail - " + std::wstring(kFolder)}));

  // The restart deletes it.
  EXPECT_EQ(platform::RebootMachine(), 1);
  EXPECT_FALSE(Exists(In(L"_bvlsvc.exe")));
}

TEST_F(ClearFolderTest, SchedulesAFolderWithAFileInUse) {
  ASSERT_TRUE(platform::LockFile(In(L"sub\\inner\\deep.bin")));
  EXPECT_EQ(ClearFolder(std::wstring(kFolder) + L"\\*.*"), win::TRUE);

  EXPECT_FALSE(Exists(In(L"sub")));
  EXPECT_FALSE(Exists(In(L"bvlsvc.exe")));
  EXPECT_EQ(PendingRenames(), L"\\??\\" + In(L"_sub") + std::wstring(1, L'\0') + std::wstring(2, L'\0'));
  const std::vector<std::wstring> log = platform::ReadDebugLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], L"[Brimvale] BVLInstall : Delete Agent File Fail - " + In(L"sub"));
}

TEST(ClearFolder, LogsAFolderThatIsNotThere) {
  testing_support::ScopedMachine machine("win10-x64");
  platform::ClearDebugLog();
  EXPECT_EQ(ClearFolder(L"C:\\missing\\*.*"), win::TRUE);
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] BVLInstall : Delete Agent File Fail - C:\\missing"});
}

}  // namespace
