// Signature trust of the Windows program: the system's WinVerifyTrust on
// small programs of this build that the test PKI signed at build time (its
// root trusted in the Wine prefix by tests/windows/run-with-servers.sh), the
// signer and its chain reached through the provider-data helpers, and names
// read by CertGetNameStringW.
//
// Wine's wintrust.dll accepts three kinds of file that Windows refuses: a
// chain to an untrusted root, an expired signer, and a signer whose
// certificate may only authenticate servers. Those refusals are proven by the
// simulated machine's tests (tests/platform/trust_test.cpp), not here.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/trust.h"
#include "windows/platform/wine_paths.h"

namespace {

using namespace win;

std::wstring TrustFile(const char* name) {
  return testing_windows::WideWinePath((std::string(BVL_BINARY_DIR) + "/tests/windows/trust/" + name).c_str());
}

// One VERIFY of a file, closed when the test ends.
class Verification {
 public:
  explicit Verification(const std::wstring& path, DWORD settingsFlags = 0, DWORD index = 0) : path_(path) {
    file_.cbStruct = sizeof file_;
    file_.pcwszFilePath = path_.c_str();
    settings_.cbStruct = sizeof settings_;
    settings_.dwFlags = settingsFlags;
    settings_.dwIndex = index;
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.pSignatureSettings = settingsFlags ? &settings_ : nullptr;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    result_ = WinVerifyTrust(nullptr, &action, &data_);
  }
  ~Verification() { Close(); }

  LONG Close() {
    if (!data_.hWVTStateData) return 0;
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(nullptr, &action, &data_);
  }

  DWORD result() const { return static_cast<DWORD>(result_); }
  HANDLE state() const { return data_.hWVTStateData; }
  const WINTRUST_SIGNATURE_SETTINGS& settings() const { return settings_; }

 private:
  std::wstring path_;
  WINTRUST_FILE_INFO file_{};
  WINTRUST_SIGNATURE_SETTINGS settings_{};
  WINTRUST_DATA data_{};
  LONG result_ = -1;
};

std::wstring Name(const CERT_CONTEXT* cert, DWORD flags) {
  const DWORD size = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, nullptr, 0);
  std::vector<wchar_t> name(size + 1, L'?');
  const DWORD written = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, name.data(), size);
  EXPECT_EQ(written, size);
  return std::wstring(name.data());
}

TEST(Trust, ASignedFileVerifiesAndItsSignerLeadsToTheTrustedRoot) {
  Verification verification(TrustFile("signed.exe"));
  ASSERT_EQ(verification.result(), 0u);
  EXPECT_EQ(GetLastError(), 0u);
  ASSERT_NE(verification.state(), nullptr);

  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(verification.state());
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(provider->dwError, 0u);
  ASSERT_EQ(provider->csSigners, 1u);
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  ASSERT_EQ(signer, &provider->pasSigners[0]);
  EXPECT_EQ(WTHelperGetProvSignerFromChain(provider, 1, FALSE, 0), nullptr);
  // The signer, the third-party issuer and the test root.
  ASSERT_EQ(signer->csCertChain, 3u);
  CRYPT_PROVIDER_CERT* leaf = WTHelperGetProvCertFromChain(signer, 0);
  CRYPT_PROVIDER_CERT* root = WTHelperGetProvCertFromChain(signer, 2);
  ASSERT_NE(leaf, nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(WTHelperGetProvCertFromChain(signer, 3), nullptr);
  EXPECT_TRUE(root->fTrustedRoot);
  EXPECT_TRUE(root->fSelfSigned);
  EXPECT_FALSE(leaf->fSelfSigned);
  EXPECT_EQ(Name(leaf->pCert, 0), L"Brimvale Test Signer");
  EXPECT_EQ(Name(leaf->pCert, CERT_NAME_ISSUER_FLAG), L"Microsoft Windows Third Party Component CA 2014");
  EXPECT_EQ(Name(root->pCert, 0), L"Brimvale Test Root");

  EXPECT_EQ(verification.Close(), 0);
  EXPECT_EQ(verification.state(), nullptr);
}

TEST(Trust, AChangedByteIsABadDigest) {
  std::ifstream in(testing_windows::WinePath((std::string(BVL_BINARY_DIR) + "/tests/windows/trust/signed.exe").c_str()),
                   std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 4096u);
  bytes[bytes.size() / 2] ^= 0x55;  // in the program's sections, far from the signature at the end
  const std::string tampered =
      testing_windows::WinePath((std::string(BVL_BINARY_DIR) + "/tests/windows/trust/tampered.exe").c_str());
  std::ofstream(tampered, std::ios::binary) << bytes;

  Verification verification(std::wstring(tampered.begin(), tampered.end()));
  EXPECT_EQ(verification.result(), TRUST_E_BAD_DIGEST);
  EXPECT_EQ(GetLastError(), TRUST_E_BAD_DIGEST);
  std::remove(tampered.c_str());
}

TEST(Trust, AnUnsignedFileHasNoSignatureButLeavesAStateToClose) {
  Verification verification(TrustFile("unsigned.exe"));
  EXPECT_EQ(verification.result(), TRUST_E_NOSIGNATURE);
  ASSERT_NE(verification.state(), nullptr);
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(verification.state());
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(provider->dwError, TRUST_E_NOSIGNATURE);
  EXPECT_EQ(WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0), nullptr);
  EXPECT_EQ(verification.Close(), 0);
}

// Wine counts the nested signature but verifies the primary one whatever
// index is asked for, and leaves dwVerifiedSigIndex alone; the simulated
// machine's tests prove the choice of a nested signature.
TEST(Trust, ANestedSignatureIsCounted) {
  Verification verification(TrustFile("nested.exe"), WSS_GET_SECONDARY_SIG_COUNT | WSS_VERIFY_SPECIFIC, 0);
  EXPECT_EQ(verification.result(), 0u);
  EXPECT_EQ(verification.settings().cSecondarySigs, 1u);
  Verification single(TrustFile("signed.exe"), WSS_GET_SECONDARY_SIG_COUNT | WSS_VERIFY_SPECIFIC, 0);
  EXPECT_EQ(single.settings().cSecondarySigs, 0u);
}

TEST(Trust, AMissingFileIsRefused) {
  Verification verification(TrustFile("absent.exe"));
  EXPECT_NE(verification.result(), 0u);
}

TEST(Trust, NamesOfACertificateMadeFromItsBytes) {
  std::ifstream in(testing_windows::WinePath((std::string(BVL_BINARY_DIR) + "/test-pki/root.crt").c_str()));
  std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // PEM to DER: the base64 between the armour lines.
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const std::size_t start = pem.find(begin);
  const std::size_t end = pem.find("-----END CERTIFICATE-----");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string der;
  unsigned bits = 0, count = 0;
  for (std::size_t i = start + begin.size(); i < end; ++i) {
    const std::size_t value = alphabet.find(pem[i]);
    if (value == std::string::npos) continue;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      der += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  CERT_CONTEXT cert{X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<BYTE*>(der.data()),
                    static_cast<DWORD>(der.size()), nullptr, nullptr};
  EXPECT_EQ(Name(&cert, 0), L"Brimvale Test Root");
  EXPECT_EQ(Name(&cert, CERT_NAME_ISSUER_FLAG), L"Brimvale Test Root");
  // A name cut to the room given, and none for no certificate.
  wchar_t cut[5];
  EXPECT_EQ(CertGetNameStringW(&cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, cut, 5), 5u);
  EXPECT_EQ(std::wstring(cut), L"Brim");
  EXPECT_EQ(CertGetNameStringW(nullptr, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0), 1u);
}

}  // namespace
