// The start-up gate of the main wizard window: which refusal each server
// check result, operating system and uninstall entry leads to, the uninstall
// entry in either registry view, the refusal texts byte for byte, and the
// refusal a server that drips its answer leads to.
#include <gtest/gtest.h>

#include <string>

#include "app/installer_dlg.h"
#include "app/resource.h"
#include "app/startup_texts.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "settings/base64.h"
#include "settings/http_client.h"
#include "system/registry_helpers.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"

namespace {

const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";
const wchar_t kWow64Entry[] =
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";

// Where an uninstall entry is, if any.
enum class Entry { kNone, kNative, kWow64, kNativeEmptyName, kBothEmptyNames };

void Register(Entry entry) {
  switch (entry) {
    case Entry::kNone: return;
    case Entry::kNative: RegWriteString(win::HKEY_LOCAL_MACHINE, kEntry, L"DisplayName", L"\ube0c\ub9bc\ubca0\uc77c"); return;
    case Entry::kWow64: RegWriteString(win::HKEY_LOCAL_MACHINE, kWow64Entry, L"DisplayName", L"Brimvale"); return;
    case Entry::kNativeEmptyName: RegWriteString(win::HKEY_LOCAL_MACHINE, kEntry, L"DisplayName", L""); return;
    case Entry::kBothEmptyNames:
      RegWriteString(win::HKEY_LOCAL_MACHINE, kEntry, L"DisplayName", L"");
      RegWriteString(win::HKEY_LOCAL_MACHINE, kWow64Entry, L"DisplayName", L"");
      return;
  }
}

struct GateRow {
  const char* what;
  const char* profile;
  std::int32_t serverCheckResult;
  Entry entry;
  int message;
};

void PrintTo(const GateRow& row, std::ostream* out) { *out << row.what; }

class StartupGate : public testing::TestWithParam<GateRow> {};

TEST_P(StartupGate, RefusesWithTheMessageOfTheFirstFailedCheck) {
  const GateRow& row = GetParam();
  testing_support::ScopedMachine machine(row.profile);
  Register(row.entry);
  CbvlInstallerDlg dialog;
  dialog.m_serverCheckResult = row.serverCheckResult;
  EXPECT_EQ(dialog.StartupGateMessageId(), row.message) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartupGate,
    testing::Values(
        GateRow{"admitted on Windows 10 x64", "win10-x64", SERVERCHECK_OK, Entry::kNone, 0},
        GateRow{"admitted on Windows 7 x86", "win7-x86", SERVERCHECK_OK, Entry::kNone, 0},
        GateRow{"no token", "win10-x64", SERVERCHECK_NO_INFO, Entry::kNone, IDS_NO_INSTALL_INFO},
        GateRow{"server unreachable", "win10-x64", SERVERCHECK_COMM_ERROR, Entry::kNone, IDS_SERVER_UNREACHABLE},
        // The server check comes before the system and the existing entry.
        GateRow{"no token on XP SP2 with an entry", "winxp-sp2-x86", SERVERCHECK_NO_INFO, Entry::kNative, IDS_NO_INSTALL_INFO},
        GateRow{"unreachable on XP SP2 with an entry", "winxp-sp2-x86", SERVERCHECK_COMM_ERROR, Entry::kNative, IDS_SERVER_UNREACHABLE},
        GateRow{"XP SP2 is unsupported", "winxp-sp2-x86", SERVERCHECK_OK, Entry::kNone, IDS_UNSUPPORTED_OS},
        GateRow{"XP SP3 passes", "winxp-sp3-x86", SERVERCHECK_OK, Entry::kNone, 0},
        GateRow{"a version the query does not know", "unknown-os", SERVERCHECK_OK, Entry::kNone, IDS_UNSUPPORTED_OS},
        // The system check comes before the existing entry.
        GateRow{"XP SP2 with an entry", "winxp-sp2-x86", SERVERCHECK_OK, Entry::kNative, IDS_UNSUPPORTED_OS},
        GateRow{"entry in the 64-bit view", "win10-x64", SERVERCHECK_OK, Entry::kNative, IDS_ALREADY_INSTALLED},
        GateRow{"entry under Wow6432Node", "win10-x64", SERVERCHECK_OK, Entry::kWow64, IDS_ALREADY_INSTALLED},
        GateRow{"entry on 32-bit Windows", "win7-x86", SERVERCHECK_OK, Entry::kNative, IDS_ALREADY_INSTALLED},
        GateRow{"entry with an empty DisplayName", "win10-x64", SERVERCHECK_OK, Entry::kNativeEmptyName, 0},
        GateRow{"both entries with empty names", "win10-x64", SERVERCHECK_OK, Entry::kBothEmptyNames, 0},
        // Any value other than 1 and 2 goes on to the checks, as 0 does.
        GateRow{"an unknown check result", "win10-x64", 7, Entry::kNone, 0}));

TEST(IsAlreadyInstalledTest, ReadsBothViewsOfTheMachineHive) {
  testing_support::ScopedMachine machine("win10-x64");
  EXPECT_FALSE(CbvlInstallerDlg::IsAlreadyInstalled());

  // A 32-bit program that registered itself without asking for the 64-bit
  // view landed under Wow6432Node; the gate sees that entry too.
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyW(win::HKEY_LOCAL_MACHINE, kEntry, &key), win::ERROR_SUCCESS);
  const std::string name = platform::WideToUtf16Le(L"Brimvale");
  win::RegSetValueExW(key, L"DisplayName", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(name.data()),
                      static_cast<win::DWORD>(name.size()));
  win::RegCloseKey(key);
  const platform::RegistryTree tree = platform::ReadRegistry();
  ASSERT_TRUE(tree.count(platform::RegistryFold(std::wstring(L"HKLM\\") + kWow64Entry)));
  EXPECT_TRUE(CbvlInstallerDlg::IsAlreadyInstalled());

