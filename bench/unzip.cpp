// Unpacking benchmark: UnzipArchive against Info-ZIP "unzip -o" on the same
// archives, made with Info-ZIP "zip": one of mixed files (text that
// compresses well, random bytes that do not, many small files in nested
// folders, a few large ones), and one of many small entries in one folder.
// Alternating rounds into fresh folders; both trees must be equal.
//
//   bench_unzip [unpacked size in MiB] [small entries]
//       (defaults 180, an archive of about 130 MB, and 50000; 0 skips a case)
//
// Each of our rounds runs in a child process of this program ("--one" mode)
// so that its peak resident memory belongs to that unpacking only.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/unzip_archive.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;
constexpr double kRatioTarget = 1.25;

class Bytes {
 public:
  // Pseudo-random bytes (xorshift): do not compress.
  void Random(std::vector<char>* block) {
    for (std::size_t i = 0; i + 4 <= block->size(); i += 4) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 17;
      state_ ^= state_ << 5;
      std::memcpy(block->data() + i, &state_, 4);
    }
  }
  // Log-like lines: compress about five to one.
  void Text(std::vector<char>* block) {
    std::size_t at = 0;
    while (at < block->size()) {
      Random(&word_);
      char line[96];
      const int n = std::snprintf(line, sizeof line, "2026-12-09 10:%02u:%02u agent[%u] event %u state=%s\n",
                                  static_cast<unsigned char>(word_[0]) % 60, static_cast<unsigned char>(word_[1]) % 60,
                                  static_cast<unsigned char>(word_[2]) % 16, static_cast<unsigned char>(word_[3]),
                                  (word_[0] & 1) ? "running" : "stopped");
      const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), block->size() - at);
      std::memcpy(block->data() + at, line, take);
      at += take;
    }
  }

 private:
  std::uint32_t state_ = 2463534242u;
  std::vector<char> word_ = std::vector<char>(4);
};

bool WriteFile(const fs::path& path, std::uint64_t size, bool text, Bytes* bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 20);
  for (std::uint64_t written = 0; written < size && out;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size - written, block.size()));
    block.resize(piece);
    text ? bytes->Text(&block) : bytes->Random(&block);
    out.write(block.data(), static_cast<std::streamsize>(piece));
    written += piece;
  }
  return static_cast<bool>(out);
}

// The source tree: three quarters of the bytes in four large files (three
// random, one text), the rest spread over small files in nested folders.
bool MakeTree(const fs::path& tree, long mebibytes) {
  Bytes bytes;
  const std::uint64_t total = static_cast<std::uint64_t>(mebibytes) << 20;
  for (int i = 0; i < 4; ++i) {
    const bool text = i == 3;
    if (!WriteFile(tree / ("large" + std::to_string(i) + (text ? ".log" : ".bin")), total * 3 / 16, text, &bytes)) {
      return false;
    }
  }
  const std::uint64_t smallSize = 48 * 1024;
  const std::uint64_t smallCount = (total / 4) / smallSize;
  for (std::uint64_t i = 0; i < smallCount; ++i) {
    const fs::path file = tree / ("dir" + std::to_string(i % 16)) / ("sub" + std::to_string(i % 5)) /
                          ("file" + std::to_string(i) + (i % 3 ? ".txt" : ".dat"));
    if (!WriteFile(file, smallSize - (i % 7) * 1000, i % 3 != 0, &bytes)) return false;
  }
  return true;
}

// `count` files of a few hundred bytes each in one folder: the case where a
// lookup that reads the folder for every new name grows quadratically.
bool MakeManyFiles(const fs::path& tree, long count) {
  const fs::path folder = tree / "many";
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return false;
  for (long i = 0; i < count; ++i) {
    std::ofstream out(folder / ("entry" + std::to_string(i) + ".txt"), std::ios::binary);
    out << "entry " << i << " of the many-files case\n" << std::string(static_cast<std::size_t>(i % 400), 'x') << "\n";
    if (!out) return false;
  }
  return true;
}

// Number of files and their total size below a folder.
std::pair<std::uint64_t, std::uint64_t> TreeSummary(const fs::path& folder) {
  std::uint64_t files = 0, size = 0;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file()) {
      ++files;
      size += it->file_size();
    }
  }
  return {files, size};
}

// One unpacking in this process; prints "<result> <peak KiB>".
int RunOne(const std::string& archive, const std::string& destination) {
  platform::Machine::Current();
  const win::BOOL result =
      UnzipArchive(std::wstring(archive.begin(), archive.end()), std::wstring(destination.begin(), destination.end()), L"");
  std::printf("%d %ld\n", result, bench::PeakKib());
  return result ? 0 : 1;
}

bool RunChild(const std::string& self, const std::string& archive, const std::string& destination, long* peakKib) {
  const std::string output = bench::RunSelfOnce(self, {archive, destination});
  int result = 0;
  std::istringstream(output) >> result >> *peakKib;
  return result == 1;
}

