// The machine's registry as stored in its folder: every key by its full path
// ("HKLM\SOFTWARE\...", "HKU\<user>\..."), compared ignoring case, with its
// values. Readers take a shared lock, writers an exclusive one around a
// read-modify-write, and the file is replaced atomically, so concurrent
// processes of one machine lose nothing.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

struct RegistryValue {
  std::wstring name;   // as written
  win::DWORD type = 0; // REG_SZ, REG_DWORD, ...
  std::string data;    // the exact bytes
};

struct RegistryKeyRecord {
  std::wstring path;                              // as first created
  std::map<std::wstring, RegistryValue> values;   // by lower-case name
};

// Lower-case keys of a whole registry.
using RegistryTree = std::map<std::wstring, RegistryKeyRecord>;

std::wstring RegistryFold(const std::wstring& text);

// A copy of the registry as it is now. A registry file that cannot be read or
// is damaged stops the program (machine_stop.h), here and in ChangeRegistry,
// so nothing is ever written over it.
RegistryTree ReadRegistry();
// The same without a copy: the tree this process keeps while the file is
// unchanged; it never changes once handed out.
std::shared_ptr<const RegistryTree> ShareRegistry();
// Runs `change` on the current registry under the exclusive lock; when it
// returns true the result is written back. Returns what `change` returned
// (false also when the registry file could not be written).
bool ChangeRegistry(const std::function<bool(RegistryTree&)>& change);
// Creates the key and its missing parents in `tree`.
RegistryKeyRecord& EnsureRegistryKey(RegistryTree& tree, const std::wstring& path);

// The registry as text: one key per line, its values indented below it.
std::wstring FormatRegistry(const RegistryTree& tree, const std::wstring& prefix = std::wstring());

}  // namespace platform
