// Real crashes of child processes on a fresh machine: each way of crashing,
// on the main thread and on a thread of its own, leaves one minidump in the
// temporary folder, sends the crash collector exactly one report, counts it
// in the checkpoint file and ends the process, never as a success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <regex>

#include "crash/collector_address.h"
#include "crash/crash_collector_fixture.h"
#include "crash/minidump_reader.h"
#include "platform/codepage.h"
#include "platform/crash_points.h"
#include "platform/environment.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/paths.h"
#include "platform/process.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"
#include "system/registry_helpers.h"

namespace {

using testing_support::ReadHostFile;

namespace fs = std::filesystem;
using crash_testing::CrashCollector;

const char kUploadUrl[] =
    "https://crash.brimvale.example/api/41/minidump/?sentry_key=7d3f0c9a5e1b48c2a6f4d0e8b2c71a95";
const char kUploadTarget[] = "/api/41/minidump/?sentry_key=7d3f0c9a5e1b48c2a6f4d0e8b2c71a95";
constexpr int kEndLimitMilliseconds = 60000;

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

// Today's date in UTC as the checkpoint writes it, worked out here.
std::string TodayText() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof(text), "%Y%m%d", &utc);
  return text;
}

// The build id that `readelf -n` prints for an executable, lowercase
// hexadecimal; empty when it prints none.
std::string ReadelfBuildId(const fs::path& file) {
  std::string output;
  if (testing_support::RunCommand("readelf -n " + testing_support::ShellQuote(file.string()) + " 2>&1", &output) != 0) {
    return "";
  }
  std::smatch match;
  if (!std::regex_search(output, match, std::regex("Build ID: ([0-9a-fA-F]+)"))) return "";
  std::string id = match[1];
  std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return std::tolower(c); });
  return id;
}