// One case: makes the archive once (cached in the case's folder), then
// alternates our unpacking and "unzip -o" into fresh folders. False when the
// archive cannot be made or the trees differ; the ratio goes to `ratio`.
bool RunCase(const std::string& title, const std::wstring& work,
             const std::function<bool(const fs::path& tree)>& makeTree, double* ratio) {
  const auto host = platform::ToHostPath(work);
  if (!host) {
    std::fprintf(stderr, "no host path for the benchmark folder\n");
    return false;
  }
  const fs::path archive = *host / "case.zip";
  std::error_code error;
  if (!fs::exists(archive, error)) {
    std::printf("making the tree and archive of %s in %s\n", title.c_str(), host->string().c_str());
    fs::remove_all(*host / "tree", error);
    if (!makeTree(*host / "tree")) {
      std::fprintf(stderr, "cannot write the source tree\n");
      return false;
    }
    const std::string zip = "cd '" + (*host / "tree").string() + "' && zip -q -r -X '" + archive.string() + "' .";
    if (std::system(zip.c_str()) != 0) {
      std::fprintf(stderr, "zip failed (is Info-ZIP zip installed?)\n");
      return false;
    }
    fs::remove_all(*host / "tree", error);
  }
  std::printf("== %s: archive %s (%.1f MiB)\n", title.c_str(), archive.string().c_str(),
              fs::file_size(archive) / 1048576.0);

  const std::string self = fs::canonical("/proc/self/exe").string();
  const std::string workText(work.begin(), work.end());
  const fs::path ours = *host / "ours";
  const fs::path theirs = *host / "theirs";
  double oursTotal = 0, theirsTotal = 0;
  long oursPeak = 0, theirsPeak = 0;
  bool equal = true;
  for (int round = 1; round <= kRounds; ++round) {
    fs::remove_all(ours, error);
    fs::remove_all(theirs, error);
    fs::create_directories(ours);
    // The removal of the last round's trees is written out first, so that
    // neither side pays for it; and the two take turns going first.
    ::sync();

    double oursSeconds = 0, theirsSeconds = 0;
    long peak = 0;
    bool unpacked = false;
    std::string output;
    const auto runOurs = [&] {
      const auto start = std::chrono::steady_clock::now();
      unpacked = RunChild(self, workText + "\\case.zip", workText + "\\ours", &peak);
      oursSeconds = bench::SecondsSince(start);
      ::sync();
    };
    const auto runTheirs = [&] {
      const auto start = std::chrono::steady_clock::now();
      output = bench::CommandOutput("/usr/bin/time -f 'MAXRSS %M' unzip -o -q '" + archive.string() + "' -d '" +
                                    theirs.string() + "' 2>&1");
      theirsSeconds = bench::SecondsSince(start);
      ::sync();
    };
    if (round % 2 == 1) {
      runOurs();
      runTheirs();
    } else {
      runTheirs();
      runOurs();
    }

    const auto oursSummary = TreeSummary(ours);
    const auto theirsSummary = TreeSummary(theirs);
    const bool same = unpacked && oursSummary == theirsSummary && oursSummary.first > 0;
    equal = equal && same;
    oursTotal += oursSeconds;
    theirsTotal += theirsSeconds;
    oursPeak = std::max(oursPeak, peak);
    theirsPeak = std::max(theirsPeak, bench::ReportedMaxRss(output));
    std::printf("round %d: ours %.3f s, unzip %.3f s; %llu files, %llu bytes%s\n", round, oursSeconds, theirsSeconds,
                static_cast<unsigned long long>(oursSummary.first), static_cast<unsigned long long>(oursSummary.second),
                same ? "" : "  TREES DIFFER");
  }
  fs::remove_all(ours, error);
  fs::remove_all(theirs, error);

  *ratio = oursTotal / theirsTotal;
  std::printf("unzip ratio (ours/unzip -o) for %s: %.2f  target <= %.2f\n", title.c_str(), *ratio, kRatioTarget);
  std::printf("peak memory: ours %ld KiB, unzip %ld KiB\n", oursPeak, theirsPeak);
  if (!equal) std::printf("TREE MISMATCH\n");
  if (*ratio > kRatioTarget) std::printf("TARGET MISSED\n");
  return equal;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--one") return RunOne(argv[2], argv[3]);
  long mib = 180;
  long entries = 50000;
  if (argc > 1) mib = std::strtol(argv[1], nullptr, 10);
  if (argc > 2) entries = std::strtol(argv[2], nullptr, 10);
  if (argc > 3 || mib < 0 || entries < 0 || (mib == 0 && entries == 0)) {
    std::fprintf(stderr, "usage: %s [size-in-MiB] [small-entries]   (0 skips a case)\n", argv[0]);
    return 2;
  }
  platform::Machine::Current();
  bool ok = true;
  double ratio = 0;
  if (mib > 0) {
    ok = RunCase("mixed files, " + std::to_string(mib) + " MiB",
                 L"C:\\Temp\\bvl_bench\\unzip_" + std::to_wstring(mib) + L"MiB",
                 [mib](const fs::path& tree) { return MakeTree(tree, mib); }, &ratio) && ok;
  }
  if (entries > 0) {
    ok = RunCase(std::to_string(entries) + " small entries in one folder",
                 L"C:\\Temp\\bvl_bench\\unzip_" + std::to_wstring(entries) + L"entries",
                 [entries](const fs::path& tree) { return MakeManyFiles(tree, entries); }, &ratio) && ok;
  }
  return ok ? 0 : 1;
}
