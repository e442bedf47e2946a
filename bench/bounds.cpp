// Bounds benchmark: what the installer's network calls cost against servers
// that never end, drip, redirect or send endless headers, beside curl against
// the same server in the same run, with the product's real 30-second time-out.
//
//   bench_bounds            every case but the slow link (about three minutes)
//   bench_bounds quick      the endless answers, redirects and headers only
//   bench_bounds slow       a 3 MiB download over a 5 KB/s link (about ten minutes)
//
// Cases: an endless JSON answer (RequestJson must stop at 8 MiB), an endless
// version manifest (its download must stop at 1 MiB and leave nothing on
// disk), the start-up call and the manifest's download against a redirect
// to an endless body and against a header line that never ends (each must
// fail within the bounds, in seconds), the start-up call against a server
// that drips its answer (it must end at the 30-second deadline with string
// 314), a download that drips (the stall rule must end it after a 30-second
// window, as curl's --speed-limit 1024 --speed-time 30 does), and a slow but
// steady link (it must complete, as it does for curl with the same limits).
// Each of our cases runs in a child process of this program so that its peak
// memory (VmHWM) is its own.

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/install_engine.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "settings/http_client.h"
#include "settings/installer_context.h"
#include "support/test_http_server.h"

namespace fs = std::filesystem;

namespace {

constexpr long kJsonPeakTargetKb = 48 * 1024;
constexpr long kManifestPeakTargetKb = 32 * 1024;
constexpr double kDeadlineSeconds = 30;
constexpr double kDeadlineSlack = 3;
// A hostile answer must fail well before the deadline.
constexpr double kHostileAnswerSeconds = 10;
constexpr std::uint64_t kSlowLinkBytes = 3 << 20;

class SilentProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring&) override {}
  void AddStatusRow(const std::wstring&, bool, unsigned) override {}
};

// One case in this process; prints "<result> <peak KiB> <bytes on disk>".
int RunOne(const std::string& which, const std::string& url) {
  long result = -1;
  std::uintmax_t onDisk = 0;
  if (which == "json") {
    HttpRequestOptions options;
    options.url = platform::Utf8ToWide(url);
    options.method = L"GET";
    options.compress = true;
    std::wstring body;
    result = RequestJson(options, &body, nullptr);
  } else if (which == "manifest") {
    InstallerContext context;
    context.m_updateAddress = platform::Utf8ToWide(url);
    SilentProgress progress;
    InstallEngine engine(context, progress);
    engine.BuildCatalogue();
    win::SHCreateDirectory(nullptr, engine.m_stagingDir);
    result = engine.FetchVersionManifest();
    std::error_code ignored;
    onDisk = fs::file_size(*platform::ToHostPath(engine.m_stagingDir + L"\\proverinfo.dat"), ignored);
  } else if (which == "startup") {
    InstallerContext context;
    std::wstring update;
    context.QueryAgentRequestUrls(platform::Utf8ToWide(url), &update);
    result = context.m_serverCheckResult;
  } else if (which == "download") {
    const std::wstring target = L"C:\\bench\\drip.bin";
    fs::create_directories(platform::ToHostPath(target)->parent_path());
    result = DownloadFile({platform::Utf8ToWide(url), {}, target});
    std::error_code ignored;
    onDisk = fs::file_size(*platform::ToHostPath(target), ignored);
  }
  std::printf("%ld %ld %ju\n", result, bench::PeakKib(), onDisk);
  return 0;
}

struct ChildResult {
  long result = -1;
  long peakKb = 0;
  std::uintmax_t onDisk = 0;
  double seconds = 0;
};

ChildResult RunChild(const std::string& self, const std::string& which, const std::string& url) {
  ChildResult out;
  const auto start = std::chrono::steady_clock::now();
  const std::string output = bench::RunSelfOnce(self, {which, url});
  out.seconds = bench::SecondsSince(start);
  std::istringstream(output) >> out.result >> out.peakKb >> out.onDisk;
  return out;
}

struct CurlResult {
  double seconds = 0;
  long peakKb = 0;
  double received = 0;
  int exitCode = 0;
};

CurlResult RunCurl(const std::string& options, const std::string& url, const fs::path& work) {
  CurlResult out;
  const fs::path peakFile = work / "curl.peak";
  const std::string command = "/usr/bin/time -o '" + peakFile.string() + "' -f %M curl -s -o /dev/null -w '%{size_download}' " +
                              options + " '" + url + "'; echo \" $?\"";
  const auto start = std::chrono::steady_clock::now();
  std::istringstream(bench::CommandOutput(command)) >> out.received >> out.exitCode;
  out.seconds = bench::SecondsSince(start);
  // time(1) puts "Command exited with non-zero status N" before the figure.
  std::ifstream peak(peakFile);
  std::string line;
  while (std::getline(peak, line)) {
    if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) out.peakKb = std::atol(line.c_str());
  }
  return out;
}

