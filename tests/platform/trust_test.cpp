// Tests of WinVerifyTrust and its helpers on a simulated machine: the
// VERIFY/CLOSE protocol, signature indexes and counts, the signer chain,
// CertGetNameStringW's length protocol and injected faults.
#include "platform/trust.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/images/pe_image.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace {

using namespace win;
using platform::PeMachine;
using testing_support::TestPki;

const wchar_t* const kAgentPath = L"C:\\Program Files\\Brimvale\\agent.exe";

class TrustTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(TestPki::Get().Ready()) << TestPki::Get().Error();
    std::filesystem::copy_file(TestPki::Get().TrustedRoots(), platform::Machine::Current().TrustedRootsFile(),
                               std::filesystem::copy_options::overwrite_existing);
  }

  // Puts `bytes` at a Windows path of the machine.
  void Place(const std::wstring& path, const std::string& bytes) {
    const auto host = machine_.Host(path);
    ASSERT_FALSE(host.empty());
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  std::string Signed(const std::string& signer, const std::string& hash, const std::string& nestSigner = {},
                     const std::string& nestHash = {}) {
    std::string error;
    auto image = TestPki::Get().Sign(platform::BuildPeImage(PeMachine::AMD64, "agent"), signer, hash, nestSigner,
                                     nestHash, &error);
    EXPECT_TRUE(image) << error;
    return image.value_or(std::string());
  }

  // A VERIFY request as the installer builds it.
  struct Request {
    WINTRUST_FILE_INFO file{};
    WINTRUST_SIGNATURE_SETTINGS settings{};
    WINTRUST_DATA data{};
    Request(const wchar_t* path, DWORD index, DWORD flags) {
      file.cbStruct = sizeof file;
      file.pcwszFilePath = path;
      settings.cbStruct = sizeof settings;
      settings.dwIndex = index;
      settings.dwFlags = flags;
      settings.cSecondarySigs = 0xFFFF;
      data.cbStruct = sizeof data;
      data.dwUIChoice = WTD_UI_NONE;
      data.fdwRevocationChecks = WTD_REVOKE_NONE;
      data.dwUnionChoice = WTD_CHOICE_FILE;
      data.pFile = &file;
      data.dwStateAction = WTD_STATEACTION_VERIFY;
      data.pSignatureSettings = &settings;
    }
    LONG Verify() {
      data.dwStateAction = WTD_STATEACTION_VERIFY;
      return WinVerifyTrust(nullptr, &WINTRUST_ACTION_GENERIC_VERIFY_V2, &data);
    }
    LONG Close() {
      data.dwStateAction = WTD_STATEACTION_CLOSE;
      return WinVerifyTrust(nullptr, &WINTRUST_ACTION_GENERIC_VERIFY_V2, &data);
    }
  };

  static std::wstring Name(const CERT_CONTEXT* cert, DWORD flags) {
    const DWORD size = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
    std::wstring name(size, L'?');
    const DWORD written = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, name.data(), size);
    EXPECT_EQ(written, size);
    EXPECT_EQ(name.back(), L'\0');
    name.pop_back();
    return name;
  }

  testing_support::ScopedMachine machine_;
};

// What the installer asks and what it must get back.
struct VerifyRow {
  const char* name;
  const char* signer;        // empty: the file is not signed by the test PKI
  const char* hash;
  const char* nestSigner;
  const char* nestHash;
  std::string (*otherContent)();  // used when signer is empty; null: no file at all
  void (*tamper)(std::string& image);
  DWORD index;
  DWORD flags;
  DWORD expected;
  DWORD expectedCount;       // cSecondarySigs; 0xFFFF when it must stay untouched
  const wchar_t* issuer;     // issuer of the checked signer; null: no signer in the state
};

std::string UnsignedImage() { return platform::BuildPeImage(PeMachine::I386); }
std::string TextFile() { return "just some text, not a program\r\n"; }
void FlipSectionByte(std::string& image) { image[0x200 + 1] ^= 0x10; }

constexpr DWORD kBoth = WSS_VERIFY_SPECIFIC | WSS_GET_SECONDARY_SIG_COUNT;
constexpr const wchar_t* kThirdParty = L"Microsoft Windows Third Party Component CA 2014";

class WinVerifyTrustRows : public TrustTest, public testing::WithParamInterface<VerifyRow> {};

