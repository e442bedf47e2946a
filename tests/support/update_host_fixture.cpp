// Serving the build's update host for tests.
#include "support/update_host_fixture.h"

#include <fstream>

#include "platform/sim/machine/machine.h"
#include "support/free_port.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace testing_support {

namespace {

std::string Tool(const std::string& name) { return ShellQuote(std::string(BVL_SOURCE_DIR) + "/tools/" + name); }

// Where the build generated the content (tests/CMakeLists.txt).
std::filesystem::path GeneratedContent() { return std::filesystem::path(BVL_BINARY_DIR) / "update-host"; }

// Why the build's content cannot be served with this build's PKI; empty
// when it can.
std::string ContentProblem(const std::filesystem::path& content, const TestPki& pki) {
  const std::string rebuild = " (cmake --build --preset default --target bvl_update_host)";
  if (!std::filesystem::exists(content / "complete")) return "no update host generated in " + content.string() + rebuild;
  // A driver signed under an earlier PKI would fail its signature check.
  if (ReadHostFile(content / ".signing-root.pem") != ReadHostFile(pki.TrustedRoots())) {
    return "the update host in " + content.string() + " was signed under another test PKI than " +
           pki.Folder().string() + rebuild;
  }
  return {};
}

}  // namespace

UpdateHostFixture::UpdateHostFixture() {
  const TestPki& pki = TestPki::Get();
  if (!pki.Ready()) {
    error_ = pki.Error();
    return;
  }
  const std::filesystem::path content = GeneratedContent();
  error_ = ContentProblem(content, pki);
  if (!error_.empty()) return;
  root_ = MakeTempFolder("update-host");
  std::error_code copyError;
  std::filesystem::copy(content, root_, std::filesystem::copy_options::recursive, copyError);
  if (copyError) {
    error_ = "cannot copy " + content.string() + ": " + copyError.message();
    return;
  }
  port_ = FreePort();
  std::string output;
  const std::string answers = "bash " + Tool("make-update-host.sh") + " " + ShellQuote(root_.string()) +
                              " --answers-only --port " + std::to_string(port_);
  if (RunCommand(answers, &output) != 0) {
    error_ = "make-update-host.sh --answers-only failed: " + output;
    return;
  }
  const std::string start =
      "bash " + Tool("nginx-fixture.sh") + " start " + ShellQuote(root_.string()) + " " + std::to_string(port_);
  if (RunCommand(start, &output) != 0) {
    error_ = "nginx-fixture.sh start failed: " + output;
    return;
  }
  serving_ = true;
}

UpdateHostFixture::~UpdateHostFixture() {
  std::string output;
  if (serving_) RunCommand("bash " + Tool("nginx-fixture.sh") + " stop " + ShellQuote(root_.string()), &output);
  std::error_code ignored;
  if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
}

std::wstring UpdateHostFixture::Server() const {
  const std::string text = "http://127.0.0.1:" + std::to_string(port_);
  return std::wstring(text.begin(), text.end());
}

std::string UpdateHostFixture::Served(const std::string& path) const { return ReadHostFile(root_ / "update" / path); }

void UpdateHostFixture::TrustTestRoot() {
  std::ofstream(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app)
      << ReadHostFile(TestPki::Get().TrustedRoots());
}

}  // namespace testing_support
