// Benchmark of the installer's file MD5 against md5sum on the same file:
// alternating rounds, equal digests required, time and peak memory ratio.
//
// Usage: bench_md5 [size in MiB, default 1024]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "system/md5_checksum.h"

namespace {

constexpr int kRounds = 3;

// Writes `bytes` pseudo-random bytes to `file` unless it already has that size.
bool PrepareFile(const std::filesystem::path& file, std::uint64_t bytes) {
  std::error_code error;
  if (std::filesystem::exists(file, error) && std::filesystem::file_size(file, error) == bytes) {
    return true;
  }
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  std::mt19937_64 random(20240611);
  std::vector<std::uint64_t> chunk(1 << 17);  // 1 MiB
  for (std::uint64_t written = 0; written < bytes;) {
    for (auto& word : chunk) word = random();
    const std::uint64_t size = std::min<std::uint64_t>(bytes - written, chunk.size() * sizeof(std::uint64_t));
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(size));
    written += size;
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  long mib = 1024;
  if (argc > 1) {
    mib = std::strtol(argv[1], nullptr, 10);
    if (mib <= 0) {
      std::fprintf(stderr, "usage: %s [size in MiB]\n", argv[0]);
      return 2;
    }
  }
  platform::Machine::Current();
  const std::wstring windowsPath = L"C:\\Temp\\bvl_bench\\md5_" + std::to_wstring(mib) + L"MiB.bin";
  const auto host = platform::ToHostPath(windowsPath);
  if (!host) {
    std::fprintf(stderr, "no host path for the benchmark file\n");
    return 1;
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(mib) << 20;
  std::printf("file %s (%ld MiB)\n", host->string().c_str(), mib);
  if (!PrepareFile(*host, bytes)) {
    std::fprintf(stderr, "cannot write %s\n", host->string().c_str());
    return 1;
  }

  double oursTotal = 0;
  double theirsTotal = 0;
  long theirsPeak = 0;
  bool digestsEqual = true;
  const std::string command = "/usr/bin/time -f 'MAXRSS %M' md5sum '" + host->string() + "' 2>&1";
  for (int round = 1; round <= kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    const std::wstring ours = GetFileMD5(windowsPath);
    const double oursSeconds = bench::SecondsSince(start);

    start = std::chrono::steady_clock::now();
    const std::string output = bench::CommandOutput(command);
    const double theirsSeconds = bench::SecondsSince(start);

    const std::string theirs = output.substr(0, output.find(' '));
    theirsPeak = std::max(theirsPeak, bench::ReportedMaxRss(output));
    const std::string oursNarrow(ours.begin(), ours.end());
    const bool equal = !ours.empty() && oursNarrow == theirs;
    digestsEqual = digestsEqual && equal;
    oursTotal += oursSeconds;
    theirsTotal += theirsSeconds;
    std::printf("round %d: ours %.3f s (%.0f MiB/s) %s, md5sum %.3f s (%.0f MiB/s) %s%s\n", round, oursSeconds,
                mib / oursSeconds, oursNarrow.c_str(), theirsSeconds, mib / theirsSeconds, theirs.c_str(),
                equal ? "" : "  DIGESTS DIFFER");
  }

  const double ratio = oursTotal / theirsTotal;
  std::printf("md5 ratio (ours/md5sum): %.2f  target <= 1.15\n", ratio);
  std::printf("peak memory: ours %ld KiB, md5sum %ld KiB\n", bench::PeakKib(), theirsPeak);
  if (!digestsEqual) {
    std::printf("DIGEST MISMATCH\n");
  }
  if (ratio > 1.15) {
    std::printf("TARGET MISSED\n");
  }
  return 0;
}