TEST_P(WinVerifyTrustRows, VerifyReportsAndCloseReleases) {
  const VerifyRow& row = GetParam();
  if (*row.signer) {
    std::string image = Signed(row.signer, row.hash, row.nestSigner, row.nestHash);
    ASSERT_FALSE(image.empty());
    if (row.tamper) row.tamper(image);
    Place(kAgentPath, image);
  } else if (row.otherContent) {
    Place(kAgentPath, row.otherContent());
  }

  Request request(kAgentPath, row.index, row.flags);
  SetLastError(0x1234);
  const LONG result = request.Verify();
  EXPECT_EQ(static_cast<DWORD>(result), row.expected);
  EXPECT_EQ(GetLastError(), row.expected);
  EXPECT_EQ(request.settings.cSecondarySigs, row.expectedCount);

  // A state is left also on failure, so that CLOSE always follows.
  ASSERT_NE(request.data.hWVTStateData, nullptr);
  const HANDLE state = request.data.hWVTStateData;
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(provider->dwError, row.expected);
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (row.issuer) {
    ASSERT_NE(signer, nullptr);
    EXPECT_EQ(signer->dwError, row.expected);
    CRYPT_PROVIDER_CERT* cert = WTHelperGetProvCertFromChain(signer, 0);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(Name(cert->pCert, CERT_NAME_ISSUER_FLAG), row.issuer);
    EXPECT_EQ(request.settings.dwVerifiedSigIndex, (row.flags & WSS_VERIFY_SPECIFIC) ? row.index : 0);
  } else {
    EXPECT_EQ(signer, nullptr);
  }

  EXPECT_EQ(request.Close(), 0);
  EXPECT_EQ(request.data.hWVTStateData, nullptr);
  EXPECT_EQ(WTHelperProvDataFromStateData(state), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WinVerifyTrustRows,
    testing::Values(
        VerifyRow{"ThirdPartySha256", "thirdparty", "sha256", "", "", nullptr, nullptr, 0, kBoth, 0, 0, kThirdParty},
        VerifyRow{"ThirdPartySha1NoFlags", "thirdparty", "sha1", "", "", nullptr, nullptr, 5, 0, 0, 0xFFFF,
                  kThirdParty},
        VerifyRow{"NestedPrimary", "other", "sha256", "thirdparty", "sha256", nullptr, nullptr, 0, kBoth, 0, 1,
                  L"Brimvale Other Issuer CA"},
        VerifyRow{"NestedSecondary", "other", "sha256", "thirdparty", "sha256", nullptr, nullptr, 1, kBoth, 0, 1,
                  kThirdParty},
        VerifyRow{"NestedIndexPastTheEnd", "other", "sha256", "thirdparty", "sha256", nullptr, nullptr, 2, kBoth,
                  TRUST_E_NOSIGNATURE, 1, nullptr},
        VerifyRow{"CountWithoutSpecificIndex", "other", "sha1", "thirdparty", "sha256", nullptr, nullptr, 1,
                  WSS_GET_SECONDARY_SIG_COUNT, 0, 1, L"Brimvale Other Issuer CA"},
        VerifyRow{"UntrustedRoot", "untrusted", "sha256", "", "", nullptr, nullptr, 0, kBoth, CERT_E_UNTRUSTEDROOT, 0,
                  L"Brimvale Untrusted Root"},
        VerifyRow{"ServerAuthenticationOnlySigner", "serverauth", "sha256", "", "", nullptr, nullptr, 0, kBoth,
                  CERT_E_WRONG_USAGE, 0, kThirdParty},
        VerifyRow{"NestedServerAuthenticationOnlySigner", "thirdparty", "sha256", "serverauth", "sha256", nullptr,
                  nullptr, 1, kBoth, CERT_E_WRONG_USAGE, 1, kThirdParty},
        // A code signer whose issuer may only serve server authentication: the
        // chain is not valid for code signing (osslsigncode accepts it).
        VerifyRow{"SignerUnderAServerAuthenticationIssuer", "underserverca", "sha256", "", "", nullptr, nullptr, 0,
                  kBoth, CERT_E_WRONG_USAGE, 0, L"Brimvale Server Authentication CA"},
        VerifyRow{"Tampered", "thirdparty", "sha256", "", "", nullptr, FlipSectionByte, 0, kBoth, TRUST_E_BAD_DIGEST,
                  0, kThirdParty},
        VerifyRow{"Unsigned", "", "", "", "", UnsignedImage, nullptr, 0, kBoth, TRUST_E_NOSIGNATURE, 0, nullptr},
        VerifyRow{"NotAProgram", "", "", "", "", TextFile, nullptr, 0, kBoth, TRUST_E_SUBJECT_FORM_UNKNOWN, 0,
                  nullptr},
        VerifyRow{"MissingFile", "", "", "", "", nullptr, nullptr, 0, kBoth, CRYPT_E_FILE_ERROR, 0, nullptr}),
    [](const testing::TestParamInfo<VerifyRow>& info) { return std::string(info.param.name); });

TEST_F(TrustTest, OsslsigncodeRefusesTheServerAuthenticationSignerToo) {
  // The same verdict from an independent verifier, when it is installed.
  std::string output;
  if (testing_support::RunCommand("command -v osslsigncode", &output) != 0) GTEST_SKIP() << "osslsigncode missing";
  const std::filesystem::path folder = testing_support::MakeTempFolder("wrong-usage");
  for (const char* signer : {"thirdparty", "serverauth"}) {
    const std::filesystem::path file = folder / (std::string(signer) + ".sys");
    const std::string image = Signed(signer, "sha256");
    std::ofstream(file, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    const int status = testing_support::RunCommand("osslsigncode verify -in " + testing_support::ShellQuote(file.string()) +
                                                       " -CAfile " + testing_support::ShellQuote(TestPki::Get().TrustedRoots().string()),
                                                   &output);
    EXPECT_EQ(status == 0, std::string(signer) == "thirdparty") << signer << ": " << output;
  }
  std::filesystem::remove_all(folder);
}

TEST_F(TrustTest, TheChainLeadsFromTheSignerToTheTrustedRoot) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(kAgentPath, 0, kBoth);
  ASSERT_EQ(request.Verify(), 0);
  CRYPT_PROVIDER_SGNR* signer =
      WTHelperGetProvSignerFromChain(WTHelperProvDataFromStateData(request.data.hWVTStateData), 0, FALSE, 0);
  ASSERT_NE(signer, nullptr);
  ASSERT_EQ(signer->csCertChain, 3u);
  EXPECT_EQ(Name(WTHelperGetProvCertFromChain(signer, 0)->pCert, 0), L"Brimvale Test Signer");
  EXPECT_EQ(Name(WTHelperGetProvCertFromChain(signer, 1)->pCert, 0), kThirdParty);
  CRYPT_PROVIDER_CERT* root = WTHelperGetProvCertFromChain(signer, 2);
  EXPECT_EQ(Name(root->pCert, 0), L"Brimvale Test Root");
  EXPECT_TRUE(root->fTrustedRoot);
  EXPECT_TRUE(root->fSelfSigned);
  EXPECT_FALSE(WTHelperGetProvCertFromChain(signer, 0)->fSelfSigned);
  EXPECT_EQ(WTHelperGetProvCertFromChain(signer, 3), nullptr);
  EXPECT_EQ(WTHelperGetProvSignerFromChain(WTHelperProvDataFromStateData(request.data.hWVTStateData), 1, FALSE, 0),
            nullptr);
  EXPECT_EQ(WTHelperGetProvSignerFromChain(WTHelperProvDataFromStateData(request.data.hWVTStateData), 0, TRUE, 0),
            nullptr);
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, AMachineWithoutTrustedRootsTrustsNothing) {
  std::filesystem::remove(platform::Machine::Current().TrustedRootsFile());
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(kAgentPath, 0, kBoth);
  EXPECT_EQ(static_cast<DWORD>(request.Verify()), CERT_E_UNTRUSTEDROOT);
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, PathsAreMatchedIgnoringCase) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(L"c:/program files/BRIMVALE/Agent.EXE", 0, kBoth);
  EXPECT_EQ(request.Verify(), 0);
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, IgnoreActionKeepsNoState) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(kAgentPath, 0, kBoth);
  request.data.dwStateAction = WTD_STATEACTION_IGNORE;
  EXPECT_EQ(WinVerifyTrust(nullptr, &WINTRUST_ACTION_GENERIC_VERIFY_V2, &request.data), 0);
  EXPECT_EQ(request.data.hWVTStateData, nullptr);
}

