// The version manifests: proverinfo.dat as the update host serves it (product
// version, component lines, damaged and missing files), the text helpers that
// read it from the machine's files, and zipproverinfo.dat as the engine writes
// it. How its text is split is in manifest_text_test.cpp.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "engine/install_engine.h"
#include "engine/text_file.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "settings/installer_context.h"
#include "system/registry_helpers.h"
#include "support/host_files.h"
#include "support/recording_progress.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"
#include "support/zip_writer.h"
#include "system/kv_system.h"

namespace {

using testing_support::ReadHostFile;
using testing_support::WriteHostFile;

// A literal's bytes, embedded NULs included.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// The debug lines the installer itself wrote, in order.
std::vector<std::wstring> BrimvaleLines() {
  std::vector<std::wstring> lines;
  for (const std::wstring& line : platform::ReadDebugLog()) {
    if (line.rfind(L"[Brimvale]", 0) == 0) lines.push_back(line);
  }
  return lines;
}

class ManifestTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << server_.StartError();
    context_.m_updateAddress = server_.Url("/update");
    engine_ = std::make_unique<InstallEngine>(context_, progress_);
    engine_->BuildCatalogue();
    ASSERT_EQ(win::SHCreateDirectory(nullptr, engine_->m_stagingDir), 0);
    platform::ClearDebugLog();
  }

  // Serves `bytes` as the manifest with the given status.
  void Serve(const std::string& bytes, int status = 200) {
    const std::filesystem::path file = machine_.Root() / "served" / "proverinfo.dat";
    ASSERT_TRUE(WriteHostFile(file, bytes));
    server_.SetRoutes(nlohmann::json::array(
        {{{"path", "/update/x64/proverinfo.dat"}, {"status", status}, {"body_file", file.string()}}}));
  }

  std::wstring RegistryVersion() {
    std::wstring text = L"<none>";
    RegReadString(kProductKey, kVersionValue, &text);
    return text;
  }

  testing_support::ScopedMachine machine_{"win10-x64"};
  testing_support::TestHttpServer server_;
  InstallerContext context_;
  testing_support::RecordingProgress progress_;
  std::unique_ptr<InstallEngine> engine_;
};

struct Listed {
  std::wstring hash;
  std::wstring version;
};

struct ManifestRow {
  const char* what;
  std::string text;
  std::wstring productVersion;
  std::map<std::wstring, Listed> listed;  // every other component stays unlisted
};

class ManifestParsing : public ManifestTest, public testing::WithParamInterface<ManifestRow> {};

