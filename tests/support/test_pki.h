// The test code-signing PKI (tools/make-test-pki.sh), generated once per test
// program under the build folder, and signing of PE images with its signers
// through tools/sign-test-pe.sh (osslsigncode).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class TestPki {
 public:
  // The PKI of this build; generated on first use. When openssl is missing
  // or generation fails, Ready() is false and Error() tells why: tests assert
  // on it and fail.
  static const TestPki& Get();

  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }
  const std::filesystem::path& Folder() const { return folder_; }
  // The bundle a machine trusts: "Brimvale Test Root" only.
  std::filesystem::path TrustedRoots() const { return folder_ / "trusted-roots.pem"; }

  // Signs `image` as `signer` ("thirdparty", "other", "untrusted",
  // "serverauth", whose certificate may only authenticate servers, and
  // "underserverca", a code signer whose issuer may only serve server
  // authentication) with
  // `hash` ("sha1", "sha256"); with `nestSigner`, adds a nested signature by
  // that signer. Empty on failure, with the reason in `error`.
  std::optional<std::string> Sign(const std::string& image, const std::string& signer, const std::string& hash,
                                  const std::string& nestSigner = {}, const std::string& nestHash = {},
                                  std::string* error = nullptr) const;

 private:
  TestPki();
  std::filesystem::path folder_;
  bool ready_ = false;
  std::string error_;
};

// Runs a shell command; returns its exit status and puts stdout+stderr in `output`.
int RunCommand(const std::string& command, std::string* output);
// A word quoted for the shell.
std::string ShellQuote(const std::string& word);

// A throw-away self-signed-style DER certificate with the given subject and
// issuer name entries (short names: "CN", "OU", "O", "C", "emailAddress").
std::string MakeCertificate(const std::vector<std::pair<std::string, std::string>>& subject,
                            const std::vector<std::pair<std::string, std::string>>& issuer);

}  // namespace testing_support
