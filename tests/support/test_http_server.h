// A programmable HTTP(S) server for one test (tools/test_http_server.py run
// as a child process on 127.0.0.1), its routes and the requests it recorded,
// and a throw-away certificate authority for the TLS tests.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/server_child.h"

namespace testing_support {

// One request as the server received it.
using RecordedRequest = LoggedRequest;

// A test CA and a server certificate it signed, by default for 127.0.0.1,
// ::1 and localhost, made with the openssl command-line tool.
struct TestCertificates {
  std::filesystem::path caFile;    // the CA certificate (PEM)
  std::filesystem::path certFile;  // the server certificate (PEM)
  std::filesystem::path keyFile;   // the server's private key (PEM)
};
bool MakeTestCertificates(const std::filesystem::path& folder, TestCertificates* out, std::string* error,
                          const std::string& subjectAltName = "IP:127.0.0.1,IP:::1,DNS:localhost");

// The body of a "body_size" route: byte i is i mod 251.
std::string GeneratedBody(std::size_t count);

class TestHttpServer {
 public:
  // Routes as tools/test_http_server.py describes them (a JSON array). With
  // a certificate and key the server speaks HTTPS. It listens on
  // `listenAddress`, an IPv4 or IPv6 literal ("::1").
  explicit TestHttpServer(const nlohmann::json& routes = nlohmann::json::array(),
                          const TestCertificates* tls = nullptr, const std::string& listenAddress = "127.0.0.1");
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool Running() const { return port_ > 0; }
  const std::string& StartError() const { return error_; }
  int Port() const { return port_; }
  // "http://127.0.0.1:<port><target>" (https with TLS; "[::1]" for ::1).
  std::wstring Url(const std::string& target) const;

  // Replaces the routes; the next request already sees the new ones.
  void SetRoutes(const nlohmann::json& routes);
  // Everything received so far, oldest first.
  std::vector<RecordedRequest> Requests() const;

 private:
  std::filesystem::path folder_;
  ServerChild server_;
  int port_ = 0;
  bool tls_ = false;
  std::string host_;  // as it stands in a URL
  std::string error_;
};

}  // namespace testing_support
