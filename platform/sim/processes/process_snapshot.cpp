// The process snapshot over Linux: threads from /proc/self/task, stopped with
// a signal of their own while the capture reads them; modules from the
// dynamic loader; readable memory from /proc/self/maps.
#include "platform/process_snapshot.h"

#include <dirent.h>
#include <elf.h>
#include <link.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "platform/sim/processes/host_process.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/processes/thread_context.h"

namespace platform {
namespace {

// A real-time signal that nothing else of the program uses.
int StopSignal() { return SIGRTMAX - 2; }
constexpr long kStopWaitMilliseconds = 2000;

struct Region {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool readable = false;
};

std::vector<Region> ReadRegions() {
  std::vector<Region> regions;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    Region region;
    char permissions[5] = {};
    unsigned long long start = 0, end = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %4s", &start, &end, permissions) != 3) continue;
    region.start = start;
    region.end = end;
    region.readable = permissions[0] == 'r';
    regions.push_back(region);
  }
  return regions;
}

// The readable region that holds `address`, or null.
const Region* ReadableAt(const std::vector<Region>& regions, std::uint64_t address) {
  for (const Region& r : regions) {
    if (address >= r.start && address < r.end) return r.readable ? &r : nullptr;
  }
  return nullptr;
}

bool RangeReadable(const std::vector<Region>& regions, std::uint64_t address, std::size_t size) {
  std::uint64_t at = address;
  const std::uint64_t end = address + size;
  if (end < address) return false;
  while (at < end) {
    const Region* region = ReadableAt(regions, at);
    if (region == nullptr) return false;
    at = region->end;
  }
  return true;
}

// The stack memory of a thread whose stack pointer is `sp`: from just below
// it (the red zone) upwards within its region. A thread that overflowed its
// stack has its stack pointer in the guard area: its stack then starts at
// the first readable region above.
void StackRange(const std::vector<Region>& regions, std::uint64_t sp, std::size_t limit, std::uint64_t* start,
                std::size_t* size) {
  *start = 0;
  *size = 0;
  const std::uint64_t low = sp >= 128 ? sp - 128 : 0;
  const Region* region = ReadableAt(regions, low);
  std::uint64_t from = low;
  if (region == nullptr) region = ReadableAt(regions, sp);
  if (region == nullptr) {
    for (const Region& r : regions) {
      if (r.readable && r.start > sp && r.start - sp < 1024 * 1024) {
        region = &r;
        break;
      }
    }
    if (region == nullptr) return;
    from = region->start;
  } else if (from < region->start) {
    from = region->start;
  }
  *start = from;
  *size = static_cast<std::size_t>(std::min<std::uint64_t>(region->end - from, limit));
}

std::vector<pid_t> ThreadIds() {
  std::vector<pid_t> ids;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return ids;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    ids.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
  }
  closedir(dir);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// One stopped thread's registers, written by the thread itself in the stop
// signal's handler.
struct StopSlot {
  pid_t tid = 0;
  std::atomic<int> state{0};  // 0 asked, 1 stopped (context valid), 2 resumed
  win::CONTEXT context{};
};

struct StopTable {
  StopSlot* slots = nullptr;
  std::size_t count = 0;
};

std::atomic<StopTable*> g_table{nullptr};
std::atomic<int> g_release{0};

long Futex(std::atomic<int>* word, int operation, int value, const timespec* timeout) {
  return syscall(SYS_futex, reinterpret_cast<int*>(word), operation, value, timeout, nullptr, 0);
}

void OnStopSignal(int, siginfo_t*, void* raw) {
  const int savedErrno = errno;
  StopTable* table = g_table.load();
  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  StopSlot* slot = nullptr;
  for (std::size_t i = 0; table != nullptr && i < table->count; ++i) {
    if (table->slots[i].tid == self) slot = &table->slots[i];
  }
  if (slot != nullptr && slot->state.load() == 0) {
    ContextFromSignal(raw, &slot->context);
    slot->state = 1;
    while (g_release.load() == 0) Futex(&g_release, FUTEX_WAIT_PRIVATE, 0, nullptr);
    slot->state = 2;
  }
  errno = savedErrno;
}

void InstallStopHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnStopSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(StopSignal(), &action, nullptr);
  });
}

