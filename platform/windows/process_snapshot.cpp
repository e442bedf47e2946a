// The process snapshot on the system's calls: this process's threads from a
// thread snapshot, each suspended while its registers and stack are read;
// modules from the loader's list; memory read with ReadProcessMemory, which
// fails instead of faulting on memory that cannot be read.
#include "platform/process_snapshot.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/windows/windows_api.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace platform {

namespace {

// 100-nanosecond ticks between 1601 (the system's epoch) and 1970.
constexpr unsigned long long kUnixEpochTicks = 116444736000000000ULL;
constexpr unsigned long long kTicksPerSecond = 10000000ULL;

unsigned long long Ticks(const ::FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether every page of the range is committed memory that may be read.
// (Wine's ReadProcessMemory on this process reads pages that are only
// reserved as zeros instead of failing.)
bool Readable(std::uintptr_t address, std::size_t size) {
  const std::uintptr_t end = address + size;
  for (std::uintptr_t at = address; at < end;) {
    ::MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != sizeof region) return false;
    const ::DWORD unreadable = PAGE_NOACCESS | PAGE_GUARD;
    if (region.State != MEM_COMMIT || (region.Protect & unreadable) || region.Protect == 0) return false;
    at = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return true;
}

// The interface's context has the x64 layout. A 64-bit program's context is
// that layout already; a 32-bit program's registers go to their x64
// counterparts (EAX to RAX, ESP to RSP, EIP to RIP, ...).
void ToInterfaceContext(const ::CONTEXT& from, win::CONTEXT* to) {
#if defined(_WIN64)
  static_assert(sizeof(::CONTEXT) == sizeof(win::CONTEXT), "the x64 context of the system and of the interface");
  std::memcpy(static_cast<void*>(to), &from, sizeof from);
#else
  // CONTEXT_AMD64 with its control, integer and segment registers: the x87
  // floating-point state has no place in the x64 layout.
  constexpr ::DWORD kRegistersGiven = 0x00100007;
  *to = win::CONTEXT{};
  to->ContextFlags = kRegistersGiven;
  to->Rax = from.Eax;
  to->Rbx = from.Ebx;
  to->Rcx = from.Ecx;
  to->Rdx = from.Edx;
  to->Rsi = from.Esi;
  to->Rdi = from.Edi;
  to->Rbp = from.Ebp;
  to->Rsp = from.Esp;
  to->Rip = from.Eip;
  to->EFlags = from.EFlags;
  to->SegCs = static_cast<win::WORD>(from.SegCs);
  to->SegDs = static_cast<win::WORD>(from.SegDs);
  to->SegEs = static_cast<win::WORD>(from.SegEs);
  to->SegFs = static_cast<win::WORD>(from.SegFs);
  to->SegGs = static_cast<win::WORD>(from.SegGs);
  to->SegSs = static_cast<win::WORD>(from.SegSs);
#endif
}

// Copies the stack above `sp` within its committed region, at most as many
// bytes as `thread->stack` was given before the threads stopped (nothing may
// allocate while another thread is suspended: it may hold the heap's lock).
void CopyStack(std::uint64_t sp, ThreadSnapshot* thread) {
  thread->stackStart = sp;
  ::MEMORY_BASIC_INFORMATION region{};
  const auto* at = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(sp));
  std::size_t size = 0;
  if (::VirtualQuery(at, &region, sizeof region) == sizeof region && region.State == MEM_COMMIT) {
    const auto end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
    size = std::min<std::size_t>(end - static_cast<std::uintptr_t>(sp), thread->stack.size());
  }
  ::SIZE_T read = 0;
  if (size == 0 || !Readable(static_cast<std::uintptr_t>(sp), size) ||
      !::ReadProcessMemory(::GetCurrentProcess(), at, thread->stack.data(), size, &read)) {
    read = 0;
  }
  thread->stack.resize(read);
}

std::vector<ModuleSnapshot> Modules() {
  std::vector<ModuleSnapshot> modules;
  std::vector<::HMODULE> handles(256);
  ::DWORD bytes = 0;
  while (::K32EnumProcessModules(::GetCurrentProcess(), handles.data(),
                                 static_cast<::DWORD>(handles.size() * sizeof(::HMODULE)), &bytes) &&
         bytes > handles.size() * sizeof(::HMODULE)) {
    handles.resize(bytes / sizeof(::HMODULE));
  }
  handles.resize(std::min<std::size_t>(handles.size(), bytes / sizeof(::HMODULE)));
  for (::HMODULE handle : handles) {
    ::MODULEINFO info{};
    if (!::K32GetModuleInformation(::GetCurrentProcess(), handle, &info, sizeof info)) continue;
    ModuleSnapshot module;
    module.base = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
    module.size = info.SizeOfImage;
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(handle, path.data(), static_cast<::DWORD>(path.size())));
    module.path = path;
    // The link time the image's header records, as the system's dumps give it.
    // (The build id stays empty: a PE image has none of the ELF kind.)
    const auto* dos = static_cast<const ::IMAGE_DOS_HEADER*>(info.lpBaseOfDll);
    const auto* nt = reinterpret_cast<const ::IMAGE_NT_HEADERS*>(static_cast<const char*>(info.lpBaseOfDll) + dos->e_lfanew);
    module.timeDateStamp = nt->FileHeader.TimeDateStamp;
    modules.push_back(std::move(module));
  }
  // The program first, the rest in address order.
  if (!modules.empty()) {
    std::sort(modules.begin() + 1, modules.end(),
              [](const ModuleSnapshot& a, const ModuleSnapshot& b) { return a.base < b.base; });
  }
  return modules;
}