  // Only DisplayName counts: an entry holding other values alone is none.
  ASSERT_EQ(win::SHDeleteKeyW(win::HKEY_LOCAL_MACHINE, kEntry), win::ERROR_SUCCESS);
  RegWriteString(win::HKEY_LOCAL_MACHINE, kEntry, L"UninstallString", L"C:\\x\\bvlUninstaller.exe");
  EXPECT_FALSE(CbvlInstallerDlg::IsAlreadyInstalled());
}

TEST(StartupMessageTextTest, TextsOfTheStringTableByteForByte) {
  struct Row {
    int id;
    const char* utf8;
  } rows[] = {
      {IDS_PRODUCT_NAME, "\xeb\xb8\x8c\xeb\xa6\xbc\xeb\xb2\xa0\xec\x9d\xbc"},
      {IDS_ALREADY_INSTALLED, "\xec\x82\xad\xec\xa0\x9c \xed\x9b\x84 \xec\x84\xa4\xec\xb9\x98\xed\x95\xb4 \xec\xa3\xbc\xec\x8b\x9c"
            "\xea\xb8\xb0 \xeb\xb0\x94\xeb\x9e\x8d\xeb\x8b\x88\xeb\x8b\xa4."},
      {IDS_SERVER_UNREACHABLE, "\xec\x84\x9c\xeb\xb2\x84\xec\x99\x80 \xec\xa0\x95\xec\x83\x81\xec\xa0\x81\xec\x9c\xbc\xeb\xa1\x9c "
            "\xed\x86\xb5\xec\x8b\xa0\xed\x95\xa0 \xec\x88\x98 \xec\x97\x86\xec\x8a\xb5\xeb\x8b\x88\xeb\x8b\xa4. "
            "\xec\x9e\xa0\xec\x8b\x9c \xed\x9b\x84 \xeb\x8b\xa4\xec\x8b\x9c \xec\x8b\x9c\xeb\x8f\x84\xed\x95\xb4 "
            "\xec\xa3\xbc\xec\x8b\xad\xec\x8b\x9c\xec\x98\xa4."},
      {IDS_UNSUPPORTED_OS, "\xec\xa7\x80\xec\x9b\x90\xed\x95\x98\xec\xa7\x80 \xec\x95\x8a\xeb\x8a\x94 OS\xec\x9e\x85\xeb\x8b\x88"
            "\xeb\x8b\xa4."},
      {IDS_NO_INSTALL_INFO, "\xec\x84\xa4\xec\xb9\x98 \xec\xa0\x95\xeb\xb3\xb4\xeb\xa5\xbc \xed\x99\x95\xec\x9d\xb8\xed\x95\xa0 "
            "\xec\x88\x98 \xec\x97\x86\xec\x8a\xb5\xeb\x8b\x88\xeb\x8b\xa4. \xec\x84\xa4\xec\xb9\x98 \xed\x8e\x98"
            "\xec\x9d\xb4\xec\xa7\x80\xec\x97\x90\xec\x84\x9c \xeb\x8b\xa4\xec\x9a\xb4\xeb\xa1\x9c\xeb\x93\x9c"
            "\xeb\x90\x98\xeb\x8a\x94 \xed\x8c\x8c\xec\x9d\xbc\xec\x9d\xb4\xeb\xa6\x84 \xea\xb7\xb8\xeb\x8c\x80"
            "\xeb\xa1\x9c \xeb\x8b\xa4\xec\x8b\x9c \xec\x8b\xa4\xed\x96\x89\xed\x95\x98\xec\x97\xac \xec\xa3\xbc"
            "\xec\x8b\xad\xec\x8b\x9c\xec\x98\xa4."},
  };
  for (const Row& row : rows) EXPECT_EQ(platform::WideToUtf8(StartupMessageText(row.id)), row.utf8) << row.id;
  // The failure message of the completion page comes from the same table.
  EXPECT_EQ(platform::WideToUtf8(StartupMessageText(IDS_INSTALL_FAILED)),
            "\xec\x84\xa4\xec\xb9\x98\xea\xb0\x80 \xec\x8b\xa4\xed\x8c\xa8\xed\x96\x88\xec\x8a\xb5\xeb\x8b\x88\xeb\x8b\xa4.\r\n\xea\xb4\x80\xeb\xa6\xac\xec\x9e\x90\xec\x97\x90\xea\xb2\x8c \xeb\xac\xb8\xec\x9d\x98\xed\x95\xb4\xec\xa3\xbc\xec\x8b\x9c\xea\xb8\xb0 \xeb\xb0\x94\xeb\x9e\x8d\xeb\x8b\x88\xeb\x8b\xa4.");
}

