// The agent server and update host of the main job: tools/make-update-host.sh
// generates the content (stand-in agent programs, the signed driver, the
// archives) once per build, into the build folder (the target
// bvl_update_host); each fixture serves a copy of it, with the agent server's
// answers naming its own free loopback port, through tools/nginx-fixture.sh.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class UpdateHostFixture {
 public:
  // Copies the build's content and serves it; Error() is empty when both
  // worked.
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

}  // namespace testing_support
