// libFuzzer target for the unpacking of archives: arbitrary bytes as a
// component archive on the machine's drive are unpacked below a destination
// folder, through the ZIP record reader, the entry name checks and zlib's
// inflate, as the download step does. Whatever the archive holds,
// nothing may appear outside the destination; what was unpacked is removed
// after each input, so every input meets the same drive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "engine/unzip_archive.h"
#include "fuzz/fuzz_machine.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/sim/files/folder_index.h"
#include "platform/sim/machine/paths.h"

namespace {

const wchar_t kArchive[] = L"C:\\fuzz\\archive.zip";
const wchar_t kDestination[] = L"C:\\fuzz\\a\\b\\out";

std::filesystem::path HostPath(const std::wstring& windowsPath) {
  const auto host = platform::ToHostPath(windowsPath);
  if (!host) std::abort();
  return *host;
}

// Every file and folder of drive C: outside the destination.
std::set<std::filesystem::path> DriveOutsideDestination() {
  const std::filesystem::path destination = HostPath(kDestination);
  std::set<std::filesystem::path> entries;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(HostPath(L"C:\\"), error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (error) std::abort();
    if (it->path() == destination) {
      it.disable_recursion_pending();
      continue;
    }
    entries.insert(it->path());
  }
  return entries;
}

void WriteArchive(const std::uint8_t* data, std::size_t size) {
  win::HANDLE file = win::CreateFileW(kArchive, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  win::DWORD written = 0;
  if (file == win::INVALID_HANDLE_VALUE ||
      (size > 0 && !win::WriteFile(file, data, static_cast<win::DWORD>(size), &written, nullptr)) ||
      written != size) {
    std::abort();
  }
  win::CloseHandle(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::UseFreshMachine();
  static const std::set<std::filesystem::path> drive = [] {
    win::SHCreateDirectory(nullptr, L"C:\\fuzz\\a\\b");
    WriteArchive(nullptr, 0);
    return DriveOutsideDestination();
  }();
  WriteArchive(data, size);

  UnzipArchive(kArchive, kDestination, L"");
  if (DriveOutsideDestination() != drive) __builtin_trap();

  const std::filesystem::path destination = HostPath(kDestination);
  std::error_code ignored;
  std::filesystem::remove_all(destination, ignored);
  platform::NoteEntryRemoved(destination);
  platform::ClearDebugLog();
  return 0;
}
