// Generation of the test PKI and signing of images for tests.
#include "support/host_files.h"
#include "support/test_pki.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>

#include "support/scoped_machine.h"

namespace testing_support {

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  output->clear();
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TestPki::TestPki() : folder_(std::filesystem::path(BVL_BINARY_DIR) / "test-pki") {
  std::string output;
  const std::string script = std::string(BVL_SOURCE_DIR) + "/tools/make-test-pki.sh";
  if (RunCommand("bash " + ShellQuote(script) + " " + ShellQuote(folder_.string()), &output) != 0) {
    error_ = "make-test-pki.sh failed: " + output;
    return;
  }
  if (RunCommand("command -v osslsigncode", &output) != 0) {
    error_ = "osslsigncode is not installed (tools/install-deps.sh installs it)";
    return;
  }
  ready_ = true;
}

const TestPki& TestPki::Get() {
  static const TestPki pki;
  return pki;
}

std::optional<std::string> TestPki::Sign(const std::string& image, const std::string& signer,
                                         const std::string& hash, const std::string& nestSigner,
                                         const std::string& nestHash, std::string* error) const {
  auto fail = [error](const std::string& text) -> std::optional<std::string> {
    if (error) *error = text;
    return std::nullopt;
  };
  if (!ready_) return fail(error_);
  const std::filesystem::path work = MakeTempFolder("sign");
  const auto in = work / "in.exe";
  const auto out = work / "out.exe";
  WriteHostFile(in, image);
  std::string command = "bash " + ShellQuote(std::string(BVL_SOURCE_DIR) + "/tools/sign-test-pe.sh") + " " +
                        ShellQuote(folder_.string()) + " " + ShellQuote(signer) + " " + ShellQuote(hash) + " " +
                        ShellQuote(in.string()) + " " + ShellQuote(out.string());
  if (!nestSigner.empty()) command += " --nest " + ShellQuote(nestSigner) + " " + ShellQuote(nestHash);
  std::string output;
  const int status = RunCommand(command, &output);
  std::optional<std::string> signedImage;
  if (status == 0) signedImage = ReadHostFile(out);
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  if (!signedImage || signedImage->empty()) return fail("sign-test-pe.sh failed: " + output);
  return signedImage;
}

namespace {
struct KeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct CertFree { void operator()(X509* p) const { X509_free(p); } };

void AddEntries(X509_NAME* name, const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& entry : entries) {
    X509_NAME_add_entry_by_txt(name, entry.first.c_str(), MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(entry.second.c_str()), -1, -1, 0);
  }
}
}  // namespace

std::string MakeCertificate(const std::vector<std::pair<std::string, std::string>>& subject,
                            const std::vector<std::pair<std::string, std::string>>& issuer) {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  std::unique_ptr<X509, CertFree> certificate(X509_new());
  if (!key || !certificate) return {};
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
  AddEntries(X509_get_subject_name(certificate.get()), subject);
  AddEntries(X509_get_issuer_name(certificate.get()), issuer);
  X509_set_pubkey(certificate.get(), key.get());
  if (X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0) return {};
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate.get(), &der);
  if (length <= 0) return {};
  std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
  OPENSSL_free(der);
  return bytes;
}

}  // namespace testing_support
