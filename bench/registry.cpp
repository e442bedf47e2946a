// Registry benchmark: a large registry (many small keys and one large value)
// on a fresh machine. Prints how big the registry file is against the bytes
// written, and the time of a write (RegSetValueExW, the whole read-modify-
// write) and of a fresh read (RegQueryValueExW after another process would
// have replaced the file) against peers on the same file in the same run:
// cp and cat for the bytes alone, Python's json for a JSON reader and writer.
//
//   bench_registry [value size in MiB]      (default 100)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/codepage.h"
#include "platform/sim/machine/machine.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 2;
constexpr int kSmallKeys = 20000;
// A registry file may be at most this much larger than the bytes it holds.
constexpr double kSizeTarget = 1.5;
// Our write and read against Python's json on the same file. The read is
// bound by the lexer of the JSON library (about 40 MB/s on long strings,
// where Python's C scanner is several times faster).
constexpr double kWriteTarget = 1.5;
constexpr double kReadTarget = 5.0;

const std::wstring kBigKey = L"SOFTWARE\\Bench\\Large";

// Pseudo-random bytes (xorshift).
std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    bytes[i] = static_cast<char>(seed);
  }
  return bytes;
}

// UTF-16LE text of `size` bytes: log-like lines with a Korean word in each.
std::string TextBytes(std::size_t size) {
  std::wstring text;
  unsigned n = 0;
  while (text.size() * 2 < size) {
    text += L"2026-12-09 10:00:" + std::to_wstring(n % 60) + L" 에이전트 event " + std::to_wstring(n) + L" state=running\r\n";
    ++n;
  }
  text.resize(size / 2);
  return platform::WideToUtf16Le(text);
}

bool SetValue(win::DWORD type, const std::string& data) {
  win::HKEY key = nullptr;
  if (win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, kBigKey, 0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                           nullptr, &key, nullptr) != 0) {
    return false;
  }
  bool ok = win::RegSetValueExW(key, L"Data", 0, type, reinterpret_cast<const win::BYTE*>(data.data()),
                                static_cast<win::DWORD>(data.size())) == 0;
  win::RegCloseKey(key);
  return ok;
}

bool QueryValue(std::string* data) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kBigKey, 0, win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY, &key) != 0) {
    return false;
  }
  win::DWORD size = 0;
  bool ok = win::RegQueryValueExW(key, L"Data", nullptr, nullptr, nullptr, &size) == 0;
  data->assign(size, '\0');
  ok = ok && win::RegQueryValueExW(key, L"Data", nullptr, nullptr, reinterpret_cast<win::BYTE*>(data->data()), &size) == 0;
  win::RegCloseKey(key);
  return ok;
}

// Makes the file look replaced by another process, so that the next read parses it.
void Touch(const fs::path& file) {
  std::error_code error;
  fs::last_write_time(file, fs::last_write_time(file, error) + std::chrono::seconds(1), error);
}

double Seconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return bench::SecondsSince(start);
}

struct Figures {
  double write = 0, read = 0, cp = 0, cat = 0, pyLoad = 0, pyDump = 0;
};

// Python's json on the same file: "load <s> dump <s>".
void PythonJson(const fs::path& file, Figures* figures) {
  std::string script =
      "import json,sys,time\n"
      "t=time.perf_counter(); d=json.load(open(sys.argv[1],encoding='utf-8')); a=time.perf_counter()-t\n"
      "t=time.perf_counter(); json.dump(d,open(sys.argv[2],'w',encoding='utf-8'),indent=1,ensure_ascii=False); "
      "b=time.perf_counter()-t\n"
      "print(a,b)\n";
  std::string output = bench::CommandOutput("python3 -c \"" + script + "\" '" + file.string() + "' '" +
                                            file.string() + ".py'");
  std::sscanf(output.c_str(), "%lf %lf", &figures->pyLoad, &figures->pyDump);
  std::error_code ignored;
  fs::remove(file.string() + ".py", ignored);
}