TEST_P(ManifestParsing, TakesVersionAndListedComponents) {
  const ManifestRow& row = GetParam();
  Serve(row.text);
  ASSERT_EQ(engine_->FetchVersionManifest(), win::TRUE);

  EXPECT_EQ(RegistryVersion(), row.productVersion);
  for (const auto& [name, component] : engine_->m_components) {
    auto expected = row.listed.find(name);
    if (expected == row.listed.end()) {
      EXPECT_TRUE(component.version.empty() && component.hash.empty() && component.targetPath.empty()) << name;
      continue;
    }
    EXPECT_EQ(component.hash, expected->second.hash) << name;
    EXPECT_EQ(component.version, expected->second.version) << name;
    EXPECT_EQ(component.targetPath, engine_->ComponentTarget(name, component)) << name;
  }
  EXPECT_TRUE(BrimvaleLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ManifestParsing,
    testing::Values(
        ManifestRow{"plain", "2.4.1.0\nbvlsvc.exe aaa 2.4.1\n", L"2.4.1.0", {{L"bvlsvc.exe", {L"aaa", L"2.4.1"}}}},
        ManifestRow{"crlf",
                    "2.4.1.0\r\nbvlsvc.exe aaa 2.4.1\r\ncef.zip bbb 1.2\r\nkvppob.sys ccc 3.0\r\n",
                    L"2.4.1.0",
                    {{L"bvlsvc.exe", {L"aaa", L"2.4.1"}}, {L"cef.zip", {L"bbb", L"1.2"}}, {L"kvppob.sys", {L"ccc", L"3.0"}}}},
        ManifestRow{"runs of spaces, outer white space trimmed",
                    "v\n   bvlsvc.exe    aaa     2.4.1   \n\tbvlchk.exe ccc 1\t\nbvlcv.dll\tddd 1\n",
                    L"v",
                    {{L"bvlsvc.exe", {L"aaa", L"2.4.1"}}, {L"bvlchk.exe", {L"ccc", L"1"}}}},
        ManifestRow{"two or four fields skipped",
                    "v\nbvlsvc.exe aaa\nbvlchk.exe aaa 1 extra\nbvlcv.dll h 3\n",
                    L"v",
                    {{L"bvlcv.dll", {L"h", L"3"}}}},
        ManifestRow{"names match case-sensitively",
                    "v\nBVLSVC.EXE aaa 1\nbrimvaleagent.exe b 1\nBrimvaleAgent.exe c 2\n",
                    L"v",
                    {{L"BrimvaleAgent.exe", {L"c", L"2"}}}},
        ManifestRow{"text ends at a NUL",
                    Bytes("v\nbvlsvc.exe aaa 1\n\0bvlchk.exe bbb 2\n"),
                    L"v",
                    {{L"bvlsvc.exe", {L"aaa", L"1"}}}},
        ManifestRow{"first line kept whole but its CR",
                    "  2.4.1.0 \t \r\nbvlsvc.exe aaa 1\n", L"  2.4.1.0 \t ", {{L"bvlsvc.exe", {L"aaa", L"1"}}}},
        ManifestRow{"empty lines skipped, no final newline",
                    "\n\n2.5\n\n\nbvlsvc.exe a 1", L"2.5", {{L"bvlsvc.exe", {L"a", L"1"}}}},
        ManifestRow{"ANSI code page", "\xb9\xf6\xc0\xfc 2.4\nbvlsvc.exe a 1\n", L"\uBC84\uC804 2.4",
                    {{L"bvlsvc.exe", {L"a", L"1"}}}},
        ManifestRow{"a later line wins", "v\nbvlsvc.exe a 1\nbvlsvc.exe b 2\n", L"v", {{L"bvlsvc.exe", {L"b", L"2"}}}},
        ManifestRow{"unknown names ignored", "v\nother.exe a 1\nwebview.zip b 2\nbvlcv.dll c 3\n", L"v",
                    {{L"bvlcv.dll", {L"c", L"3"}}}},
        ManifestRow{"lines and fields as long as allowed", std::string(1024, 'v') + "\nbvlsvc.exe " + std::string(260, 'h') + " 1\n",
                    std::wstring(1024, L'v'), {{L"bvlsvc.exe", {std::wstring(260, L'h'), L"1"}}}},
        // Saved by an editor as UTF-8 with a byte-order mark: the mark is no
        // part of the version, and the text after it is UTF-8.
        ManifestRow{"UTF-8 byte-order mark",
                    "\xEF\xBB\xBF" "3.2.1.0\r\nbvlsvc.exe aaa 3.2.1\r\ncef.zip bbb 1.2\r\n",
                    L"3.2.1.0",
                    {{L"bvlsvc.exe", {L"aaa", L"3.2.1"}}, {L"cef.zip", {L"bbb", L"1.2"}}}},
        ManifestRow{"UTF-8 after a byte-order mark", "\xEF\xBB\xBF" "\xeb\xb2\x84\xec\xa0\x84 3.2\nbvlsvc.exe a 1\n",
                    L"\uBC84\uC804 3.2", {{L"bvlsvc.exe", {L"a", L"1"}}}}),
    [](const testing::TestParamInfo<ManifestRow>& info) { return "Row" + std::to_string(info.index); });

struct FailureRow {
  const char* what;
  std::string text;
  int status;
  std::vector<std::wstring> lines;
};

class ManifestFailure : public ManifestTest, public testing::WithParamInterface<FailureRow> {};

TEST_P(ManifestFailure, FailsWithItsDebugLines) {
  const FailureRow& row = GetParam();
  Serve(row.text, row.status);
  EXPECT_EQ(engine_->FetchVersionManifest(), win::FALSE);
  EXPECT_EQ(BrimvaleLines(), row.lines);
  EXPECT_EQ(RegistryVersion(), L"<none>");
  for (const auto& [name, component] : engine_->m_components) EXPECT_TRUE(component.version.empty()) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ManifestFailure,
    testing::Values(FailureRow{"empty file", "", 200,
                               {L"[Brimvale] bvludt : Get version file data fail (CreateFileMapping)",
                                L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"only line ends", "\n\n\n", 200, {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"NUL first", Bytes("\0v\nbvlsvc.exe a 1\n"), 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"not found", "v\nbvlsvc.exe a 1\n", 404,
                               {L"[Brimvale] bvlInstaller : Get version file download fail"}},
                    FailureRow{"server error", "v\n", 500, {L"[Brimvale] bvlInstaller : Get version file download fail"}},
                    FailureRow{"no catalogue component listed", "v\nother.exe a 1\nwebview.zip b 2\nBVLSVC.EXE c 3\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"only the version line", "2.4.1.0\r\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"fields missing", "v\nbvlsvc.exe\nbvlchk.exe 0123456789abcdef0123456789abcdef\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"binary", Bytes("\x7f\x45\x4c\x46\x02\x01\x01\n\x03\x00\x3e\x00 \x01 \xff\n\x10\x20\x30\n"), 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"a first line longer than any real one", std::string(1025, 'v') + "\nbvlsvc.exe a 1\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    // Within the download's bound of 1 MiB; a longer manifest
                    // fails its download instead.
                    FailureRow{"a component line longer than any real one",
                               "v\nbvlsvc.exe a 1\nbvlchk.exe b " + std::string(900000, '1') + "\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}},
                    FailureRow{"a manifest past the download's bound",
                               "v\nbvlsvc.exe a 1\nbvlchk.exe b " + std::string(2000000, '1') + "\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file download fail"}},
                    FailureRow{"a field longer than any real one", "v\nbvlsvc.exe " + std::string(261, 'h') + " 1\n", 200,
                               {L"[Brimvale] bvlInstaller : Get version file data fail"}}),
    [](const testing::TestParamInfo<FailureRow>& info) { return "Row" + std::to_string(info.index); });

// proverinfo.dat is a few hundred bytes: one past 1 MiB, or one that never
// ends, stops its download there and fails the step; nothing stays on disk.
TEST_F(ManifestTest, AManifestPastOneMebibyteFailsItsDownload) {
  const std::string route = "/update/x64/proverinfo.dat";
  const std::filesystem::path big = machine_.Root() / "served" / "big.dat";
  const std::string line = "bvlsvc.exe 0123456789abcdef0123456789abcdef 2.4.1\n";
  std::string text = "2.4.1.0\n";
  while (text.size() + line.size() <= (1u << 20)) text += line;
  text += std::string((1u << 20) + 1 - text.size(), '\n');
  ASSERT_EQ(text.size(), (1u << 20) + 1);
  ASSERT_TRUE(WriteHostFile(big, text));
  const std::vector<nlohmann::json> rows = {
      {{"path", route}, {"body_file", big.string()}},
      {{"path", route}, {"body_file", big.string()}, {"chunked", true}},
      {{"path", route}, {"body_size", 1e15}},
      {{"path", route}, {"body_size", 1e15}, {"chunked", true}},
  };
  for (const nlohmann::json& row : rows) {
    server_.SetRoutes(nlohmann::json::array({row}));
    platform::ClearDebugLog();
    EXPECT_EQ(engine_->FetchVersionManifest(), win::FALSE) << row.dump();
    EXPECT_EQ(BrimvaleLines(), std::vector<std::wstring>{L"[Brimvale] bvlInstaller : Get version file download fail"});
    EXPECT_EQ(ReadHostFile(machine_.Host(engine_->m_stagingDir + L"\\proverinfo.dat")), "") << row.dump();
    EXPECT_EQ(RegistryVersion(), L"<none>");
  }

  // One byte less is a manifest like any other.
  text.pop_back();
  ASSERT_TRUE(WriteHostFile(big, text));
  server_.SetRoutes(nlohmann::json::array({{{"path", route}, {"body_file", big.string()}}}));
  EXPECT_EQ(engine_->FetchVersionManifest(), win::TRUE);
  EXPECT_EQ(RegistryVersion(), L"2.4.1.0");
}

TEST(ManifestOverIpv6, AnUpdateAddressWithAnIpv6LiteralServesTheManifest) {
  testing_support::ScopedMachine machine("win10-x64");
  const std::filesystem::path file = machine.Root() / "served" / "proverinfo.dat";
  ASSERT_TRUE(WriteHostFile(file, "3.0.0.1\nbvlsvc.exe abc 3.0\n"));
  testing_support::TestHttpServer server(
      nlohmann::json::array({{{"path", "/update/x64/proverinfo.dat"}, {"body_file", file.string()}}}), nullptr, "::1");
  ASSERT_TRUE(server.Running()) << server.StartError();
  InstallerContext context;
  context.m_updateAddress = server.Url("/update");
  testing_support::RecordingProgress progress;
  InstallEngine engine(context, progress);
  engine.BuildCatalogue();
  ASSERT_EQ(win::SHCreateDirectory(nullptr, engine.m_stagingDir), 0);
  EXPECT_EQ(engine.FetchVersionManifest(), win::TRUE);
  EXPECT_EQ(engine.m_components[L"bvlsvc.exe"].version, L"3.0");
}

TEST_F(ManifestTest, FailsWithoutAStagingFolder) {
  Serve("v\nbvlsvc.exe a 1\n");
  ASSERT_TRUE(win::RemoveDirectoryW(engine_->m_stagingDir));
  EXPECT_EQ(engine_->FetchVersionManifest(), win::FALSE);
  EXPECT_EQ(BrimvaleLines(), std::vector<std::wstring>{L"[Brimvale] bvlInstaller : Get version file download fail"});
}

TEST(ReadTextFile, ReportsAMissingFile) {
  testing_support::ScopedMachine machine("win10-x64");
  platform::ClearDebugLog();
  EXPECT_EQ(ReadTextFile(L"C:\\nowhere\\proverinfo.dat"), L"");
  EXPECT_EQ(BrimvaleLines(), std::vector<std::wstring>{L"[Brimvale] bvludt : Get version file data fail (CreateFile)"});
}

TEST(ReadTextFile, ReadsTheMappedViewWhenTheFileGrowsMeanwhile) {
  testing_support::ScopedMachine machine("win10-x64");
  const std::wstring path = L"C:\\grows.dat";
  const std::string line = "2.4.1.0\nbvlsvc.exe 0123 2.4.1\n";
  // A short file, and files that fill whole pages (no zeros follow them in
  // their view's last page).
  const std::string filesPage = std::string(4096 - line.size(), 'v') + line;
  const std::string filesTwoPages = filesPage + filesPage;
  struct Row {
    const std::string* first;
    std::size_t grown;
  };
  for (const Row& row : {Row{&line, 10}, Row{&line, 5000}, Row{&filesPage, 10}, Row{&filesPage, 1 << 20},
                         Row{&filesTwoPages, 8192}}) {
    const std::string& first = *row.first;
    const std::size_t grown = row.grown;
    ASSERT_TRUE(WriteHostFile(machine.Host(path), first));
    // Another program appends to the file once the installer has mapped it.
    platform::SetAfterMapViewForTesting([&](const std::wstring& mapped) {
      std::ofstream(machine.Host(mapped), std::ios::binary | std::ios::app) << std::string(grown, 'x');
    });
    const std::wstring text = ReadTextFile(path);
    platform::SetAfterMapViewForTesting(nullptr);
    // Compared whole; only the sizes are printed, the texts are pages long.
    EXPECT_TRUE(text == platform::Utf8ToWide(first))
        << "read " << text.size() << " characters of a " << first.size() << "-byte view, file grown by " << grown;
    EXPECT_EQ(ReadHostFile(machine.Host(path)).size(), first.size() + grown);
  }
}

class ArchiveManifest : public testing::Test {
 protected:
  void SetUp() override {
    engine_.BuildCatalogue();
    platform::ClearDebugLog();
  }
  std::string Written() { return ReadHostFile(machine_.Host(engine_.m_installDir + L"\\zipproverinfo.dat")); }

  testing_support::ScopedMachine machine_{"win10-x64"};
  InstallerContext context_;
  testing_support::RecordingProgress progress_;
  InstallEngine engine_{context_, progress_};
};

TEST_F(ArchiveManifest, ListsOnlyTheArchivesInKeyOrder) {
  ASSERT_EQ(win::SHCreateDirectory(nullptr, engine_.m_installDir), 0);
  for (auto& [name, component] : engine_.m_components) {
    component.hash = L"h-" + name;
    component.version = L"1.0";
  }
  engine_.m_components[L"cef.zip"].version = L"\uBC84\uC804";  // written in the ANSI code page
  engine_.m_components[L"webview.zip"] = {};
  engine_.m_components[L"BIG.ZIP"] = {};  // ".zip" is matched case-sensitively

  engine_.WriteArchiveManifest();
  EXPECT_EQ(Written(), "cef.zip h-cef.zip \xb9\xf6\xc0\xfc\r\nwebview.zip  \r\n");
  EXPECT_EQ(progress_.rows, (std::vector<testing_support::RecordedRow>{{L"proverinfo create Success", false, 68}}));
  EXPECT_TRUE(BrimvaleLines().empty());
}

TEST_F(ArchiveManifest, ReportsAnInstallFolderItCannotWriteIn) {
  engine_.WriteArchiveManifest();  // the install folder does not exist
  EXPECT_EQ(BrimvaleLines(), std::vector<std::wstring>{L"[Brimvale] bvlinstaller : INVALID_HANDLE_VALUE fail 3"});
  EXPECT_TRUE(progress_.rows.empty());
}

TEST_F(ArchiveManifest, ReportsAFailedWrite) {
  ASSERT_EQ(win::SHCreateDirectory(nullptr, engine_.m_installDir), 0);
  platform::InjectFault({"WriteFile", L"", win::ERROR_WRITE_FAULT});
  engine_.WriteArchiveManifest();
  EXPECT_EQ(BrimvaleLines(), std::vector<std::wstring>{L"[Brimvale] bvludt : Set version file data fail (WriteFile)"});
  EXPECT_TRUE(progress_.rows.empty());
}

}  // namespace