TEST_F(TrustTest, BadRequestsAreRefused) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(kAgentPath, 0, kBoth);
  GUID otherAction = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  otherAction.Data4[7] ^= 1;
  EXPECT_EQ(static_cast<DWORD>(WinVerifyTrust(nullptr, &otherAction, &request.data)), TRUST_E_PROVIDER_UNKNOWN);
  EXPECT_EQ(GetLastError(), TRUST_E_PROVIDER_UNKNOWN);
  EXPECT_EQ(request.data.hWVTStateData, nullptr);
  request.data.dwUnionChoice = 2;  // a catalog member
  EXPECT_EQ(static_cast<DWORD>(request.Verify()), TRUST_E_SUBJECT_FORM_UNKNOWN);
  EXPECT_EQ(static_cast<DWORD>(WinVerifyTrust(nullptr, &WINTRUST_ACTION_GENERIC_VERIFY_V2, nullptr)),
            ERROR_INVALID_PARAMETER);
  // CLOSE of a handle that is no trust state.
  int notAState = 0;
  request.data.hWVTStateData = reinterpret_cast<HANDLE>(&notAState);
  EXPECT_EQ(static_cast<DWORD>(request.Close()), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WTHelperProvDataFromStateData(reinterpret_cast<HANDLE>(&notAState)), nullptr);
  request.data.hWVTStateData = nullptr;
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, VerifyFaultFailsOnceForItsPath) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  platform::InjectFault({"WinVerifyTrust", L"c:\\program files\\brimvale\\agent.exe", ERROR_ACCESS_DENIED, 1});
  Request request(kAgentPath, 0, kBoth);
  EXPECT_EQ(request.Verify(), static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_NE(request.data.hWVTStateData, nullptr);
  EXPECT_EQ(WTHelperGetProvSignerFromChain(WTHelperProvDataFromStateData(request.data.hWVTStateData), 0, FALSE, 0),
            nullptr);
  EXPECT_EQ(request.Close(), 0);
  EXPECT_EQ(request.Verify(), 0);
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, VerifyFaultForAnotherPathDoesNotApply) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  platform::InjectFault({"WinVerifyTrust", L"C:\\other.exe", ERROR_ACCESS_DENIED, -1});
  Request request(kAgentPath, 0, kBoth);
  EXPECT_EQ(request.Verify(), 0);
  EXPECT_EQ(request.Close(), 0);
}

