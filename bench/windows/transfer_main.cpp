// The Windows build's download and digest, timed: DownloadFile of one address
// into one file, then GetFileMD5 of that file, for a number of rounds. Run by
// bench/windows/transfer.sh under Wine, which times curl and md5sum on the
// same file and prints the ratios.
//
//   bench_windows_transfer <url> <windows-path> <rounds>
//
// Prints one line per round: "<download ms> <md5 ms> <digest>", and exits 1
// when a download fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "settings/http_client.h"
#include "system/md5_checksum.h"

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <url> <windows-path> <rounds>\n", argv[0]);
    return 2;
  }
  const std::wstring url = platform::Utf8ToWide(argv[1]);
  const std::wstring path = platform::Utf8ToWide(argv[2]);
  const int rounds = std::atoi(argv[3]);
  for (int round = 0; round < rounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    const std::int32_t downloaded = DownloadFile({url, {}, path});
    const double downloadMs = MillisecondsSince(start);
    if (downloaded != 1) {
      std::fprintf(stderr, "download of %s failed\n", argv[1]);
      return 1;
    }
    start = std::chrono::steady_clock::now();
    const std::wstring digest = GetFileMD5(path);
    const double md5Ms = MillisecondsSince(start);
    std::printf("%.1f %.1f %s\n", downloadMs, md5Ms, platform::WideToUtf8(digest).c_str());
    std::fflush(stdout);
  }
  return 0;
}
