// Generating and serving the update host for tests.
#include "support/update_host_fixture.h"

#include <fstream>
#include <iterator>

#include "platform/machine.h"
#include "support/free_port.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace testing_support {

namespace {

std::string Tool(const std::string& name) { return ShellQuote(std::string(BVL_SOURCE_DIR) + "/tools/" + name); }

}  // namespace

std::string ReadWholeHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

UpdateHostFixture::UpdateHostFixture() {
  const TestPki& pki = TestPki::Get();
  if (!pki.Ready()) {
    error_ = pki.Error();
    return;
  }
  root_ = MakeTempFolder("update-host");
  port_ = FreePort();
  std::string output;
  const std::string generate = "bash " + Tool("make-update-host.sh") + " " + ShellQuote(root_.string()) + " --port " +
                               std::to_string(port_) + " --pki " + ShellQuote(pki.Folder().string()) + " --make-pe " +
                               ShellQuote(std::string(BVL_BINARY_DIR) + "/tools/make_pe");
  if (RunCommand(generate, &output) != 0) {
    error_ = "make-update-host.sh failed: " + output;
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

std::string UpdateHostFixture::Served(const std::string& path) const {
  return ReadWholeHostFile(root_ / "update" / path);
}

void UpdateHostFixture::TrustTestRoot() {
  std::ofstream(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app)
      << ReadWholeHostFile(TestPki::Get().TrustedRoots());
}

}  // namespace testing_support
