// Download benchmark: DownloadFile against curl on the same file from a local
// nginx, time and peak memory of each; prints the ratio and the targets.
//
//   bench_download [size-in-MiB]      (default 1024)
//
// Each of our downloads runs in a child process of this program ("--one"
// mode) so that its peak resident memory (VmHWM) belongs to that download only.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/codepage.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "settings/http_client.h"
#include "support/free_port.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;
constexpr double kRatioTarget = 1.25;
constexpr long kPeakTargetKb = 64 * 1024;

// One download in this process; prints "<result> <peak KiB>".
int RunOne(const std::string& url, const std::string& target) {
  std::int32_t result = DownloadFile({platform::Utf8ToWide(url), {}, platform::Utf8ToWide(target)});
  std::printf("%d %ld\n", result, bench::PeakKib());
  return result == 1 ? 0 : 1;
}

// Runs "self --one url target" and reads back its result and peak.
bool RunChild(const std::string& self, const std::string& url, const std::string& target, long* peakKb) {
  const std::string output = bench::RunSelfOnce(self, {url, target});
  int result = 0;
  std::istringstream(output) >> result >> *peakKb;
  return result == 1;
}

bool MakeContent(const fs::path& file, long mebibytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  std::vector<char> block(1 << 20);
  std::uint32_t state = 2463534242u;
  for (long m = 0; m < mebibytes && out; ++m) {
    for (std::size_t i = 0; i < block.size(); i += 4) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      std::memcpy(&block[i], &state, 4);
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--one") return RunOne(argv[2], argv[3]);

  const long mebibytes = argc > 1 ? std::atol(argv[1]) : 1024;
  if (mebibytes <= 0) {
    std::fprintf(stderr, "usage: %s [size-in-MiB]\n", argv[0]);
    return 2;
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string fixture = std::string(BVL_SOURCE_DIR) + "/tools/nginx-fixture.sh";

  char pattern[] = "/tmp/bvl-bench-download-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path work = pattern;
  const fs::path root = work / "content";
  std::printf("making a %ld MiB file...\n", mebibytes);
  if (!MakeContent(root / "update" / "big.bin", mebibytes)) {
    std::fprintf(stderr, "cannot write the content file\n");
    fs::remove_all(work);
    return 1;
  }
  const int port = testing_support::FreePort();
  if (std::system(("'" + fixture + "' start '" + root.string() + "' " + std::to_string(port)).c_str()) != 0) {
    std::fprintf(stderr, "nginx fixture did not start\n");
    fs::remove_all(work);
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/update/big.bin";

  // Our downloads land on drive C: of a machine of the bench's own (its
  // children find it through the environment), curl's on the host.
  if (!bench::UseNewMachine(work / "machine", platform::DefaultProfileName())) return 1;
  const std::wstring ourTarget = L"C:\\bench\\download.bin";
  auto ourHost = platform::ToHostPath(ourTarget);
  if (!ourHost) {
    std::fprintf(stderr, "the machine has no drive C:\n");
    return 1;
  }
  fs::create_directories(ourHost->parent_path());
  const fs::path curlTarget = work / "curl.bin";
  const fs::path curlPeakFile = work / "curl.peak";
  const std::uintmax_t expected = static_cast<std::uintmax_t>(mebibytes) << 20;

  double oursTotal = 0, curlTotal = 0;
  long oursPeak = 0, curlPeak = 0;
  bool allOk = true;
  for (int round = 1; round <= kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    long peak = 0;
    bool ok = RunChild(self, url, platform::WideToUtf8(ourTarget), &peak) && fs::file_size(*ourHost) == expected;
    double ours = bench::SecondsSince(start);
    oursPeak = std::max(oursPeak, peak);

    start = std::chrono::steady_clock::now();
    const std::string curl = "/usr/bin/time -o '" + curlPeakFile.string() + "' -f %M curl -s -o '" +
                             curlTarget.string() + "' '" + url + "'";
    bool curlOk = std::system(curl.c_str()) == 0 && fs::file_size(curlTarget) == expected;
    double theirs = bench::SecondsSince(start);
    long peakCurl = 0;
    std::ifstream(curlPeakFile) >> peakCurl;
    curlPeak = std::max(curlPeak, peakCurl);

    std::printf("round %d: ours %.3f s%s  curl %.3f s%s\n", round, ours, ok ? "" : " (FAILED)", theirs,
                curlOk ? "" : " (FAILED)");
    allOk = allOk && ok && curlOk;
    oursTotal += ours;
    curlTotal += theirs;
    fs::remove(*ourHost);
    fs::remove(curlTarget);
  }

  std::system(("'" + fixture + "' stop '" + root.string() + "'").c_str());
  std::error_code ignored;
  fs::remove_all(work, ignored);

  const double ratio = curlTotal > 0 ? oursTotal / curlTotal : 0;
  std::printf("download ratio (ours/curl): %.2f  target <= %.2f\n", ratio, kRatioTarget);
  std::printf("peak memory: ours %.1f MB  curl %.1f MB  target < %ld MB\n", oursPeak / 1024.0, curlPeak / 1024.0,
              kPeakTargetKb / 1024);
  if (!allOk || ratio > kRatioTarget || oursPeak >= kPeakTargetKb) std::printf("TARGET MISSED\n");
  return 0;
}
