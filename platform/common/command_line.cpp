// Splitting a Windows command line into arguments as the MSVC runtime does,
// the same on the simulated machine and on Windows (whose CommandLineToArgvW
// reads the program's name and doubled quotes by rules of its own).
#include "platform/process.h"

#include <string>
#include <vector>

namespace platform {

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();
  while (i < n) {
    while (i < n && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    if (i >= n) break;
    std::wstring arg;
    bool quoted = false;
    while (i < n && (quoted || (commandLine[i] != L' ' && commandLine[i] != L'\t'))) {
      std::size_t slashes = 0;
      while (i < n && commandLine[i] == L'\\') {
        ++slashes;
        ++i;
      }
      if (i < n && commandLine[i] == L'"') {
        arg.append(slashes / 2, L'\\');
        if (slashes % 2) {
          arg.push_back(L'"');
        } else if (quoted && i + 1 < n && commandLine[i + 1] == L'"') {
          arg.push_back(L'"');
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, L'\\');
        if (i < n && (quoted || (commandLine[i] != L' ' && commandLine[i] != L'\t'))) arg.push_back(commandLine[i++]);
      }
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace platform
