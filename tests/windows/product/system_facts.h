// What the system itself says, asked through <windows.h> directly and not
// through the platform layer or the product: the facts the product's own
// answers are checked against. The interface holds no Windows type, so a
// test that includes product headers can use it.
#pragma once

#include <optional>
#include <string>

namespace testing_windows {

// The two registry views of a 32-bit program on 64-bit Windows.
enum class View { Native64, Wow32 };
enum class Hive { Machine, User };

// A value's type and raw bytes.
struct RegistryValue {
  unsigned long type = 0;
  std::string bytes;
};

bool KeyExists(Hive hive, View view, const std::wstring& key);
std::optional<RegistryValue> ReadValue(Hive hive, View view, const std::wstring& key, const std::wstring& name);
// Creates the key when missing; false when the key or the value cannot be written.
bool WriteValue(Hive hive, View view, const std::wstring& key, const std::wstring& name, unsigned long type,
                const std::string& bytes);
// Removes the key with everything below it; a missing key is no failure.
void DeleteTree(Hive hive, View view, const std::wstring& key);
void DeleteValue(Hive hive, View view, const std::wstring& key, const std::wstring& name);

// The key of the Windows version's values.
inline const wchar_t* const kCurrentVersionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The registry value types the tests write and expect.
constexpr unsigned long kRegSz = 1;
constexpr unsigned long kRegDword = 4;

// The system as this process sees it.
struct SystemFacts {
  bool wow64Process = false;       // IsWow64Process
  bool nativeX64 = false;          // GetNativeSystemInfo: an x64 processor architecture
  unsigned long major = 0, minor = 0;  // RtlGetVersion (no compatibility shim)
  unsigned servicePackMajor = 0, servicePackMinor = 0;  // RtlGetVersion
  bool workstation = false;        // VER_NT_WORKSTATION
  bool hasCurrentMajorVersionNumber = false;  // in CurrentVersion as this 32-bit program sees it
};
SystemFacts ReadSystemFacts();
// The product type GetProductInfo gives for that version; 0 when it fails.
unsigned long ProductType(unsigned long major, unsigned long minor, unsigned spMajor, unsigned spMinor);

// The full path of this test program.
std::wstring OwnModulePath();

}  // namespace testing_windows
