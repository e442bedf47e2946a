// The component catalogue on the machine: the folders and download address
// BuildCatalogue derives from it and the components it holds, and its keys
// spelt as code points or as surrogate pairs (distinct texts where wchar_t
// holds 32 bits, as on the simulated machine's host). Its key order and
// archive folder names are in catalogue_order_test.cpp.
#include <gtest/gtest.h>

#include <vector>

#include "system/component_info.h"
#include "engine/install_engine.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "settings/installer_context.h"
#include "support/recording_progress.h"
#include "support/scoped_machine.h"
#include "system/kv_system.h"

namespace {

TEST(KeyOrder, KeepsEveryDistinctKeyInAMap) {
  // A lone surrogate pair spelt as two wchar_t has the same UTF-16 units as
  // the code point; both must stay separate keys.
  ComponentMap map;
  map[L"\U00010000"] = ComponentInfo();
  map[std::wstring{wchar_t(0xD800), wchar_t(0xDC00)}] = ComponentInfo();
  map[L"\uE000"] = ComponentInfo();
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map.rbegin()->first, L"\uE000");
}

struct MachineRow {
  const char* profile;
  std::wstring programW6432;  // set in the machine environment when not empty
  std::wstring updateAddress;
  std::wstring programFiles;
  std::wstring baseUrl;
};

class BuildCatalogue : public testing::TestWithParam<MachineRow> {};

TEST_P(BuildCatalogue, DerivesFoldersAndAddressFromTheMachine) {
  const MachineRow& row = GetParam();
  testing_support::ScopedMachine machine(row.profile);
  if (!row.programW6432.empty()) {
    win::HKEY key = nullptr;
    ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                   0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, &key, nullptr),
              0);
    const std::string data = platform::WideToUtf16Le(row.programW6432 + L'\0');
    win::RegSetValueExW(key, L"ProgramW6432", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(data.data()),
                        static_cast<win::DWORD>(data.size()));
    win::RegCloseKey(key);
  }
  InstallerContext context;
  context.m_updateAddress = row.updateAddress;
  testing_support::RecordingProgress progress;
  InstallEngine engine(context, progress);
  engine.BuildCatalogue();

  EXPECT_EQ(std::wstring(engine.m_programFilesDir), row.programFiles);
  EXPECT_EQ(engine.m_installDir, row.programFiles + L"\\Brimvale");
  EXPECT_EQ(engine.m_stagingDir, row.programFiles + L"\\Brimvale\\updatetemp");
  EXPECT_EQ(engine.m_webviewDir, row.programFiles + L"\\Brimvale\\webview");
  EXPECT_EQ(engine.m_downloadBaseUrl, row.baseUrl);
  // Nothing is created yet.
  EXPECT_EQ(win::GetFileAttributesW(engine.m_installDir), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(progress.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Machines, BuildCatalogue,
    testing::Values(
        MachineRow{"win10-x64", L"", L"http://127.0.0.1:8080/update", L"C:\\Program Files",
                   L"http://127.0.0.1:8080/update/x64/"},
        // On x64 the folder comes from ProgramW6432, not the 32-bit shell folder.
        MachineRow{"win10-x64", L"C:\\Apps64", L"https://upd.example", L"C:\\Apps64", L"https://upd.example/x64/"},
        MachineRow{"win7-x86", L"", L"http://10.0.0.1/update", L"C:\\Program Files", L"http://10.0.0.1/update/x86/"},
        MachineRow{"win10-x64", L"", L"", L"C:\\Program Files", L"/x64/"}));

// The catalogue as BuildCatalogue leaves it on a fresh Windows 10 x64 machine.
class Win10Catalogue : public testing::Test {
 protected:
  void SetUp() override { engine.BuildCatalogue(); }

  testing_support::ScopedMachine machine{"win10-x64"};
  InstallerContext context;
  testing_support::RecordingProgress progress;
  InstallEngine engine{context, progress};
};

TEST_F(Win10Catalogue, HoldsTheAgentComponentsInKeyOrder) {
  const std::vector<std::wstring> walk = {
      L"BrimvaleAgent.exe", L"bvlUninstaller.exe", L"bvlchk.exe", L"bvlcore.dll",   L"bvlcv.dll",     L"bvlmqtt.exe",
      L"bvlres.dll",        L"bvlsvc.exe",         L"bvludt.exe", L"cef.zip",       L"kvppob.sys",    L"libeay32.dll",
      L"mosquitto.dll",     L"msvcr100.dll",       L"pthreadVC2.dll", L"sqlite3.dll"};
  std::vector<std::wstring> names;
  for (const auto& [name, component] : engine.m_components) {
    names.push_back(name);
    EXPECT_EQ(component.options, name == L"kvppob.sys" ? COMPONENT_VERIFY_SIGN : 0u) << name;
    EXPECT_EQ(component.isArchive, name == L"cef.zip" ? 1u : 0u);
    EXPECT_TRUE(component.version.empty());
    EXPECT_TRUE(component.hash.empty());
    EXPECT_TRUE(component.targetPath.empty());
    EXPECT_EQ(component.reserved1, L"1");
    EXPECT_EQ(component.reserved2, L"1");
  }
  EXPECT_EQ(names, walk);
}

TEST_F(Win10Catalogue, TargetsDriversInTheDriversFolderAndArchivesInTheirFolder) {
  EXPECT_EQ(engine.ComponentTarget(L"bvlsvc.exe", engine.m_components[L"bvlsvc.exe"]),
            L"C:\\Program Files\\Brimvale\\bvlsvc.exe");
  EXPECT_EQ(engine.ComponentTarget(L"cef.zip", engine.m_components[L"cef.zip"]), L"C:\\Program Files\\Brimvale\\cef");
  const std::wstring driver = engine.ComponentTarget(L"kvppob.sys", engine.m_components[L"kvppob.sys"]);
  EXPECT_EQ(driver, kvutil::KVSystem::GetDriversPath(L"kvppob.sys"));
  EXPECT_NE(driver.find(L"\\drivers\\kvppob.sys"), std::wstring::npos);
}

}  // namespace
