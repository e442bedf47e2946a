// Debugger output of the simulated machine: every call appends one line to the
// machine's debug log, which tests and the inspection tool read back.
#pragma once

#include <string>
#include <vector>

namespace win {

void OutputDebugStringW(const std::wstring& text);
void OutputDebugStringA(const std::string& text);  // 8-bit text, taken as UTF-8

}  // namespace win

namespace platform {

// The lines written so far, each as it was passed (trailing "\r\n" kept).
std::vector<std::wstring> ReadDebugLog();
void ClearDebugLog();

}  // namespace platform
