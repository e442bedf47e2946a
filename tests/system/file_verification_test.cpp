// Verification of downloaded components: digest stage with its ten attempts,
// machine-type stage, and the Windows 10 signature stage over real files
// signed by the test PKI.
#include <gtest/gtest.h>

#include <cwctype>
#include <fstream>
#include <functional>

#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/images/pe_image.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"
#include "system/file_verification.h"
#include "system/md5_checksum.h"

namespace {

class VerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetVerificationPauseForTesting([this](unsigned ms) {
      pauses_.push_back(ms);
      if (onPause_) onPause_();
    });
  }
  void TearDown() override { SetVerificationPauseForTesting(nullptr); }

  void Write(const testing_support::ScopedMachine& machine, const std::wstring& path, const std::string& bytes) {
    std::ofstream(machine.Host(path), std::ios::binary) << bytes;
  }
  ComponentInfo Expecting(const std::wstring& path, std::uint32_t options = 0) {
    ComponentInfo info;
    info.hash = GetFileMD5(path);
    info.options = options;
    return info;
  }
  int LinesContaining(const std::wstring& text) {
    int count = 0;
    for (const auto& line : platform::ReadDebugLog()) count += line.find(text) != std::wstring::npos;
    return count;
  }
  static void TrustTestRoot() {
    const auto& pki = testing_support::TestPki::Get();
    ASSERT_TRUE(pki.Ready()) << pki.Error();
    std::filesystem::copy_file(pki.TrustedRoots(), platform::Machine::Current().TrustedRootsFile(),
                               std::filesystem::copy_options::overwrite_existing);
  }
  static std::string Signed(const std::string& signer, const std::string& nest = {}) {
    std::string error;
    auto image = testing_support::TestPki::Get().Sign(platform::BuildPeImage(platform::PeMachine::I386, "driver"),
                                                      signer, "sha256", nest, nest.empty() ? "" : "sha1", &error);
    EXPECT_TRUE(image) << error;
    return image.value_or(std::string());
  }

  std::vector<unsigned> pauses_;
  std::function<void()> onPause_;
};

TEST_F(VerificationTest, DigestMustMatchExactlyWithinTenAttempts) {
  testing_support::ScopedMachine machine;
  Write(machine, L"C:\\bvlsvc.exe", "service");
  ComponentInfo good = Expecting(L"C:\\bvlsvc.exe");
  EXPECT_TRUE(VerifyDownloadedFile(L"C:\\bvlsvc.exe", good));
  EXPECT_TRUE(pauses_.empty());

  ComponentInfo upper = good;
  for (wchar_t& c : upper.hash) c = static_cast<wchar_t>(std::towupper(c));
  EXPECT_FALSE(VerifyDownloadedFile(L"C:\\bvlsvc.exe", upper));
  EXPECT_EQ(pauses_, std::vector<unsigned>(9, 500));
  EXPECT_EQ(LinesContaining(L"[Brimvale] bvludt : FildHash Fail - bvlsvc.exe"), 10);

  pauses_.clear();
  EXPECT_FALSE(VerifyDownloadedFile(L"C:\\missing.exe", good));
  EXPECT_EQ(pauses_.size(), 9u);
}

TEST_F(VerificationTest, FileThatBecomesRightOnTheThirdAttemptIsAccepted) {
  testing_support::ScopedMachine machine;
  Write(machine, L"C:\\f.dll", "final content");
  ComponentInfo info = Expecting(L"C:\\f.dll");
  Write(machine, L"C:\\f.dll", "partial");
  onPause_ = [&] {
    if (pauses_.size() == 2) Write(machine, L"C:\\f.dll", "final content");
  };
  EXPECT_TRUE(VerifyDownloadedFile(L"C:\\f.dll", info));
  EXPECT_EQ(pauses_.size(), 2u);
}

TEST_F(VerificationTest, MachineTypeMustMatchTheSystem) {
  struct Row {
    const char* profile;
    platform::PeMachine machine;
    bool accepted;
  } rows[] = {{"win10-x64", platform::PeMachine::AMD64, true},
              {"win10-x64", platform::PeMachine::IA64, true},
              {"win10-x64", platform::PeMachine::I386, false},
              {"win7-x86", platform::PeMachine::I386, true},
              {"win7-x86", platform::PeMachine::AMD64, false},
              {"win7-x86", platform::PeMachine::ARM, false}};
  for (const Row& row : rows) {
    testing_support::ScopedMachine machine(row.profile);
    Write(machine, L"C:\\a.exe", platform::BuildPeImage(row.machine));
    pauses_.clear();
    EXPECT_EQ(VerifyDownloadedFile(L"C:\\a.exe", Expecting(L"C:\\a.exe", COMPONENT_VERIFY_ARCH)), row.accepted)
        << row.profile << " " << platform::PeMachineName(row.machine);
    if (!row.accepted) {
      EXPECT_EQ(LinesContaining(L"[Brimvale] bvludt : Architecture Fail - a.exe"), 10);
    }
  }
}

