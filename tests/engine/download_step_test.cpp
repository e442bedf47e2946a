// The download step against a programmable update host: the rows and their
// percents, components the manifest lists but the host does not serve,
// failed checks, the driver and archive targets, the web view, and a folder
// that cannot be created.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "engine/install_engine.h"
#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/files/file_marks.h"
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
#include "system/md5_checksum.h"

namespace {

using testing_support::RecordedRow;
using testing_support::ReadHostFile;
using testing_support::ZipEntry;

// The catalogue in the order the step walks it.
const std::vector<std::wstring> kWalk = {
    L"BrimvaleAgent.exe", L"bvlUninstaller.exe", L"bvlchk.exe",   L"bvlcore.dll",    L"bvlcv.dll",  L"bvlmqtt.exe",
    L"bvlres.dll",        L"bvlsvc.exe",         L"bvludt.exe",   L"cef.zip",        L"kvppob.sys", L"libeay32.dll",
    L"mosquitto.dll",     L"msvcr100.dll",       L"pthreadVC2.dll", L"sqlite3.dll"};

const std::vector<ZipEntry> kCefEntries = {
    {"cef/cef.pak", "pak data"},
    {"cef/libcef.dll", std::string(300000, 'L')},
    {"cef/locales/ko.pak", "ko"},
    {"cef/swiftshader/libEGL.dll", "egl", true},
};

std::wstring Md5(const std::string& bytes) {
  CMD5Checksum md5;
  md5.Update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return md5.Final();
}

// The rows of a walk that succeeds up to `failing` (the whole walk when empty).
std::vector<RecordedRow> ExpectedRows(const std::wstring& failing = {}) {
  std::vector<RecordedRow> rows;
  unsigned percent = 30;
  for (const std::wstring& name : kWalk) {
    percent += 2;
    const std::wstring folder = name == L"cef.zip" ? L"cef" : name;
    if (name == failing) {
      rows.push_back({folder + L" Download Fail", true, percent});
      return rows;
    }
    rows.push_back({folder + L" Download Success", true, percent});
  }
  rows.push_back({L"proverinfo create Success", false, 68});
  return rows;
}

class DownloadStep : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << server_.StartError();
    context_.m_updateAddress = server_.Url("/update");
    context_.m_serverAddress = server_.Url("");
    engine_.BuildCatalogue();
    for (const std::wstring& name : kWalk) {
      served_[name] = "content of " + platform::WideToUtf8(name);
      listed_.insert(name);
    }
    served_[L"cef.zip"] = testing_support::ZipBytes(kCefEntries);
    ASSERT_FALSE(served_[L"cef.zip"].empty());

    engine_.m_verify = [this](const std::wstring& path, const ComponentInfo& component) {
      verified_.push_back(path);
      return GetFileMD5(path) == component.hash;
    };
    engine_.m_downloadWebView = [this] {
      ++webViewCalls_;
      return webViewResult_;
    };
    engine_.m_sleep = [this](unsigned milliseconds) { pauses_.push_back(milliseconds); };
  }

  // Writes the host's files and manifest and routes them: the manifest lists
  // `listed_` with the digests of `digestOf_` (default: of the served bytes),
  // the host serves `served_`.
  void Publish() {
    const std::filesystem::path root = machine_.Root() / "served";
    std::string manifest = "2.4.1.0\r\n";
    nlohmann::json routes = nlohmann::json::array();
    for (const auto& [name, bytes] : served_) {
      const std::string narrow = platform::WideToUtf8(name);
      ASSERT_TRUE(testing_support::WriteHostFile(root / narrow, bytes));
      const std::string version = listed_.count(name) ? "2.4.1" : "";
      nlohmann::json route = {{"path", "/update/x64/" + version + "/" + narrow}, {"body_file", (root / narrow).string()}};
      if (cutShort_.count(name)) route["truncate"] = 3;
      routes.push_back(route);
    }
    for (const std::wstring& name : listed_) {
      const std::wstring digest = digestOf_.count(name) ? digestOf_[name] : Md5(served_[name]);
      manifest += platform::WideToUtf8(name + L" " + digest + L" 2.4.1\r\n");
    }
    ASSERT_TRUE(testing_support::WriteHostFile(root / "proverinfo.dat", manifest));
    routes.push_back({{"path", "/update/x64/proverinfo.dat"}, {"body_file", (root / "proverinfo.dat").string()}});
    server_.SetRoutes(routes);
  }

  std::filesystem::path Host(const std::wstring& path) { return machine_.Host(path); }
  bool Exists(const std::wstring& path) { return win::GetFileAttributesW(path) != win::INVALID_FILE_ATTRIBUTES; }
  std::wstring Installed(const std::wstring& name) { return engine_.m_installDir + L"\\" + name; }
  std::wstring Staged(const std::wstring& name) { return engine_.m_stagingDir + L"\\" + name; }

  std::vector<std::string> RequestedTargets() {
    std::vector<std::string> targets;
    for (const auto& request : server_.Requests()) targets.push_back(request.target);
    return targets;
  }

  testing_support::ScopedMachine machine_{"win10-x64"};
  testing_support::TestHttpServer server_;
  InstallerContext context_;
  testing_support::RecordingProgress progress_;
  InstallEngine engine_{context_, progress_};

  std::map<std::wstring, std::string> served_;
  std::set<std::wstring> listed_;
  std::map<std::wstring, std::wstring> digestOf_;
  std::set<std::wstring> cutShort_;  // served with a 200 answer that breaks off
  std::vector<std::wstring> verified_;
  int webViewCalls_ = 0;
  int webViewResult_ = 1;
  std::vector<unsigned> pauses_;
};

