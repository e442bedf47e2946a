// Token intake: lenient decoding, the stored ServiceInfo in both hives (the
// desktop user's while impersonating), and the server check it leads to. The
// bracket rules are in token_extraction_test.cpp.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "settings/base64.h"
#include "settings/installation_token.h"
#include "settings/installer_context.h"
#include "settings/seed_cipher.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"
#include "system/registry_helpers.h"

namespace {

std::wstring B64(const std::string& text) {
  return platform::Utf8ToWide(Base64Encode(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

// The raw REG_SZ bytes of a value, or nothing when it is missing.
std::optional<std::string> StoredValue(const std::wstring& fullKey, const std::wstring& name) {
  platform::RegistryTree tree = platform::ReadRegistry();
  auto key = tree.find(platform::RegistryFold(fullKey));
  if (key == tree.end()) return std::nullopt;
  auto value = key->second.values.find(platform::RegistryFold(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second.data;
}

TEST(DecodeTokenTest, EmptyTokensFailAndOthersDecodeLeniently) {
  testing_support::ScopedMachine machine;
  EXPECT_FALSE(DecodeToken(L""));
  auto decoded = DecodeToken(L"QUJ=");
  ASSERT_TRUE(decoded);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(decoded->data())), "AB");
  EXPECT_EQ(decoded->size(), 4u);  // as long as the text, zero-filled after the bytes
}

class TokenIntakeTest : public ::testing::Test {
 protected:
  // A server that admits the installation.
  TokenIntakeTest()
      : server_(nlohmann::json::array({{{"method", "GET"},
                                        {"path", "/v2/agent-request-urls"},
                                        {"status", 200},
                                        {"headers", {{"Content-Type", "application/json"}}},
                                        {"body", R"({"update":"U","mqtt":"M"})"}}})) {}

  std::wstring ServerAddress() const { return server_.Url(""); }
  std::wstring PathWith(const std::wstring& token) const {
    return L"C:\\Users\\user\\Downloads\\bvlInstaller[" + token + L"].exe";
  }

  testing_support::ScopedMachine machine_;
  testing_support::TestHttpServer server_;
};

TEST_F(TokenIntakeTest, AddressIsStoredEncryptedInBothHivesAndTheServerAdmits) {
  ASSERT_TRUE(server_.Running()) << server_.StartError();
  InstallerContext context;
  context.ReadInstallationToken(PathWith(B64(platform::WideToUtf8(ServerAddress()))));
  EXPECT_EQ(context.m_serverAddress, ServerAddress());
  EXPECT_EQ(context.m_updateAddress, L"U");
  EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_OK);

  std::string expected =
      platform::WideToUtf16Le(EncryptServiceInfo(ServerAddress(), kServiceInfoKey, kServiceInfoIv));
  // The 64-bit view of the machine, and the desktop user's hive (impersonated).
  EXPECT_EQ(StoredValue(L"HKLM\\Software\\Korvanta\\Brimvale", L"ServiceInfo"), expected);
  EXPECT_FALSE(StoredValue(L"HKLM\\Software\\Wow6432Node\\Korvanta\\Brimvale", L"ServiceInfo"));
  EXPECT_EQ(StoredValue(L"HKU\\user\\Software\\Korvanta\\Brimvale", L"ServiceInfo"), expected);
  // MqttInfo goes to the installer's own account, without impersonation.
  EXPECT_EQ(StoredValue(L"HKU\\Administrator\\Software\\Korvanta\\Brimvale", L"MqttInfo"),
            platform::WideToUtf16Le(L"M"));
  EXPECT_FALSE(StoredValue(L"HKU\\Administrator\\Software\\Korvanta\\Brimvale", L"ServiceInfo"));
}

TEST_F(TokenIntakeTest, WithoutADesktopShellTheUserCopyGoesToTheInstallersHive) {
  platform::Profile p = *platform::FindProfile("win10-x64");
  p.explorerRunning = false;
  testing_support::ScopedMachine noShell(p);
  InstallerContext context;
  context.ReadInstallationToken(PathWith(B64("ABC")));
  EXPECT_TRUE(StoredValue(L"HKU\\Administrator\\Software\\Korvanta\\Brimvale", L"ServiceInfo"));
}

TEST_F(TokenIntakeTest, MissingOrEmptyTokensWriteNothingAndSendNothing) {
  for (const wchar_t* path : {L"C:\\setup[].exe", L"C:\\setup.exe", L"C:\\setup]x[y.exe"}) {
    InstallerContext context;
    context.ReadInstallationToken(path);
    EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_NO_INFO);
    EXPECT_TRUE(context.m_serverAddress.empty());
  }
  EXPECT_FALSE(StoredValue(L"HKLM\\Software\\Korvanta\\Brimvale", L"ServiceInfo"));
  EXPECT_FALSE(StoredValue(L"HKLM\\Software\\Wow6432Node\\Korvanta\\Brimvale", L"ServiceInfo"));
  // Neither the desktop user's copy nor one in the installer's own hive.
  EXPECT_FALSE(StoredValue(L"HKU\\user\\Software\\Korvanta\\Brimvale", L"ServiceInfo"));
  EXPECT_FALSE(StoredValue(L"HKU\\Administrator\\Software\\Korvanta\\Brimvale", L"ServiceInfo"));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(TokenIntakeTest, DecodedTextThatIsNoAddressIsStoredAndRefusedLocally) {
  InstallerContext context;
  context.ReadInstallationToken(PathWith(L"QUJD"));  // "ABC"
  EXPECT_EQ(context.m_serverAddress, L"ABC");
  EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_COMM_ERROR);
  EXPECT_EQ(StoredValue(L"HKLM\\Software\\Korvanta\\Brimvale", L"ServiceInfo"),
            platform::WideToUtf16Le(EncryptServiceInfo(L"ABC", kServiceInfoKey, kServiceInfoIv)));

  struct Row {
    const wchar_t* token;
    const wchar_t* address;
  } rows[] = {{L"QUJ=", L"AB"}, {L"QU JD", L"ABC"}, {L"Q", L""}};
  for (const Row& row : rows) {
    InstallerContext other;
    other.ReadInstallationToken(PathWith(row.token));
    EXPECT_EQ(other.m_serverAddress, row.address);
    EXPECT_EQ(other.m_serverCheckResult, SERVERCHECK_COMM_ERROR);
  }
  // One counted character: the empty address is stored as the empty text.
  EXPECT_EQ(StoredValue(L"HKLM\\Software\\Korvanta\\Brimvale", L"ServiceInfo"), std::string());
}

TEST_F(TokenIntakeTest, AServerAddressWithControlCharactersIsRefusedWithoutARequest) {
  for (const std::string& tail : {std::string("\r\nX-Injected: 1"), std::string("/\t"), std::string("\x7f")}) {
    InstallerContext context;
    context.ReadInstallationToken(PathWith(B64(platform::WideToUtf8(ServerAddress()) + tail)));
    EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_COMM_ERROR);
    EXPECT_EQ(context.m_updateAddress, L"");
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(TokenIntakeTest, ABracketedFolderNameWins) {
  InstallerContext context;
  context.ReadInstallationToken(L"C:\\Users\\[QQ==]\\bvlInstaller[QUJD].exe");
  EXPECT_EQ(context.m_serverAddress, L"A");
}

TEST_F(TokenIntakeTest, MalformedAndNonAsciiPathsNeverCrash) {
  const std::wstring hostile[] = {
      L"C:\\\uac00\ub098[\uac00\ub098\ub2e4].exe",  // Korean in the path and the token
      L"C:\\x[" + std::wstring(300, L'A') + L"].exe",
      L"C:\\x[\U0001F600].exe",
      L"C:\\x[====\r\n\t].exe",
      std::wstring(L"C:\\x[QU\0JD].exe", 16),
  };
  for (const std::wstring& path : hostile) {
    InstallerContext context;
    context.ReadInstallationToken(path);
    EXPECT_NE(context.m_serverCheckResult, SERVERCHECK_OK);
  }
}

TEST(RegistryHelpersTest, WritesReadBackExactlyAndMissingValuesLeaveTheOutput) {
  testing_support::ScopedMachine machine;
  ASSERT_TRUE(RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue, L"2.4.1.0"));
  EXPECT_EQ(ReadInstalledVersion(), L"2.4.1.0");
  ASSERT_TRUE(RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, L"Empty", L""));
  std::wstring text = L"unchanged";
  ASSERT_TRUE(RegReadString(kProductKey, L"Empty", &text));
  EXPECT_EQ(text, L"");
  text = L"unchanged";
  EXPECT_FALSE(RegReadString(kProductKey, L"Missing", &text));
  EXPECT_FALSE(RegReadString(L"Software\\Nothing", L"Version", &text));
  EXPECT_EQ(text, L"unchanged");
  ASSERT_TRUE(RegWriteDword(0x1234, L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances", L"Flags"));
  EXPECT_EQ(StoredValue(L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances", L"Flags"),
            std::string("\x34\x12\0\0", 4));
}

TEST(RegistryHelpersTest, UserValuesReadFromTheThreadsCurrentUser) {
  testing_support::ScopedMachine machine;
  ASSERT_TRUE(RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kMqttInfoValue, L"mqtt://broker:1883"));
  std::wstring text = L"unchanged";
  ASSERT_TRUE(RegReadUserString(kProductKey, kMqttInfoValue, &text));
  EXPECT_EQ(text, L"mqtt://broker:1883");
  // Not a machine value.
  text = L"unchanged";
  EXPECT_FALSE(RegReadString(kProductKey, kMqttInfoValue, &text));
  EXPECT_FALSE(RegReadUserString(kProductKey, L"Missing", &text));
  EXPECT_EQ(text, L"unchanged");
}

TEST(RegistryHelpersTest, ReadStopsAtTheFirstNulOfStoredData) {
  testing_support::ScopedMachine machine("win7-x86");
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyW(win::HKEY_LOCAL_MACHINE, kProductKey, &key), 0);
  std::string bytes = platform::WideToUtf16Le(std::wstring(L"1.0\0junk", 8)) + "\x41";  // odd trailing byte
  win::RegSetValueExW(key, kVersionValue, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(bytes.data()),
                      static_cast<win::DWORD>(bytes.size()));
  win::RegCloseKey(key);
  EXPECT_EQ(ReadInstalledVersion(), L"1.0");
}

TEST(RegistryHelpersTest, KeyCreationFailureIsReported) {
  testing_support::ScopedMachine machine;
  platform::InjectFault({"RegCreateKeyEx", kProductKey, win::ERROR_ACCESS_DENIED});
  EXPECT_FALSE(RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue, L"x"));
  EXPECT_EQ(ReadInstalledVersion(), L"");
}

}  // namespace