// The first line of `text` that holds `part`, or empty.
std::string LineWith(const std::string& text, const std::string& part) {
  const std::size_t at = text.find(part);
  if (at == std::string::npos) return "";
  const std::size_t begin = text.rfind('\n', at);
  const std::size_t end = text.find('\n', at);
  const std::size_t from = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// The UUID in a line of lldb's `image list`, as lowercase hexadecimal
// without dashes: lldb writes a 16-byte identity in the 8-4-4-4-12 form and
// a 20-byte ELF build id with a further group of 8.
std::string DebuggerUuid(const std::string& line) {
  std::smatch match;
  if (!std::regex_search(line, match,
                         std::regex("\\b[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}"
                                    "(-[0-9A-Fa-f]{8})?\\b"))) {
    return "";
  }
  std::string hex;
  for (char c : match.str(0)) {
    if (c != '-') hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex;
}

// Whether lldb's UUID names the build id: all of it, or its first 16 bytes
// where lldb keeps only a UUID's worth.
bool SameBuildId(const std::string& uuid, const std::string& buildId) {
  if (uuid == buildId) return true;
  return uuid.size() == 32 && buildId.size() > 32 && buildId.compare(0, 32, uuid) == 0;
}

struct ChildRun {
  bool ended = false;
  win::DWORD exitCode = 0;
  win::DWORD processId = 0;
  int hostPid = 0;
  std::string output;
};

class CrashRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(collector.Running()) << collector.Error();
    collector.ServeCurrentMachine();
    wchar_t temp[win::MAX_PATH] = {};
    win::GetTempPathW(win::MAX_PATH, temp);
    tempWindows = temp;
    tempHost = machine.Host(tempWindows);
  }

  void ArmCrash(const std::wstring& point, win::DWORD way) {
    platform::Fault fault;
    fault.operation = "Crash";
    fault.subject = point;
    fault.error = way;
    platform::InjectFault(fault);
  }

  ChildRun Start(const std::wstring& image, const std::wstring& commandLine) {
    ChildRun run;
    const fs::path out = machine.Root() / "child-output.txt";
    run.processId = platform::StartProcess(image, commandLine, out.string());
    if (run.processId == 0) return run;
    if (auto record = platform::FindProcess(run.processId)) run.hostPid = record->hostPid;
    auto code = platform::WaitForProcess(run.processId, kEndLimitMilliseconds);
    run.ended = code.has_value();
    run.exitCode = code.value_or(0);
    run.output = ReadHostFile(out);
    return run;
  }

  ChildRun RunChild(const std::string& release) {
    const std::wstring image = platform::ToWindowsPath(fs::path(BVL_BINARY_DIR) / "tests" / "crash_child");
    std::wstring commandLine = L"\"" + image + L"\" " + platform::Utf8ToWide(kUploadUrl);
    if (!release.empty()) commandLine += L" " + platform::Utf8ToWide(release);
    return Start(image, commandLine);
  }

  ChildRun RunInstaller() {
    const std::wstring path = L"C:\\Users\\user\\Downloads\\bvlInstaller[aHR0cDovLzEyNy4wLjAuMTox].exe";
    fs::copy_file(fs::path(BVL_BINARY_DIR) / "app" / "bvlInstaller", machine.Host(path),
                  fs::copy_options::overwrite_existing);
    return Start(path, L"\"" + path + L"\"");
  }

  std::vector<fs::path> Dumps() const {
    std::vector<fs::path> dumps;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(tempHost, error)) {
      if (entry.path().extension() == ".dmp") dumps.push_back(entry.path());
    }
    return dumps;
  }

  // The one dump of the crash, read back; empty summary on failure.
  kvdump::MinidumpSummary OneDump(fs::path* path) {
    kvdump::MinidumpSummary summary;
    const std::vector<fs::path> dumps = Dumps();
    EXPECT_EQ(dumps.size(), 1u);
    if (dumps.size() != 1) return summary;
    *path = dumps[0];
    std::string error;
    EXPECT_TRUE(kvdump::ReadMinidump(ReadHostFile(dumps[0]), &summary, &error)) << error;
    return summary;
  }

  // The collector received exactly one report: the request and its two
  // parts as the email parser reads them.
  void ExpectOneReport(const fs::path& dump, const std::string& record) {
    const auto posts = collector.Posts();
    ASSERT_EQ(posts.size(), 1u);
    const auto& post = posts[0];
    EXPECT_EQ(post.target, kUploadTarget);
    EXPECT_EQ(post.tunnel, "crash.brimvale.example:443");
    EXPECT_EQ(post.Value("Host"), "crash.brimvale.example");
    EXPECT_EQ(post.Value("User-Agent"), "Breakpad/1.0 (Windows)");
    const std::string contentType = post.Value("Content-Type");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(contentType, match,
                                 std::regex("multipart/form-data; boundary=(-{27}[0-9A-F]{16})")))
        << contentType;
    const std::string boundary = match[1];
    EXPECT_EQ(post.Value("Content-Length"), std::to_string(post.body.size()));
    EXPECT_EQ(post.body.rfind("--" + boundary + "\r\n", 0), 0u);
    const std::string end = "\r\n--" + boundary + "--\r\n";
    ASSERT_GE(post.body.size(), end.size());
    EXPECT_EQ(post.body.substr(post.body.size() - end.size()), end);

    std::vector<std::string> defects;
    const auto parts = collector.Parts(0, &defects);
    EXPECT_TRUE(defects.empty()) << defects.front();
    ASSERT_EQ(parts.size(), 2u);
    using Headers = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(parts[0].headers, (Headers{{"Content-Disposition", "form-data; name=\"sentry\""}}));
    EXPECT_EQ(parts[0].content, record);
    const std::string fileName = Narrow(tempWindows) + dump.filename().string();
    EXPECT_EQ(parts[1].headers,
              (Headers{{"Content-Disposition", "form-data; name=\"upload_file_minidump\"; filename=\"" + fileName + "\""},
                       {"Content-Type", "application/octet-stream"}}));
    EXPECT_EQ(parts[1].content, ReadHostFile(dump));
  }

  void ExpectCheckpointCount(int count) {
    EXPECT_EQ(ReadHostFile(tempHost / "bvlInstaller.checkpoint"), "GBP1\n" + TodayText() + "\n" + std::to_string(count) + "\n");
  }

  testing_support::ScopedMachine machine;
  CrashCollector collector;
  std::wstring tempWindows;
  fs::path tempHost;
};