TEST_F(DownloadStep, InstallsEveryComponentAndReportsEachRow) {
  Publish();
  ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);

  EXPECT_EQ(progress_.rows, ExpectedRows());
  for (const std::wstring& name : kWalk) {
    if (name == L"cef.zip" || name == L"kvppob.sys") continue;
    EXPECT_EQ(ReadHostFile(Host(Installed(name))), served_[name]) << name;
  }
  // The driver goes to the drivers folder, not the install folder.
  EXPECT_EQ(ReadHostFile(Host(kvutil::KVSystem::GetDriversPath(L"kvppob.sys"))), served_[L"kvppob.sys"]);
  EXPECT_FALSE(Exists(Installed(L"kvppob.sys")));
  // The archive is unpacked below the install folder with its folders.
  for (const ZipEntry& entry : kCefEntries) {
    EXPECT_EQ(ReadHostFile(Host(engine_.m_installDir + L"\\" + platform::Utf8ToWide(entry.name))), entry.data)
        << entry.name;
  }
  EXPECT_EQ(ReadHostFile(Host(Installed(L"zipproverinfo.dat"))),
            "cef.zip " + platform::WideToUtf8(Md5(served_[L"cef.zip"])) + " 2.4.1\r\n");
  std::wstring version;
  EXPECT_TRUE(RegReadString(kProductKey, kVersionValue, &version));
  EXPECT_EQ(version, L"2.4.1.0");

  EXPECT_EQ(verified_.size(), kWalk.size());
  EXPECT_EQ(webViewCalls_, 16);
  EXPECT_EQ(pauses_, std::vector<unsigned>{100});
  EXPECT_FALSE(Exists(engine_.m_stagingDir));
  EXPECT_TRUE(Exists(engine_.m_webviewDir));
}

TEST_F(DownloadStep, RunsAgainOverAnExistingInstallation) {
  Publish();
  ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);
  served_[L"bvlsvc.exe"] = "newer service";
  Publish();
  progress_.rows.clear();
  ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);
  EXPECT_EQ(progress_.rows, ExpectedRows());
  EXPECT_EQ(ReadHostFile(Host(Installed(L"bvlsvc.exe"))), "newer service");
}

TEST_F(DownloadStep, FailsOnAListedComponentTheHostDoesNotServe) {
  served_.erase(L"bvlcore.dll");  // listed, but 404
  Publish();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);

  EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlcore.dll"));
  EXPECT_FALSE(Exists(Installed(L"bvlcore.dll")));
  EXPECT_FALSE(Exists(Staged(L"bvlcore.dll")));
  EXPECT_FALSE(Exists(Installed(L"zipproverinfo.dat")));
  EXPECT_TRUE(pauses_.empty());
  // Nothing after the failed component is asked for.
  for (const std::string& target : RequestedTargets()) EXPECT_EQ(target.find("bvlcv.dll"), std::string::npos);
}

TEST_F(DownloadStep, SkipsAComponentTheManifestDoesNotList) {
  served_.erase(L"bvlcv.dll");
  listed_.erase(L"bvlcv.dll");
  Publish();
  ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);

  EXPECT_EQ(progress_.rows, ExpectedRows());
  EXPECT_FALSE(Exists(Installed(L"bvlcv.dll")));
  EXPECT_EQ(verified_.size(), kWalk.size() - 1);
  EXPECT_EQ(webViewCalls_, 16);  // the web view is still checked for it
  // Unlisted, it is asked for without a version.
  const auto targets = RequestedTargets();
  EXPECT_NE(std::find(targets.begin(), targets.end(), "/update/x64//bvlcv.dll"), targets.end());
}