// The agent server admits the installation, but one byte at a time: the
// start-up call ends at its deadline (shortened here from the product's 30
// seconds) with the refusal of an unreachable server, and stores nothing.
TEST(StartupAgainstADrippingServer, EndsWithTheRefusalOfAnUnreachableServer) {
  testing_support::ScopedMachine machine("win10-x64");
  const std::string answer = "{\"update\":\"http://127.0.0.1/u\",\"mqtt\":\"tcp://m:1883\"}" + std::string(40, ' ');
  testing_support::TestHttpServer server(nlohmann::json::array({{{"path", "/v2/agent-request-urls"},
                                                                 {"body", answer},
                                                                 {"chunked", true},
                                                                 {"drip", {{"bytes", 1}, {"every", 0.1}}}}}));
  ASSERT_TRUE(server.Running()) << server.StartError();
  const std::string address = platform::WideToUtf8(server.Url(""));
  const std::string token = Base64Encode(reinterpret_cast<const unsigned char*>(address.data()), address.size());

  SetHttpTimeoutForTesting(std::chrono::seconds(1));
  CbvlInstallerDlg dialog;
  dialog.ReadInstallationToken(L"C:\\Users\\user\\Downloads\\bvlInstaller[" + platform::Utf8ToWide(token) + L"].exe");
  SetHttpTimeoutForTesting(std::chrono::seconds(30));

  EXPECT_EQ(dialog.m_serverCheckResult, SERVERCHECK_COMM_ERROR);
  EXPECT_EQ(dialog.StartupGateMessageId(), IDS_SERVER_UNREACHABLE);
  EXPECT_EQ(dialog.m_updateAddress, L"");
  std::wstring mqtt = L"<none>";
  EXPECT_FALSE(RegReadUserString(kProductKey, kMqttInfoValue, &mqtt));
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
