// A snapshot of a machine's observable state (registry, files with their
// digests, services, scheduled tasks, running processes) and the difference
// between two, so that tests can prove what a run left behind.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

struct MachineSnapshot {
  std::map<std::wstring, std::wstring> registry;   // "HKLM\...\Key" or "HKLM\...\Key\\:value" → text
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

// Snapshot files for winsim: written and read as JSON.
bool SaveMachineSnapshot(const MachineSnapshot& snapshot, const std::string& hostFile);
bool LoadMachineSnapshot(const std::string& hostFile, MachineSnapshot* snapshot);

}  // namespace platform