TEST_F(VerificationTest, SignatureIsCheckedOnlyOnWindows10) {
  struct Row {
    const char* profile;
    bool workstation;
    bool unsignedAccepted;
  } rows[] = {{"win10-x64", true, false}, {"win10-x86", true, false}, {"win7-x86", true, true},
              {"win81-x64", true, true},  {"unknown-os", false, true}, {"win10-x64", false, true}};
  for (const Row& row : rows) {
    platform::Profile profile = *platform::FindProfile(row.profile);
    profile.workstation = row.workstation;  // a server with the Windows 10 value: Windows Server 2016
    testing_support::ScopedMachine machine(profile);
    Write(machine, L"C:\\kvppob.sys", platform::BuildPeImage(platform::PeMachine::I386));
    EXPECT_EQ(VerifyDownloadedFile(L"C:\\kvppob.sys", Expecting(L"C:\\kvppob.sys", COMPONENT_VERIFY_SIGN)),
              row.unsignedAccepted)
        << row.profile << (row.workstation ? "" : " server");
  }
}

TEST_F(VerificationTest, SignersAndNestedSignaturesOnWindows10) {
  testing_support::ScopedMachine machine("win10-x64");
  TrustTestRoot();
  struct Row {
    const char* name;
    std::string primary, nested;
    bool accepted;
  } rows[] = {
      {"allowed issuer with a suffix", "thirdparty", "", true},
      {"other issuer", "other", "", false},
      {"untrusted root", "untrusted", "", false},
      {"other primary, allowed secondary", "other", "thirdparty", true},
      {"failing primary, allowed secondary", "untrusted", "thirdparty", false},
      {"allowed issuer, signer may only authenticate servers", "serverauth", "", false},
      {"server-authentication primary, allowed secondary", "serverauth", "thirdparty", false},
      // Last: its log lines are checked below.
      {"allowed primary, failing secondary", "thirdparty", "untrusted", true},
  };
  for (const Row& row : rows) {
    Write(machine, L"C:\\kvppob.sys", Signed(row.primary, row.nested));
    platform::ClearDebugLog();
    pauses_.clear();
    EXPECT_EQ(VerifyDownloadedFile(L"C:\\kvppob.sys", Expecting(L"C:\\kvppob.sys", COMPONENT_VERIFY_SIGN)), row.accepted)
        << row.name;
    EXPECT_EQ(LinesContaining(L"[Brimvale] bvludt : Verify File Fail [CodeSign Error] - kvppob.sys"),
              row.accepted ? 0 : 10)
        << row.name;
  }
  // A secondary signature that fails to verify is logged, and the earlier
  // signatures still decide.
  EXPECT_EQ(LinesContaining(L"[Brimvale] bvludt : Digital Sign Error - Verify Fail : "), 1);
}

TEST_F(VerificationTest, SignatureStateFailuresAreLoggedWithTheirError) {
  testing_support::ScopedMachine machine("win10-x64");
  TrustTestRoot();
  const ComponentInfo driver = [&] {
    Write(machine, L"C:\\kvppob.sys", Signed("thirdparty", "thirdparty"));
    return Expecting(L"C:\\kvppob.sys", COMPONENT_VERIFY_SIGN);
  }();

  // The issuer's name cannot be measured: the signature is not accepted.
  platform::InjectFault({"CertGetNameString", L"", win::ERROR_NOT_ENOUGH_MEMORY, 1});
  platform::ClearDebugLog();
  EXPECT_EQ(VerifyCodeSignature(L"C:\\kvppob.sys", driver), 1) << "the secondary signature still decides";
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] bvludt : Digital Sign Error - Check CertName Length : 8"});

  // The primary signature's state cannot be closed before the secondary one
  // is verified: the primary signature's verdict stands.
  platform::InjectFault({"WinVerifyTrustClose", L"", win::ERROR_INVALID_HANDLE, 1});
  platform::ClearDebugLog();
  EXPECT_EQ(VerifyCodeSignature(L"C:\\kvppob.sys", driver), 1);
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] bvludt : Digital Sign Error - Action Close Fail : 6"});
}

TEST_F(VerificationTest, TamperedSignedFileIsRejected) {
  testing_support::ScopedMachine machine("win10-x64");
  TrustTestRoot();
  std::string image = Signed("thirdparty");
  ASSERT_GT(image.size(), 0x300u);
  image[0x250] ^= 0x5A;  // inside the section, after signing
  Write(machine, L"C:\\kvppob.sys", image);
  EXPECT_FALSE(VerifyDownloadedFile(L"C:\\kvppob.sys", Expecting(L"C:\\kvppob.sys", COMPONENT_VERIFY_SIGN)));
}

}  // namespace