double Ratio(double ours, double theirs) { return theirs > 0 ? ours / theirs : 0; }

}  // namespace

// The start-up call and the manifest's download against a hostile answer
// behind `prefix`: both must fail, quickly and within the memory bounds.
bool HostileAnswer(const std::string& self, const std::string& what, const std::string& base,
                   const std::string& prefix, const std::string& curlOptions, const fs::path& work) {
  const ChildResult startup = RunChild(self, "startup", base + prefix);
  const CurlResult startupCurl = RunCurl(curlOptions + " --max-filesize 8388608", base + prefix + "/v2/agent-request-urls", work);
  const bool refused = startup.result == SERVERCHECK_COMM_ERROR;
  std::printf("%-26s start-up call ours: check result %ld (%s) after %.2f s, peak %.1f MB | curl %s: exit %d after "
              "%.2f s, peak %.1f MB | peak ratio (ours/curl) %.2f, target < %ld MB\n",
              what.c_str(), startup.result, refused ? "string 314" : "NOT REFUSED", startup.seconds,
              startup.peakKb / 1024.0, curlOptions.c_str(), startupCurl.exitCode, startupCurl.seconds,
              startupCurl.peakKb / 1024.0, Ratio(startup.peakKb, startupCurl.peakKb), kJsonPeakTargetKb / 1024);
  const ChildResult manifest = RunChild(self, "manifest", base + prefix);
  const CurlResult manifestCurl =
      RunCurl(curlOptions + " --max-filesize 1048576", base + prefix + "/x64/proverinfo.dat", work);
  std::printf("%-26s manifest      ours: %s after %.2f s, %ju bytes left on disk, peak %.1f MB | curl %s: exit %d "
              "after %.2f s, peak %.1f MB | peak ratio (ours/curl) %.2f, target < %ld MB\n",
              what.c_str(), manifest.result == 0 ? "step failed" : "step passed", manifest.seconds, manifest.onDisk,
              manifest.peakKb / 1024.0, curlOptions.c_str(), manifestCurl.exitCode, manifestCurl.seconds,
              manifestCurl.peakKb / 1024.0, Ratio(manifest.peakKb, manifestCurl.peakKb),
              kManifestPeakTargetKb / 1024);
  return !refused || startup.peakKb >= kJsonPeakTargetKb || startup.seconds > kHostileAnswerSeconds ||
         manifest.result != 0 || manifest.onDisk != 0 || manifest.peakKb >= kManifestPeakTargetKb ||
         manifest.seconds > kHostileAnswerSeconds;
}