long long NowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits until every slot has at least reached `state`, at most the stop wait.
void AwaitSlots(StopSlot* slots, std::size_t count, int state) {
  const long long deadline = NowMilliseconds() + kStopWaitMilliseconds;
  while (NowMilliseconds() < deadline) {
    bool all = true;
    for (std::size_t i = 0; i < count; ++i) all = all && slots[i].state.load() >= state;
    if (all) return;
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
}

std::string BuildIdOf(const dl_phdr_info* info) {
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_NOTE) continue;
    const auto* at = reinterpret_cast<const std::uint8_t*>(info->dlpi_addr + header.p_vaddr);
    const std::uint8_t* end = at + header.p_memsz;
    while (at + sizeof(ElfW(Nhdr)) <= end) {
      const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
      const std::uint8_t* name = at + sizeof(ElfW(Nhdr));
      const std::uint8_t* desc = name + ((note->n_namesz + 3) & ~3u);
      if (desc + note->n_descsz > end) break;
      if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
        return std::string(reinterpret_cast<const char*>(desc), note->n_descsz);
      }
      at = desc + ((note->n_descsz + 3) & ~3u);
    }
  }
  return std::string();
}

int AddModule(dl_phdr_info* info, std::size_t, void* data) {
  auto* modules = static_cast<std::vector<ModuleSnapshot>*>(data);
  std::string file = info->dlpi_name != nullptr ? info->dlpi_name : "";
  if (file.empty()) {
    std::error_code error;
    file = std::filesystem::read_symlink("/proc/self/exe", error).string();
  }
  if (file.empty() || file[0] != '/') return 0;  // the kernel's vDSO has no file
  std::uint64_t low = ~std::uint64_t{0};
  std::uint64_t high = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD) continue;
    low = std::min<std::uint64_t>(low, info->dlpi_addr + header.p_vaddr);
    high = std::max<std::uint64_t>(high, info->dlpi_addr + header.p_vaddr + header.p_memsz);
  }
  if (high <= low) return 0;
  ModuleSnapshot module;
  module.base = low & ~std::uint64_t{0xFFF};
  module.size = high - module.base;
  module.path = ToWindowsPath(file);
  module.buildId = BuildIdOf(info);
  struct stat status {};
  if (::stat(file.c_str(), &status) == 0) module.timeDateStamp = static_cast<std::uint32_t>(status.st_mtime);
  modules->push_back(std::move(module));
  return 0;
}

void ReadProcessTimes(ProcessSnapshot* snapshot) {
  std::vector<std::string> values;
  if (!ReadHostProcessStat(static_cast<int>(getpid()), &values) || values.size() <= kStatStartTime) return;
  const long ticks = sysconf(_SC_CLK_TCK);
  const unsigned long long utime = std::strtoull(values[kStatUserTime].c_str(), nullptr, 10);
  const unsigned long long stime = std::strtoull(values[kStatKernelTime].c_str(), nullptr, 10);
  const unsigned long long start = std::strtoull(values[kStatStartTime].c_str(), nullptr, 10);
  snapshot->userSeconds = static_cast<std::uint32_t>(utime / ticks);
  snapshot->kernelSeconds = static_cast<std::uint32_t>(stime / ticks);
  timespec boot{};
  clock_gettime(CLOCK_BOOTTIME, &boot);
  const long long uptime = boot.tv_sec;
  const long long now = static_cast<long long>(::time(nullptr));
  snapshot->createTime = static_cast<std::uint32_t>(now - uptime + static_cast<long long>(start / ticks));
}

// Copies memory of another (stopped) thread's stack. Under AddressSanitizer
// its frames carry poisoned red zones, which are still the thread's mapped
// memory: the copy reads them byte by byte, unchecked, and never through an
// intercepted memcpy.
__attribute__((no_sanitize("address"))) void CopyRaw(std::uint8_t* to, std::uint64_t from, std::size_t size) {
  const volatile std::uint8_t* source = reinterpret_cast<const volatile std::uint8_t*>(from);
  for (std::size_t i = 0; i < size; ++i) to[i] = source[i];
}

