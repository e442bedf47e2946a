// Programs on a test machine: stub PE files that run built-in programs, and
// waiting for what the machine's other processes do.
#pragma once

#include <functional>
#include <string>

namespace testing_support {

// Writes a stub PE file at `windowsPath` that runs the built-in program
// "bvlsim-<name>"; `machine` is "i386" or "amd64". False when it cannot be
// written.
bool PlaceBuiltinProgram(const std::wstring& windowsPath, const std::string& name,
                         const std::string& machine = "i386");

// Waits (woken by the machine's state changes, at most `timeoutMilliseconds`)
// until `condition` holds; returns whether it did.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 10000);

}  // namespace testing_support