TEST_F(TrustTest, CloseFaultKeepsTheStateUntilACloseSucceeds) {
  Place(kAgentPath, Signed("thirdparty", "sha256"));
  Request request(kAgentPath, 0, kBoth);
  ASSERT_EQ(request.Verify(), 0);
  const HANDLE state = request.data.hWVTStateData;
  platform::InjectFault({"WinVerifyTrustClose", L"", ERROR_INVALID_HANDLE, 1});
  EXPECT_EQ(request.Close(), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(request.data.hWVTStateData, state);
  EXPECT_NE(WTHelperProvDataFromStateData(state), nullptr);
  EXPECT_EQ(request.Close(), 0);
  EXPECT_EQ(request.data.hWVTStateData, nullptr);
}

class CertNameTest : public TrustTest {
 protected:
  // A CERT_CONTEXT over a DER certificate kept by the test.
  const CERT_CONTEXT* Context(const std::string& der) {
    der_ = der;
    context_ = CERT_CONTEXT{X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<BYTE*>(der_.data()),
                            static_cast<DWORD>(der_.size()), nullptr, nullptr};
    return &context_;
  }
  std::string der_;
  CERT_CONTEXT context_{};
};

TEST_F(CertNameTest, LengthProtocol) {
  const CERT_CONTEXT* cert =
      Context(testing_support::MakeCertificate({{"CN", "Brimvale Agent"}}, {{"O", "Brimvale Issuing"}}));
  const std::wstring subject = L"Brimvale Agent";
  // The size needed, NUL included, with a null buffer or a zero size.
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0), subject.size() + 1);
  wchar_t untouched[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, untouched, 0), subject.size() + 1);
  EXPECT_EQ(untouched[0], L'x');
  // Exactly enough room.
  std::wstring buffer(subject.size() + 1, L'?');
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer.data(),
                               static_cast<DWORD>(buffer.size())),
            subject.size() + 1);
  EXPECT_EQ(std::wstring(buffer.c_str()), subject);
  // Too little room: truncated, still terminated, the count written returned.
  wchar_t small[5];
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, small, 5), 5u);
  EXPECT_EQ(std::wstring(small), L"Brim");
  // The issuer flag switches to the issuer's name.
  EXPECT_EQ(Name(cert, CERT_NAME_ISSUER_FLAG), L"Brimvale Issuing");
  // A named attribute.
  char commonName[] = "2.5.4.3";
  wchar_t attribute[64];
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, commonName, attribute, 64), subject.size() + 1);
  EXPECT_EQ(std::wstring(attribute), subject);
}

TEST_F(CertNameTest, NoNameGivesTheLoneNul) {
  const CERT_CONTEXT* cert = Context(testing_support::MakeCertificate({{"C", "KR"}}, {{"L", "Seoul"}}));
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0), 1u);
  wchar_t buffer[8] = {L'x'};
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, buffer, 8), 1u);
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_EMAIL_TYPE, 0, nullptr, buffer, 8), 1u);
}

TEST_F(CertNameTest, NonAsciiNamesArriveAsWideText) {
  const CERT_CONTEXT* cert = Context(testing_support::MakeCertificate(
      {{"CN", "\xEB\xB8\x8C\xEB\xA6\xBC\xEB\xB2\xA0\xEC\x9D\xBC"}}, {{"CN", "Issuer"}}));
  EXPECT_EQ(Name(cert, 0), L"\uBE0C\uB9BC\uBCA0\uC77C");
}

TEST_F(CertNameTest, FaultMakesTheCallReturnZeroOnce) {
  const CERT_CONTEXT* cert = Context(testing_support::MakeCertificate({{"CN", "Agent"}}, {{"CN", "Issuer"}}));
  platform::InjectFault({"CertGetNameString", L"", ERROR_NOT_ENOUGH_MEMORY, 1});
  wchar_t buffer[16];
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer, 16), 6u);
}

}  // namespace