bool RunCase(const char* name, win::DWORD type, const std::string& data, const fs::path& file, bool* missed) {
  Figures total;
  for (int round = 1; round <= kRounds; ++round) {
    Figures f;
    // A changed first byte makes every round a real write.
    std::string written = data;
    written[0] = static_cast<char>(written[0] ^ round);
    auto start = std::chrono::steady_clock::now();
    if (!SetValue(type, written)) return false;
    f.write = bench::SecondsSince(start);
    Touch(file);
    std::string back;
    start = std::chrono::steady_clock::now();
    if (!QueryValue(&back)) return false;
    f.read = bench::SecondsSince(start);
    if (back != written) {
      std::printf("%s: THE VALUE READ BACK DIFFERS\n", name);
      *missed = true;
    }
    f.cp = Seconds("cp '" + file.string() + "' '" + file.string() + ".copy'");
    f.cat = Seconds("cat '" + file.string() + "' > /dev/null");
    PythonJson(file, &f);
    std::error_code ignored;
    fs::remove(file.string() + ".copy", ignored);
    std::printf("%s round %d: write %.3f s (cp %.3f, python %.3f), read %.3f s (cat %.3f, python %.3f)\n", name, round,
                f.write, f.cp, f.pyDump, f.read, f.cat, f.pyLoad);
    total.write += f.write;
    total.read += f.read;
    total.cp += f.cp;
    total.cat += f.cat;
    total.pyLoad += f.pyLoad;
    total.pyDump += f.pyDump;
  }
  const double fileBytes = static_cast<double>(fs::file_size(file));
  const double sizeRatio = fileBytes / static_cast<double>(data.size());
  const double writePy = total.write / total.pyDump;
  const double readPy = total.read / total.pyLoad;
  std::printf("%s: value %.1f MiB, registry file %.1f MiB, size ratio (file/value) %.2f  target <= %.2f\n", name,
              data.size() / 1048576.0, fileBytes / 1048576.0, sizeRatio, kSizeTarget);
  std::printf("%s: write ratio ours/cp %.1f, ours/python %.2f  target <= %.1f against python\n", name,
              total.write / total.cp, writePy, kWriteTarget);
  std::printf("%s: read ratio ours/cat %.1f, ours/python %.2f  target <= %.1f against python\n", name,
              total.read / total.cat, readPy, kReadTarget);
  if (sizeRatio > kSizeTarget || writePy > kWriteTarget || readPy > kReadTarget) *missed = true;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long mib = 100;
  if (argc > 1) {
    mib = std::strtol(argv[1], nullptr, 10);
    if (mib <= 0 || mib > 2000) {
      std::fprintf(stderr, "usage: %s [value size in MiB]\n", argv[0]);
      return 2;
    }
  }
  char pattern[] = "/tmp/bvl-bench-registry.XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const fs::path machine = fs::path(pattern) / "machine";
  if (!bench::UseNewMachine(machine)) return 1;
  platform::ChangeRegistry([](platform::RegistryTree& tree) {
    for (int i = 0; i < kSmallKeys; ++i) {
      platform::RegistryKeyRecord& key =
          platform::EnsureRegistryKey(tree, L"HKLM\\SOFTWARE\\Bench\\Small\\Key" + std::to_wstring(i));
      key.values[L"name"] = {L"Name", 1, platform::WideToUtf16Le(L"value " + std::to_wstring(i))};
      key.values[L"count"] = {L"Count", 4, std::string("\x01\x00\x00\x00", 4)};
    }
    return true;
  });
  const fs::path file = machine / "registry.json";
  std::printf("registry of %d small keys and one value of %ld MiB in %s\n", kSmallKeys, mib, file.c_str());
  const std::size_t bytes = static_cast<std::size_t>(mib) << 20;
  bool missed = false;
  bool ok = RunCase("REG_SZ text", win::REG_SZ, TextBytes(bytes), file, &missed) &&
            RunCase("REG_BINARY random", win::REG_BINARY, RandomBytes(bytes, 20240611), file, &missed);
  std::printf("peak memory: %ld KiB\n", bench::PeakKib());
  if (missed) std::printf("TARGET MISSED\n");
  std::error_code ignored;
  fs::remove_all(pattern, ignored);
  return ok ? 0 : 1;
}