// An unlisted component is skipped only when the host refuses it; once the
// host has answered 200, a transfer that breaks fails it like a listed one.
TEST_F(DownloadStep, FailsAnUnlistedComponentWhoseTransferBreaksAfter200) {
  listed_.erase(L"bvlcv.dll");
  cutShort_.insert(L"bvlcv.dll");
  Publish();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlcv.dll"));
  EXPECT_FALSE(Exists(Installed(L"bvlcv.dll")));
  EXPECT_FALSE(Exists(Staged(L"bvlcv.dll")));
}

TEST_F(DownloadStep, FailsAnUnlistedComponentItCannotStage) {
  listed_.erase(L"bvlcv.dll");
  Publish();
  platform::InjectFault({"CreateFile", Staged(L"bvlcv.dll"), win::ERROR_ACCESS_DENIED});
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlcv.dll"));
  EXPECT_FALSE(Exists(Installed(L"bvlcv.dll")));
}

// The disk fills up while a component is written to the staging folder: its
// row fails, the staged file is gone and the copy a previous installation
// put in place is left as it was.
TEST_F(DownloadStep, FailsAComponentThatMeetsAFullDisk) {
  for (bool listed : {true, false}) {
    served_[L"bvlcv.dll"] = "content of bvlcv.dll";
    listed_.insert(L"bvlcv.dll");
    Publish();
    engine_.BuildCatalogue();
    ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);
    const std::string previous = ReadHostFile(Host(Installed(L"bvlcv.dll")));
    ASSERT_EQ(previous, "content of bvlcv.dll");

    served_[L"bvlcv.dll"] = std::string(3 << 20, 'n');
    if (!listed) listed_.erase(L"bvlcv.dll");
    Publish();
    engine_.BuildCatalogue();
    progress_.rows.clear();
    platform::InjectFault({"WriteFile", Staged(L"bvlcv.dll"), win::ERROR_DISK_FULL});
    EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE) << listed;
    platform::ClearFaults();
    EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlcv.dll")) << listed;
    EXPECT_FALSE(Exists(Staged(L"bvlcv.dll"))) << listed;
    EXPECT_EQ(ReadHostFile(Host(Installed(L"bvlcv.dll"))), previous) << listed;
    progress_.rows.clear();
  }
}

TEST_F(DownloadStep, DeletesAComponentThatFailsItsCheck) {
  digestOf_[L"bvlcv.dll"] = L"0123456789abcdef0123456789abcdef";
  Publish();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);

  EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlcv.dll"));
  EXPECT_EQ(verified_.back(), Staged(L"bvlcv.dll"));
  EXPECT_FALSE(Exists(Staged(L"bvlcv.dll")));
  EXPECT_FALSE(Exists(Installed(L"bvlcv.dll")));
  EXPECT_TRUE(Exists(Installed(L"bvlcore.dll")));  // the ones before stay installed
}

TEST_F(DownloadStep, FailsAComponentThatCannotBeMovedIntoPlace) {
  // No drivers folder: the driver cannot be placed.
  const std::wstring driver = kvutil::KVSystem::GetDriversPath(L"kvppob.sys");
  const std::wstring drivers = driver.substr(0, driver.rfind(L'\\'));
  ASSERT_TRUE(std::filesystem::remove_all(Host(drivers)) > 0);
  Publish();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_EQ(progress_.rows, ExpectedRows(L"kvppob.sys"));
  EXPECT_FALSE(Exists(driver));
  EXPECT_FALSE(Exists(Staged(L"kvppob.sys")));
  const auto log = platform::ReadDebugLog();
  EXPECT_NE(std::find(log.begin(), log.end(), L"[Brimvale] BVLInstall : Move File Fail - " + driver + L" (3)"), log.end());
}

TEST_F(DownloadStep, FailsAComponentWhoseInstalledFileIsInUse) {
  Publish();
  ASSERT_EQ(engine_.CreateAndMoveInstalledFile(), win::TRUE);
  ASSERT_TRUE(platform::LockFile(Installed(L"bvlsvc.exe")));  // the running service holds it
  served_[L"bvlsvc.exe"] = "newer service";
  Publish();
  progress_.rows.clear();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_EQ(progress_.rows, ExpectedRows(L"bvlsvc.exe"));
  EXPECT_EQ(ReadHostFile(Host(Installed(L"bvlsvc.exe"))), "content of bvlsvc.exe");
}

TEST_F(DownloadStep, FailsAComponentWhenTheWebViewFails) {
  webViewResult_ = 0;
  Publish();
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_EQ(progress_.rows, ExpectedRows(L"BrimvaleAgent.exe"));
  EXPECT_EQ(webViewCalls_, 1);
}

