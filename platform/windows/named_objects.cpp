// The named events and mutexes that exist now, for inspection: read from the
// system's object directories (\BaseNamedObjects holds the "Global\" names,
// \Sessions\<n>\BaseNamedObjects those of this process's session) and each
// object's state asked of the object itself. These are the native API's
// calls, looked up in ntdll by name, as no Win32 call lists named objects.
#include "platform/sync.h"

#include <string>
#include <vector>

#include "platform/windows/windows_api.h"

#include <winternl.h>

namespace platform {

namespace {

struct DirectoryEntry {
  ::UNICODE_STRING name;
  ::UNICODE_STRING typeName;
};

struct EventState {
  int type;  // 0 notification (manual reset), 1 synchronisation (auto reset)
  ::LONG state;
};

struct MutantState {
  ::LONG currentCount;  // 1 free; 0 or less owned (minus the nesting)
  ::BOOLEAN ownedByCaller;
  ::BOOLEAN abandoned;
};

constexpr ::ACCESS_MASK kDirectoryQuery = 0x0001;
constexpr ::DWORD kQueryState = 0x0001;  // EVENT_QUERY_STATE, MUTANT_QUERY_STATE
constexpr ::NTSTATUS kNoMoreEntries = static_cast<::NTSTATUS>(0x8000001A);

using OpenDirectoryCall = ::NTSTATUS(NTAPI*)(::HANDLE*, ::ACCESS_MASK, ::OBJECT_ATTRIBUTES*);
using QueryDirectoryCall = ::NTSTATUS(NTAPI*)(::HANDLE, void*, ::ULONG, ::BOOLEAN, ::BOOLEAN, ::ULONG*, ::ULONG*);
using QueryStateCall = ::NTSTATUS(NTAPI*)(::HANDLE, int, void*, ::ULONG, ::ULONG*);

template <typename Call>
Call NativeCall(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

struct NamedObject {
  std::wstring name;  // as a program names it: "Global\..." or the session's own name
  std::wstring type;  // "Event", "Mutant", ...
};

// The objects of one directory; `prefix` goes before each name.
void ReadDirectory(const std::wstring& path, const std::wstring& prefix, std::vector<NamedObject>* objects) {
  static const auto open = NativeCall<OpenDirectoryCall>("NtOpenDirectoryObject");
  static const auto query = NativeCall<QueryDirectoryCall>("NtQueryDirectoryObject");
  if (!open || !query) return;
  ::UNICODE_STRING name{static_cast<::USHORT>(path.size() * sizeof(wchar_t)),
                        static_cast<::USHORT>(path.size() * sizeof(wchar_t)), const_cast<wchar_t*>(path.c_str())};
  ::OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  ::HANDLE directory = nullptr;
  if (open(&directory, kDirectoryQuery, &attributes) < 0) return;
  // One entry at a time: the buffer holds the entry and its two strings.
  alignas(8) unsigned char buffer[4096];
  ::ULONG context = 0;
  for (bool first = true;; first = false) {
    ::ULONG returned = 0;
    const ::NTSTATUS status = query(directory, buffer, sizeof buffer, TRUE, first ? TRUE : FALSE, &context, &returned);
    if (status == kNoMoreEntries || status < 0) break;
    const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer);
    objects->push_back(NamedObject{prefix + std::wstring(entry->name.Buffer, entry->name.Length / sizeof(wchar_t)),
                                   std::wstring(entry->typeName.Buffer, entry->typeName.Length / sizeof(wchar_t))});
  }
  ::CloseHandle(directory);
}

std::vector<NamedObject> NamedObjects(const wchar_t* type) {
  std::vector<NamedObject> all;
  ReadDirectory(L"\\BaseNamedObjects", L"Global\\", &all);
  ::DWORD session = 0;
  // In session 0 a name without "Global\" names the same directory.
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session != 0) {
    ReadDirectory(L"\\Sessions\\" + std::to_wstring(session) + L"\\BaseNamedObjects", L"", &all);
  }
  std::vector<NamedObject> wanted;
  for (NamedObject& object : all) {
    if (object.type == type) wanted.push_back(std::move(object));
  }
  return wanted;
}

}  // namespace

std::vector<EventSummary> ListEvents() {
  static const auto queryEvent = NativeCall<QueryStateCall>("NtQueryEvent");
  std::vector<EventSummary> list;
  for (const NamedObject& object : NamedObjects(L"Event")) {
    ::HANDLE event = ::OpenEventW(kQueryState, FALSE, object.name.c_str());
    if (!event) continue;  // gone meanwhile, or not ours to ask
    EventState state{};
    if (queryEvent && queryEvent(event, 0, &state, sizeof state, nullptr) >= 0) {
      list.push_back(EventSummary{object.name, state.state != 0, state.type == 0});
    }
    ::CloseHandle(event);
  }
  return list;
}

std::vector<MutexSummary> ListMutexes() {
  static const auto queryMutant = NativeCall<QueryStateCall>("NtQueryMutant");
  std::vector<MutexSummary> list;
  for (const NamedObject& object : NamedObjects(L"Mutant")) {
    ::HANDLE mutex = ::OpenMutexW(kQueryState, FALSE, object.name.c_str());
    if (!mutex) continue;
    MutantState state{};
    if (queryMutant && queryMutant(mutex, 0, &state, sizeof state, nullptr) >= 0) {
      MutexSummary summary;
      summary.name = object.name;
      summary.owned = state.currentCount <= 0;
      // The system tells only whether the asking thread is the owner; any
      // other owner's process stays unknown (0).
      summary.ownerProcessId = summary.owned && state.ownedByCaller ? ::GetCurrentProcessId() : 0;
      summary.abandoned = state.abandoned != 0;
      list.push_back(summary);
    }
    ::CloseHandle(mutex);
  }
  return list;
}

}  // namespace platform