void ReadProcessTimes(ProcessSnapshot* snapshot) {
  ::FILETIME created{}, ended{}, kernel{}, user{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user)) return;
  snapshot->createTime = static_cast<std::uint32_t>((Ticks(created) - kUnixEpochTicks) / kTicksPerSecond);
  snapshot->userSeconds = static_cast<std::uint32_t>(Ticks(user) / kTicksPerSecond);
  snapshot->kernelSeconds = static_cast<std::uint32_t>(Ticks(kernel) / kTicksPerSecond);
}

// This process's threads but the calling one and the requesting one.
std::vector<::DWORD> OtherThreads(::DWORD requestingThread) {
  std::vector<::DWORD> ids;
  ::HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  ::THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const ::DWORD process = ::GetCurrentProcessId();
  const ::DWORD self = ::GetCurrentThreadId();
  for (::BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == process && entry.th32ThreadID != self && entry.th32ThreadID != requestingThread) {
      ids.push_back(entry.th32ThreadID);
    }
  }
  ::CloseHandle(snapshot);
  return ids;
}

}  // namespace

ProcessSnapshot CaptureProcess(win::DWORD requestingThread, const win::CONTEXT& requestingContext,
                               std::size_t stackLimit) {
  ProcessSnapshot snapshot;
  snapshot.modules = Modules();
  ReadProcessTimes(&snapshot);
  const std::vector<::DWORD> others = OtherThreads(requestingThread);
  // Everything is allocated before any thread is suspended.
  snapshot.threads.resize(1 + others.size());
  for (ThreadSnapshot& thread : snapshot.threads) thread.stack.assign(stackLimit, 0);
  std::vector<::HANDLE> handles(others.size(), nullptr);
  snapshot.threads[0].threadId = requestingThread;
  snapshot.threads[0].hasContext = true;
  snapshot.threads[0].context = requestingContext;
  CopyStack(requestingContext.Rsp, &snapshot.threads[0]);
  // All of them stop before any is read, so that the threads are seen at one
  // moment; then all resume.
  std::vector<bool> stopped(others.size(), false);
  for (std::size_t i = 0; i < others.size(); ++i) {
    snapshot.threads[i + 1].threadId = others[i];
    handles[i] = ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, others[i]);
    stopped[i] = handles[i] && ::SuspendThread(handles[i]) != static_cast<::DWORD>(-1);
  }
  for (std::size_t i = 0; i < others.size(); ++i) {
    ThreadSnapshot& thread = snapshot.threads[i + 1];
    ::CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (stopped[i] && ::GetThreadContext(handles[i], &context)) {
      thread.hasContext = true;
      ToInterfaceContext(context, &thread.context);
      CopyStack(thread.context.Rsp, &thread);
    } else {
      thread.stack.clear();  // gone meanwhile, or not to be stopped
    }
  }
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (stopped[i]) ::ResumeThread(handles[i]);
    if (handles[i]) ::CloseHandle(handles[i]);
  }
  return snapshot;
}

bool ReadOwnMemory(std::uint64_t address, std::size_t size, std::vector<std::uint8_t>* bytes) {
  if (address + size < address || address + size > std::numeric_limits<std::uintptr_t>::max()) return false;
  if (!Readable(static_cast<std::uintptr_t>(address), size)) return false;
  std::vector<std::uint8_t> copy(size);
  ::SIZE_T read = 0;
  const auto* from = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address));
  if (size > 0 && (!::ReadProcessMemory(::GetCurrentProcess(), from, copy.data(), size, &read) || read != size)) {
    return false;
  }
  bytes->swap(copy);
  return true;
}

}  // namespace platform