void CopyStack(const std::vector<Region>& regions, std::uint64_t sp, std::size_t limit, ThreadSnapshot* thread) {
  std::uint64_t start = 0;
  std::size_t size = 0;
  StackRange(regions, sp, limit, &start, &size);
  thread->stackStart = start;
  // The buffer was sized before the threads stopped: no allocation here.
  size = std::min(size, thread->stack.size());
  if (size > 0) CopyRaw(thread->stack.data(), start, size);
  thread->stack.resize(size);
}

}  // namespace

ProcessSnapshot CaptureProcess(win::DWORD requestingThread, const win::CONTEXT& requestingContext,
                               std::size_t stackLimit) {
  ProcessSnapshot snapshot;
  dl_iterate_phdr(AddModule, &snapshot.modules);
  std::sort(snapshot.modules.begin() + (snapshot.modules.empty() ? 0 : 1), snapshot.modules.end(),
            [](const ModuleSnapshot& a, const ModuleSnapshot& b) { return a.base < b.base; });
  ReadProcessTimes(&snapshot);
  const std::vector<Region> regions = ReadRegions();

  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  std::vector<pid_t> others;
  for (pid_t tid : ThreadIds()) {
    if (tid != self && tid != static_cast<pid_t>(requestingThread)) others.push_back(tid);
  }
  // Everything is allocated before any thread stops: a stopped thread may
  // hold the allocator's lock.
  snapshot.threads.resize(1 + others.size());
  for (ThreadSnapshot& thread : snapshot.threads) thread.stack.assign(stackLimit, 0);
  snapshot.threads[0].threadId = requestingThread;
  snapshot.threads[0].hasContext = true;
  snapshot.threads[0].context = requestingContext;
  auto table = std::make_unique<StopTable>();
  std::unique_ptr<StopSlot[]> slots(new StopSlot[others.size() + 1]);
  for (std::size_t i = 0; i < others.size(); ++i) {
    slots[i].tid = others[i];
    snapshot.threads[i + 1].threadId = static_cast<win::DWORD>(others[i]);
  }
  table->slots = slots.get();
  table->count = others.size();

  InstallStopHandler();
  g_release = 0;
  g_table = table.get();
  const pid_t process = getpid();
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (syscall(SYS_tgkill, process, others[i], StopSignal()) != 0) slots[i].state = 2;  // already gone
  }
  AwaitSlots(slots.get(), others.size(), 1);

  CopyStack(regions, requestingContext.Rsp, stackLimit, &snapshot.threads[0]);
  bool allAnswered = true;
  for (std::size_t i = 0; i < others.size(); ++i) {
    ThreadSnapshot& thread = snapshot.threads[i + 1];
    if (slots[i].state.load() == 1) {
      thread.hasContext = true;
      thread.context = slots[i].context;
      CopyStack(regions, thread.context.Rsp, stackLimit, &thread);
    } else {
      thread.stack.clear();
      allAnswered = allAnswered && slots[i].state.load() == 2;
    }
  }

  g_release = 1;
  Futex(&g_release, FUTEX_WAKE_PRIVATE, 0x7FFFFFFF, nullptr);
  AwaitSlots(slots.get(), others.size(), 2);
  for (std::size_t i = 0; i < others.size(); ++i) allAnswered = allAnswered && slots[i].state.load() == 2;
  g_table = nullptr;
  if (!allAnswered) {
    // A thread that has not answered yet may still run the stop handler
    // later and read its slot: the slots stay allocated.
    table.release();
    slots.release();
  }
  return snapshot;
}

bool ReadOwnMemory(std::uint64_t address, std::size_t size, std::vector<std::uint8_t>* bytes) {
  if (!RangeReadable(ReadRegions(), address, size)) return false;
  bytes->resize(size);
  CopyRaw(bytes->data(), address, size);
  return true;
}

}  // namespace platform