struct CrashWay {
  const char* name;
  win::DWORD code;
  const wchar_t* point;
  bool mainThread;
};

class CrashWayTest : public CrashRunTest, public ::testing::WithParamInterface<CrashWay> {};

TEST_P(CrashWayTest, WritesOneDumpSendsOneReportAndEnds) {
  const CrashWay way = GetParam();
  ArmCrash(way.point, way.code);
  const ChildRun run = RunChild("1.2.3.4");
  ASSERT_TRUE(run.ended) << "the crashed process did not end";
  EXPECT_NE(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output.find("no crash"), std::string::npos);

  fs::path dump;
  const kvdump::MinidumpSummary summary = OneDump(&dump);
  ASSERT_FALSE(dump.empty());
  EXPECT_TRUE(std::regex_match(dump.filename().string(),
                               std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\.dmp")))
      << dump.filename();

  std::vector<std::uint32_t> streams;
  for (const auto& stream : summary.streams) streams.push_back(stream.type);
  for (std::uint32_t wanted : {7u, 15u, 6u, 3u, 4u, 5u}) {
    EXPECT_NE(std::find(streams.begin(), streams.end(), wanted), streams.end()) << "stream " << wanted;
  }
  ASSERT_TRUE(summary.system.has_value());
  EXPECT_EQ(summary.system->majorVersion, 10u);  // the win10-x64 machine
  EXPECT_EQ(summary.system->buildNumber, 19045u);
  ASSERT_TRUE(summary.misc.has_value());
  EXPECT_EQ(summary.misc->processId, run.processId);

  ASSERT_TRUE(summary.exception.has_value());
  const auto& exception = *summary.exception;
  EXPECT_EQ(exception.code, way.code);
  EXPECT_EQ(exception.address, exception.contextRip);
  EXPECT_NE(exception.address, 0u);
  if (way.code == platform::crash_way::kInvalidAccess) {
    EXPECT_EQ(exception.parameters, (std::vector<std::uint64_t>{1, platform::kInvalidAccessAddress}));
  }
  if (way.code == platform::crash_way::kUncaughtException) {
    ASSERT_FALSE(exception.parameters.empty());
    EXPECT_EQ(exception.parameters[0], 0x19930520u);
  }
  if (way.code == platform::crash_way::kPureVirtualCall) {
    EXPECT_EQ(summary.assertionType, std::optional<std::uint32_t>(2));
  }
  if (way.code == platform::crash_way::kInvalidParameter) {
    EXPECT_EQ(summary.assertionType, std::optional<std::uint32_t>(1));
    EXPECT_EQ(exception.parameters.size(), 4u);
  }

  // The faulting thread is the main thread or the other one, and both are
  // in the thread list with registers and stack memory.
  const auto mainId = static_cast<std::uint32_t>(run.hostPid);
  EXPECT_EQ(exception.threadId == mainId, way.mainThread);
  bool sawMain = false;
  bool sawFaulting = false;
  for (const auto& thread : summary.threads) {
    if (thread.id == mainId) sawMain = true;
    if (thread.id == exception.threadId) {
      sawFaulting = true;
      EXPECT_GT(thread.stackSize, 0u);
      EXPECT_EQ(thread.rip, exception.contextRip);
    }
    if (thread.id == mainId) {
      EXPECT_NE(thread.rip, 0u);
      EXPECT_GT(thread.stackSize, 0u);
    }
  }
  EXPECT_TRUE(sawMain);
  EXPECT_TRUE(sawFaulting);
  ASSERT_FALSE(summary.modules.empty());
  EXPECT_EQ(summary.modules[0].name, platform::ToWindowsPath(fs::path(BVL_BINARY_DIR) / "tests" / "crash_child"));

  ExpectOneReport(dump, "{\"release\":\"1.2.3.4\"}");
  ExpectCheckpointCount(1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CrashWayTest,
    ::testing::Values(CrashWay{"InvalidAccessMain", platform::crash_way::kInvalidAccess, L"ApplicationStart", true},
                      CrashWay{"InvalidAccessWorker", platform::crash_way::kInvalidAccess, L"InstallWorker", false},
                      CrashWay{"UncaughtExceptionMain", platform::crash_way::kUncaughtException, L"ApplicationStart", true},
                      CrashWay{"UncaughtExceptionWorker", platform::crash_way::kUncaughtException, L"InstallWorker", false},
                      CrashWay{"AbortMain", platform::crash_way::kAbort, L"ApplicationStart", true},
                      CrashWay{"AbortWorker", platform::crash_way::kAbort, L"InstallWorker", false},
                      CrashWay{"PureVirtualCallMain", platform::crash_way::kPureVirtualCall, L"ApplicationStart", true},
                      CrashWay{"PureVirtualCallWorker", platform::crash_way::kPureVirtualCall, L"InstallWorker", false},
                      CrashWay{"InvalidParameterMain", platform::crash_way::kInvalidParameter, L"ApplicationStart", true},
                      CrashWay{"InvalidParameterWorker", platform::crash_way::kInvalidParameter, L"InstallWorker", false},
                      CrashWay{"StackOverflowMain", platform::crash_way::kStackOverflow, L"ApplicationStart", true},
                      CrashWay{"StackOverflowWorker", platform::crash_way::kStackOverflow, L"InstallWorker", false}),
    [](const ::testing::TestParamInfo<CrashWay>& info) { return std::string(info.param.name); });

TEST_F(CrashRunTest, WithoutAnArmedCrashPointNothingIsReported) {
  const ChildRun run = RunChild("1.2.3.4");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_NE(run.output.find("no crash"), std::string::npos);
  EXPECT_TRUE(Dumps().empty());
  EXPECT_TRUE(collector.Requests().empty());
  EXPECT_FALSE(fs::exists(tempHost / "bvlInstaller.checkpoint"));
}

TEST_F(CrashRunTest, SecondCrashOfTheDayCountsTwo) {
  ArmCrash(L"InstallWorker", platform::crash_way::kAbort);
  ASSERT_TRUE(RunChild("1.2.3.4").ended);
  ASSERT_TRUE(RunChild("1.2.3.4").ended);
  EXPECT_EQ(Dumps().size(), 2u);
  EXPECT_EQ(collector.Posts().size(), 2u);
  ExpectCheckpointCount(2);
}

TEST_F(CrashRunTest, RejectedReportLeavesTheDumpAndNoCheckpoint) {
  collector.AnswerWith(403);
  ArmCrash(L"ApplicationStart", platform::crash_way::kInvalidAccess);
  const ChildRun run = RunChild("");
  ASSERT_TRUE(run.ended);
  EXPECT_NE(run.exitCode, 0u);
  EXPECT_EQ(Dumps().size(), 1u);
  EXPECT_EQ(collector.Posts().size(), 1u);
  EXPECT_FALSE(fs::exists(tempHost / "bvlInstaller.checkpoint"));
}

// The installer itself: its application object arms the reporter with the
// deployment's collector address and the installed agent's version.
struct InstallerCrash {
  const char* name;
  const wchar_t* point;
  const wchar_t* installedVersion;  // null: no Version value
  const char* record;
};

class InstallerCrashTest : public CrashRunTest, public ::testing::WithParamInterface<InstallerCrash> {};

TEST_P(InstallerCrashTest, ReportsTheInstalledVersion) {
  const InstallerCrash row = GetParam();
  if (row.installedVersion != nullptr) {
    ASSERT_TRUE(RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue, row.installedVersion));
  }
  ArmCrash(row.point, platform::crash_way::kInvalidAccess);
  const ChildRun run = RunInstaller();
  ASSERT_TRUE(run.ended);
  EXPECT_NE(run.exitCode, 0u);
  fs::path dump;
  const kvdump::MinidumpSummary summary = OneDump(&dump);
  ASSERT_FALSE(dump.empty());
  ASSERT_TRUE(summary.exception.has_value());
  EXPECT_EQ(summary.exception->code, platform::crash_way::kInvalidAccess);
  ASSERT_FALSE(summary.modules.empty());
  EXPECT_EQ(summary.modules[0].name, L"C:\\Users\\user\\Downloads\\bvlInstaller[aHR0cDovLzEyNy4wLjAuMTox].exe");
  ExpectOneReport(dump, row.record);
  ExpectCheckpointCount(1);
}

INSTANTIATE_TEST_SUITE_P(
    Installer, InstallerCrashTest,
    ::testing::Values(InstallerCrash{"FirstInstallationSendsNull", L"InitInstance", nullptr, "null"},
                      InstallerCrash{"ReleaseAtApplicationStart", L"ApplicationStart", L"1.2.3.4",
                                     "{\"release\":\"1.2.3.4\"}"},
                      // "3.0 베타": the Korean letters as JSON escapes.
                      InstallerCrash{"KoreanReleaseIsEscaped", L"InitInstance", L"3.0 \uBCA0\uD0C0",
                                     "{\"release\":\"3.0 \\ubca0\\ud0c0\"}"}),
    [](const ::testing::TestParamInfo<InstallerCrash>& info) { return std::string(info.param.name); });

// A debugger's minidump support opens the dump and finds the same threads,
// modules and exception, and knows the program by its build id.
TEST_F(CrashRunTest, DebuggerReadsTheDump) {
  std::string output;
  if (testing_support::RunCommand("command -v lldb", &output) != 0) {
    GTEST_SKIP() << "lldb is not installed (tools/install-deps.sh installs it)";
  }
  ArmCrash(L"InstallWorker", platform::crash_way::kInvalidAccess);
  ASSERT_TRUE(RunChild("1.2.3.4").ended);
  fs::path dump;
  const kvdump::MinidumpSummary summary = OneDump(&dump);
  ASSERT_FALSE(dump.empty());
  ASSERT_TRUE(summary.exception.has_value());
  ASSERT_EQ(testing_support::RunCommand("lldb --batch --no-lldbinit -c " + testing_support::ShellQuote(dump.string()) +
                                            " -o 'thread list' -o 'image list' 2>&1",
                                        &output),
            0)
      << output;
  // lldb writes thread ids with at least four hex digits ("tid = 0x034a,").
  char tid[32];
  std::snprintf(tid, sizeof(tid), "tid = 0x%4.4x,", summary.exception->threadId);
  EXPECT_NE(output.find("Core file"), std::string::npos) << output;
  EXPECT_NE(output.find(tid), std::string::npos) << output;
  EXPECT_NE(output.find("stop reason = Exception 0xc0000005"), std::string::npos) << output;
  EXPECT_NE(output.find(Narrow(summary.modules[0].name)), std::string::npos) << output;
  for (const auto& thread : summary.threads) {
    std::snprintf(tid, sizeof(tid), "tid = 0x%4.4x,", thread.id);
    EXPECT_NE(output.find(tid), std::string::npos) << output;
  }

  // The debugger knows the program by its build id: the UUID it lists for
  // the program's module is the build id in the executable's notes.
  const std::string buildId = ReadelfBuildId(fs::path(BVL_BINARY_DIR) / "tests" / "crash_child");
  ASSERT_FALSE(buildId.empty()) << "readelf finds no build id in crash_child";
  const std::string line = LineWith(output, Narrow(summary.modules[0].name));
  const std::string uuid = DebuggerUuid(line);
  ASSERT_FALSE(uuid.empty()) << "lldb lists the program without an identity: " << line;
  EXPECT_TRUE(SameBuildId(uuid, buildId)) << "lldb: " << line << "\nreadelf build id: " << buildId;
}

}  // namespace
