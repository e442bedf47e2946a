// Runs this test program again as a child process, with variables added to
// its environment: tests of crashes make the child crash and read what it
// reported.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_windows {

// The child's exit code, or -1 when it could not be started or did not end
// within a minute. The child runs no test (an empty test filter): what it
// does, it does while the program starts.
long RunThisProgram(const std::vector<std::pair<std::wstring, std::wstring>>& environment);

// Whether the program runs under Wine (its ntdll names Wine's version).
bool RunningUnderWine();

// A file that a crashing child writes its report to: opened before the
// crash, written with the system's call alone (after a stack overflow, what
// is left of the stack holds no more than a WriteFile).
class ReportFile {
 public:
  explicit ReportFile(const char* path);
  void Write(const char* text);

 private:
  void* file_;
};

}  // namespace testing_windows
