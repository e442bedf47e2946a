// The agent server and update host of the main job for a whole test suite:
// tools/make-update-host.sh generates the content (stand-in agent programs,
// the signed driver, the archives) and tools/nginx-fixture.sh serves it on a
// free loopback port. Generating takes a few seconds, so one instance serves
// every test of a suite.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class UpdateHostFixture {
 public:
  // Generates and serves; Error() is empty when both worked.
  UpdateHostFixture();
  ~UpdateHostFixture();
  UpdateHostFixture(const UpdateHostFixture&) = delete;
  UpdateHostFixture& operator=(const UpdateHostFixture&) = delete;

  const std::string& Error() const { return error_; }
  // "http://127.0.0.1:<port>": the agent server's base address.
  std::wstring Server() const;
  int Port() const { return port_; }
  const std::filesystem::path& Root() const { return root_; }
  // The content root's copy of a file served below /update/.
  std::string Served(const std::string& path) const;

  // Adds the test PKI's root to the current machine's trusted roots, so that
  // the driver's signature verifies on Windows 10.
  static void TrustTestRoot();

 private:
  std::filesystem::path root_;
  int port_ = 0;
  bool serving_ = false;
  std::string error_;
};

// The whole content of a host file (empty when it cannot be read).
std::string ReadWholeHostFile(const std::filesystem::path& path);

}  // namespace testing_support
