// Host files seen from the Windows test program: Wine shows the host's root
// folder as drive Z:.
#pragma once

#include <string>

namespace testing_windows {

// "/tmp/a/b" as "Z:\tmp\a\b"; an empty text for a missing path.
inline std::string WinePath(const char* hostPath) {
  if (hostPath == nullptr || *hostPath == '\0') return std::string();
  std::string path = std::string("Z:") + hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

inline std::wstring WideWinePath(const char* hostPath) {
  const std::string path = WinePath(hostPath);
  return std::wstring(path.begin(), path.end());  // the build's paths are ASCII
}

}  // namespace testing_windows
