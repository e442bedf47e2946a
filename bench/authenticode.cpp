// Signature check benchmark: VerifyCodeSignature on a large signed driver
// (sparse: a tiny image followed by zeros, signed by the test PKI's
// third-party signer with osslsigncode) against "osslsigncode verify" and
// sha256sum on the same file. Alternating rounds; time and peak memory of
// each, with the ratios. Our rounds run in a child process ("--one") so that
// its peak memory is the check's alone.
//
//   bench_authenticode [size in MiB, default 2048]
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_support.h"
#include "system/component_info.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/images/pe_image.h"
#include "system/file_verification.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;

std::string Quote(const std::string& word) { return "'" + word + "'"; }

// The signed file, made once and kept: the image, zeros up to the size
// (left as a hole), the signature; then its zeros turned back into holes.
bool PrepareSignedFile(const fs::path& folder, std::uint64_t size, const fs::path& pki, fs::path* file) {
  *file = folder / ("driver_" + std::to_string(size >> 20) + "MiB.sys");
  std::error_code error;
  if (fs::exists(*file, error)) return true;
  fs::create_directories(folder, error);
  const fs::path unsigned_ = folder / "unsigned.sys";
  {
    const std::string image = platform::BuildPeImage(platform::PeMachine::AMD64, "large driver");
    std::ofstream out(unsigned_, std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out) return false;
  }
  fs::resize_file(unsigned_, size, error);
  if (error) return false;
  std::printf("signing a %llu MiB driver with osslsigncode (once)\n", static_cast<unsigned long long>(size >> 20));
  const std::string sign = "bash " + Quote(std::string(BVL_SOURCE_DIR) + "/tools/sign-test-pe.sh") + " " +
                           Quote(pki.string()) + " thirdparty sha256 " + Quote(unsigned_.string()) + " " +
                           Quote(file->string());
  const bool signedOk = std::system(sign.c_str()) == 0;
  fs::remove(unsigned_, error);
  if (!signedOk) return false;
  // Not needed for the results, only for the disk space.
  std::system(("fallocate --dig-holes " + Quote(file->string()) + " 2>/dev/null").c_str());
  return true;
}

int RunOne(const std::string& windowsPath) {
  platform::Machine::Current();
  ComponentInfo driver;
  driver.options = COMPONENT_VERIFY_SIGN;
  const int accepted = VerifyCodeSignature(std::wstring(windowsPath.begin(), windowsPath.end()), driver);
  std::printf("%d %ld\n", accepted, bench::PeakKib());
  return accepted ? 0 : 1;
}

struct Measure {
  double seconds = 0;
  long peakKib = 0;
  bool ok = true;
};

void Add(Measure* total, double seconds, long peak, bool ok) {
  total->seconds += seconds;
  total->peakKib = std::max(total->peakKib, peak);
  total->ok = total->ok && ok;
}

// Runs a peer tool under /usr/bin/time; true when it exits 0.
bool RunPeer(const std::string& command, double* seconds, long* peak) {
  const auto start = std::chrono::steady_clock::now();
  const std::string output =
      bench::CommandOutput("/usr/bin/time -f 'MAXRSS %M' " + command + " > /dev/null 2>/tmp/bvl_bench_peer.txt; "
                           "status=$?; cat /tmp/bvl_bench_peer.txt; echo STATUS $status");
  *seconds = bench::SecondsSince(start);
  *peak = bench::ReportedMaxRss(output);
  return output.find("STATUS 0") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--one") return RunOne(argv[2]);
  long mib = 2048;
  if (argc > 1) {
    mib = std::strtol(argv[1], nullptr, 10);
    if (mib <= 0 || mib >= 4096) {
      std::fprintf(stderr, "usage: %s [size in MiB, below 4096]\n", argv[0]);
      return 2;
    }
  }
  platform::Machine& machine = platform::Machine::Current();
  const std::wstring folderWindows = L"C:\\Temp\\bvl_bench\\authenticode";
  const auto folder = platform::ToHostPath(folderWindows);
  if (!folder) {
    std::fprintf(stderr, "no host path for the benchmark folder\n");
    return 1;
  }
  const fs::path pki = *folder / "pki";
  if (std::system(("bash " + Quote(std::string(BVL_SOURCE_DIR) + "/tools/make-test-pki.sh") + " " +
                   Quote(pki.string()))
                      .c_str()) != 0) {
    std::fprintf(stderr, "cannot make the test PKI\n");
    return 1;
  }
  std::error_code error;
  fs::copy_file(pki / "trusted-roots.pem", machine.TrustedRootsFile(), fs::copy_options::overwrite_existing, error);
  fs::path file;
  if (error || !PrepareSignedFile(*folder, static_cast<std::uint64_t>(mib) << 20, pki, &file)) {
    std::fprintf(stderr, "cannot make the signed file (are openssl and osslsigncode installed?)\n");
    return 1;
  }
  const long diskKib = std::strtol(bench::CommandOutput("du -k " + Quote(file.string())).c_str(), nullptr, 10);
  std::printf("file %s (%ld MiB, %.1f MiB on disk)\n", file.string().c_str(), mib, diskKib / 1024.0);

  const std::string self = fs::canonical("/proc/self/exe").string();
  const std::string windowsPath =
      std::string(folderWindows.begin(), folderWindows.end()) + "\\" + file.filename().string();
  Measure ours, osslsigncode, sha256sum;
  for (int round = 1; round <= kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    const std::string output = bench::CommandOutput(Quote(self) + " --one " + Quote(windowsPath));
    const double oursSeconds = bench::SecondsSince(start);
    int accepted = 0;
    long peak = 0;
    std::istringstream(output) >> accepted >> peak;
    Add(&ours, oursSeconds, peak, accepted != 0);

    double seconds = 0;
    const bool verified = RunPeer("osslsigncode verify -in " + Quote(file.string()) + " -CAfile " +
                                      Quote((pki / "trusted-roots.pem").string()),
                                  &seconds, &peak);
    Add(&osslsigncode, seconds, peak, verified);
    const double peerSeconds = seconds;
    const long peerPeak = peak;
    RunPeer("sha256sum " + Quote(file.string()), &seconds, &peak);
    Add(&sha256sum, seconds, peak, true);
    std::printf("round %d: ours %.3f s %ld KiB%s; osslsigncode verify %.3f s %ld KiB%s; sha256sum %.3f s %ld KiB\n",
                round, oursSeconds, ours.peakKib, accepted ? "" : " REJECTED", peerSeconds, peerPeak,
                verified ? "" : " REJECTED", seconds, peak);
  }
  std::printf("time: ours %.3f s, osslsigncode verify %.3f s, sha256sum %.3f s\n", ours.seconds / kRounds,
              osslsigncode.seconds / kRounds, sha256sum.seconds / kRounds);
  std::printf("ratio (ours/osslsigncode verify): time %.2f, peak memory %.3f\n", ours.seconds / osslsigncode.seconds,
              static_cast<double>(ours.peakKib) / static_cast<double>(osslsigncode.peakKib));
  std::printf("ratio (ours/sha256sum): time %.2f, peak memory %.2f\n", ours.seconds / sha256sum.seconds,
              static_cast<double>(ours.peakKib) / static_cast<double>(sha256sum.peakKib));
  std::printf("peak memory: ours %ld KiB, osslsigncode verify %ld KiB, sha256sum %ld KiB\n", ours.peakKib,
              osslsigncode.peakKib, sha256sum.peakKib);
  if (!ours.ok || !osslsigncode.ok) std::printf("VERIFICATION MISMATCH\n");
  return ours.ok && osslsigncode.ok ? 0 : 1;
}