TEST_F(DownloadStep, KeepsADamagedArchiveInTheStagingFolder) {
  std::string& archive = served_[L"cef.zip"];
  const auto offset = testing_support::EntryDataOffset(archive, "cef/swiftshader/libEGL.dll");
  ASSERT_TRUE(offset.has_value());
  archive[*offset] ^= 0x20;  // stored data: the CRC no longer matches
  Publish();                 // the manifest's digest is of the damaged bytes, so the check passes
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);

  EXPECT_EQ(progress_.rows, ExpectedRows(L"cef.zip"));
  EXPECT_EQ(ReadHostFile(Host(Staged(L"cef.zip"))), archive);
}

TEST_F(DownloadStep, StopsWhenTheInstallFolderCannotBeCreated) {
  Publish();
  platform::InjectFault({"CreateDirectory", L"C:\\Program Files\\Brimvale", win::ERROR_ACCESS_DENIED});
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_TRUE(progress_.rows.empty());
  EXPECT_TRUE(RequestedTargets().empty());
  EXPECT_FALSE(Exists(engine_.m_installDir));
}

TEST_F(DownloadStep, StopsWhenTheManifestIsMissing) {
  Publish();
  server_.SetRoutes(nlohmann::json::array());
  EXPECT_EQ(engine_.CreateAndMoveInstalledFile(), win::FALSE);
  EXPECT_TRUE(progress_.rows.empty());
  EXPECT_EQ(RequestedTargets(), std::vector<std::string>{"/update/x64/proverinfo.dat"});
}

class WebViewDownload : public DownloadStep {
 protected:
  void SetUp() override {
    DownloadStep::SetUp();
    ASSERT_EQ(win::SHCreateDirectory(nullptr, engine_.m_stagingDir), 0);
    ASSERT_EQ(win::SHCreateDirectory(nullptr, engine_.m_webviewDir), 0);
  }

  void Route(const std::string& versionsBody, int versionsStatus, const std::string& archive, int archiveStatus) {
    const std::filesystem::path file = machine_.Root() / "served" / "webview.zip";
    ASSERT_TRUE(testing_support::WriteHostFile(file, archive));
    server_.SetRoutes(nlohmann::json::array(
        {{{"path", "/v2/versions"}, {"status", versionsStatus}, {"body", versionsBody}},
         {{"path", "/v2/download/resources?component=webview&version=1.0.3"},
          {"status", archiveStatus},
          {"body_file", file.string()}}}));
  }

  std::wstring WebVersion() {
    std::wstring text = L"<none>";
    RegReadString(kProductKey, kWebVersionValue, &text);
    return text;
  }

  const std::string versions_ = R"({"webview": {"version": "1.0.3"}})";
  const std::string archive_ = testing_support::ZipBytes({{"webview.dll", "wv"}, {"res/strings.txt", "s"}});
};

TEST_F(WebViewDownload, UnpacksTheVersionTheServerNames) {
  Route(versions_, 200, archive_, 200);
  EXPECT_EQ(engine_.DownloadWebView(), 1);
  EXPECT_EQ(ReadHostFile(Host(engine_.m_webviewDir + L"\\webview.dll")), "wv");
  EXPECT_EQ(ReadHostFile(Host(engine_.m_webviewDir + L"\\res\\strings.txt")), "s");
  EXPECT_EQ(WebVersion(), L"1.0.3");
  EXPECT_EQ(RequestedTargets(),
            (std::vector<std::string>{"/v2/versions", "/v2/download/resources?component=webview&version=1.0.3"}));
}

// A version with line breaks in it cannot make the debug output show a
// line the installer never wrote.
TEST_F(WebViewDownload, AVersionWithLineBreaksStaysInsideItsDebugLine) {
  Route(R"({"webview": {"version": "1.0.3\r\n[Brimvale] Install : fake\r\n"}})", 200, archive_, 200);
  platform::ClearDebugLog();
  EXPECT_EQ(engine_.DownloadWebView(), 0);
  EXPECT_EQ(WebVersion(), L"<none>");
  const auto lines = platform::ReadDebugLog();
  ASSERT_FALSE(lines.empty());
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << platform::WideToUtf8(line);
  }
}

TEST_F(WebViewDownload, FailsWithoutWritingTheVersion) {
  struct Row {
    const char* what;
    int versionsStatus;
    std::string archive;
    int archiveStatus;
  };
  std::string damaged = archive_;
  damaged.resize(damaged.size() / 2);
  const std::vector<Row> rows = {
      {"versions unknown", 404, archive_, 200},
      {"archive not served", 200, archive_, 404},
      {"archive truncated", 200, damaged, 200},
  };
  for (const Row& row : rows) {
    Route(versions_, row.versionsStatus, row.archive, row.archiveStatus);
    EXPECT_EQ(engine_.DownloadWebView(), 0) << row.what;
    EXPECT_EQ(WebVersion(), L"<none>") << row.what;
  }
}

}  // namespace
