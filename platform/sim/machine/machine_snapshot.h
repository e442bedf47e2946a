// A snapshot of a machine's observable state (registry, files with their
// digests, services, scheduled tasks, running processes) and the difference
// between two, so that tests can prove what a run left behind.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

struct MachineSnapshot {
  // A key "HKLM\...\Key" → "" and each of its values "HKLM\...\Key\\:Name"
  // (two backslashes and a colon, which no key name holds) → its type and data.
  std::map<std::wstring, std::wstring> registry;
  std::map<std::wstring, std::wstring> files;      // Windows path → "<size> <md5>" or "folder"
  std::map<std::wstring, std::wstring> services;   // name → "type start state image"
  std::map<std::wstring, std::wstring> tasks;      // name → "schedule modifier runAs action"
  std::map<std::wstring, std::wstring> processes;  // "<image path>#<n>" → user, for running processes
};

MachineSnapshot TakeMachineSnapshot();

// One line per difference, sorted: "+ <area> <item>" added, "- <area> <item>"
// removed, "~ <area> <item>" changed; <area> is registry, file, service, task
// or process. Empty when both are the same.
std::vector<std::wstring> CompareMachineSnapshots(const MachineSnapshot& before, const MachineSnapshot& after);

// Snapshot files for winsim: written and read as JSON, one object per area
// named as in the comparison's lines. Loading refuses (false, `snapshot`
// untouched) a file that is missing, not JSON, or lacks an area or holds
// anything but text in one.
bool SaveMachineSnapshot(const MachineSnapshot& snapshot, const std::string& hostFile);
bool LoadMachineSnapshot(const std::string& hostFile, MachineSnapshot* snapshot);

}  // namespace platform