// A 3 MiB component over a steady 5 KB/s link: slow, but far above the
// stall rule's 1024 bytes in 30 seconds, so it must complete.
bool SlowLink(const std::string& self, const std::string& url, const fs::path& work) {
  const ChildResult ours = RunChild(self, "download", url);
  const CurlResult curl = RunCurl("--speed-limit 1024 --speed-time 30", url, work);
  std::printf("3 MiB at 5 KB/s            ours: result %ld after %.1f s, %ju bytes on disk, peak %.1f MB | curl "
              "--speed-limit 1024 --speed-time 30: exit %d after %.1f s, %.0f bytes | time ratio (ours/curl) %.2f, "
              "target: completes\n",
              ours.result, ours.seconds, ours.onDisk, ours.peakKb / 1024.0, curl.exitCode, curl.seconds,
              curl.received, Ratio(ours.seconds, curl.seconds));
  return ours.result != 1 || ours.onDisk != kSlowLinkBytes;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--one") return RunOne(argv[2], argv[3]);
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool quick = mode == "quick";
  const bool slow = mode == "slow";
  const std::string self = fs::read_symlink("/proc/self/exe").string();

  char pattern[] = "/tmp/bvl-bench-bounds-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path work = pattern;
  if (!bench::UseNewMachine(work / "machine", platform::DefaultProfileName())) return 1;

  const nlohmann::json endless = {{"body_size", 1e15}, {"chunked", true}};
  nlohmann::json routes = nlohmann::json::array();
  auto route = [&](const std::string& path, nlohmann::json parts) {
    parts["path"] = path;
    routes.push_back(parts);
  };
  route("/json", endless);
  route("/json-length", {{"body_size", 1e15}});
  route("/update/x64/proverinfo.dat", endless);
  route("/v2/agent-request-urls", {{"body_size", 1e15}, {"chunked", true}, {"drip", {{"bytes", 1}, {"every", 0.5}}}});
  route("/drip.bin", {{"body_size", 1e15}, {"chunked", true}, {"drip", {{"bytes", 16}, {"every", 1.0}}}});
  // A redirect to an endless body, and a header line that never ends.
  route("/redirect/v2/agent-request-urls", {{"status", 302}, {"headers", {{"Location", "/json-length"}}}, {"body", ""}});
  route("/redirect/x64/proverinfo.dat",
        {{"status", 302}, {"headers", {{"Location", "/update/x64/proverinfo.dat"}}}, {"body", ""}});
  route("/header/v2/agent-request-urls", {{"endless_header", true}});
  route("/header/x64/proverinfo.dat", {{"endless_header", true}});
  // 5 KB/s: 512 bytes every tenth of a second, with a length and without.
  route("/slow.bin", {{"body_size", kSlowLinkBytes}, {"drip", {{"bytes", 512}, {"every", 0.1}}}});
  testing_support::TestHttpServer server(routes);
  if (!server.Running()) {
    std::fprintf(stderr, "test server did not start: %s\n", server.StartError().c_str());
    return 1;
  }
  auto url = [&](const std::string& path) { return platform::WideToUtf8(server.Url(path)); };
  bool missed = false;
  if (slow) {
    missed = SlowLink(self, url("/slow.bin"), work);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (missed) std::printf("TARGET MISSED\n");
    return 0;
  }

  missed = HostileAnswer(self, "redirect to endless body", url(""), "/redirect", "-L -m 30", work) || missed;
  missed = HostileAnswer(self, "endless header line", url(""), "/header", "-m 30", work) || missed;

  // An endless JSON answer, chunked and with an endless announced length.
  for (const char* path : {"/json", "/json-length"}) {
    const ChildResult ours = RunChild(self, "json", url(path));
    const CurlResult curl = RunCurl("--max-filesize 8388608 -m 10", url(path), work);
    std::printf("endless JSON answer %-12s ours: status %ld after %.2f s, peak %.1f MB | curl --max-filesize 8M -m 10: "
                "exit %d after %.2f s, %.0f bytes, peak %.1f MB | peak ratio (ours/curl) %.2f, target < %ld MB\n",
                path, ours.result, ours.seconds, ours.peakKb / 1024.0, curl.exitCode, curl.seconds, curl.received,
                curl.peakKb / 1024.0, Ratio(ours.peakKb, curl.peakKb), kJsonPeakTargetKb / 1024);
    missed = missed || ours.result != 400 || ours.peakKb >= kJsonPeakTargetKb;
  }

  // An endless proverinfo.dat.
  {
    const ChildResult ours = RunChild(self, "manifest", url("/update"));
    const CurlResult curl = RunCurl("--max-filesize 1048576 -m 5", url("/update/x64/proverinfo.dat"), work);
    std::printf("endless manifest   ours: %s after %.2f s, %ju bytes left on disk, peak %.1f MB | curl --max-filesize 1M "
                "-m 5: exit %d, %.0f bytes received | peak ratio (ours/curl) %.2f, target < %ld MB and 0 bytes left\n",
                ours.result == 0 ? "step failed" : "step passed", ours.seconds, ours.onDisk, ours.peakKb / 1024.0,
                curl.exitCode, curl.received, Ratio(ours.peakKb, curl.peakKb), kManifestPeakTargetKb / 1024);
    missed = missed || ours.result != 0 || ours.onDisk != 0 || ours.peakKb >= kManifestPeakTargetKb;
  }

  if (!quick) {
    // The start-up call against a dripping agent server, with the product's
    // own time-out (no test seam here).
    const ChildResult ours = RunChild(self, "startup", url(""));
    const CurlResult curl = RunCurl("-m 30", url("/v2/agent-request-urls"), work);
    const bool refused = ours.result == SERVERCHECK_COMM_ERROR;
    std::printf("dripping start-up  ours: check result %ld (%s) after %.2f s | curl -m 30: exit %d after %.2f s | "
                "time ratio (ours/curl) %.2f, target %.0f s +- %.0f\n",
                ours.result, refused ? "string 314" : "NOT REFUSED", ours.seconds, curl.exitCode, curl.seconds,
                Ratio(ours.seconds, curl.seconds), kDeadlineSeconds, kDeadlineSlack);
    missed = missed || !refused || ours.seconds > kDeadlineSeconds + kDeadlineSlack ||
             ours.seconds < kDeadlineSeconds - kDeadlineSlack;

    // A download that brings 16 bytes a second.
    const ChildResult download = RunChild(self, "download", url("/drip.bin"));
    const CurlResult stall = RunCurl("--speed-limit 1024 --speed-time 30", url("/drip.bin"), work);
    std::printf("dripping download  ours: result %ld after %.2f s, %ju bytes left | curl --speed-limit 1024 "
                "--speed-time 30: exit %d after %.2f s | time ratio (ours/curl) %.2f\n",
                download.result, download.seconds, download.onDisk, stall.exitCode, stall.seconds,
                Ratio(download.seconds, stall.seconds));
    missed = missed || download.result != 0 || download.onDisk != 0 ||
             download.seconds > kDeadlineSeconds + kDeadlineSlack;
  }

  std::error_code ignored;
  fs::remove_all(work, ignored);
  if (missed) std::printf("TARGET MISSED\n");
  return 0;
}
