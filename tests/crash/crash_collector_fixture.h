// The loopback crash collector (tools/crash_collector.py) for one test: its
// TLS certificate for the collector's deployment host from a test CA, the
// answers it gives, the requests it recorded, and the request bodies split
// by Python's email parser (a multipart parser independent of ours).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/server_child.h"

namespace crash_testing {

// One request as the collector received it (Value() reads a header).
using CollectedRequest = testing_support::LoggedRequest;

struct CollectedPart {
  std::vector<std::pair<std::string, std::string>> headers;  // as the parser read them, in order
  std::string content;
};

class CrashCollector {
 public:
  CrashCollector();
  ~CrashCollector();
  CrashCollector(const CrashCollector&) = delete;
  CrashCollector& operator=(const CrashCollector&) = delete;

  bool Running() const { return m_port > 0; }
  const std::string& Error() const { return m_error; }
  int Port() const { return m_port; }
  // The test CA that signed the collector's certificate (PEM file).
  std::filesystem::path CaFile() const;

  // The answer to the next requests: a status, or no answer at all.
  void AnswerWith(int status);
  void NeverAnswer();
  // A 200 whose body never ends: as fast as it goes (0), or dripping at
  // `bytesPerSecond`.
  void AnswerEndlessly(int bytesPerSecond);

  // Makes the current machine trust the test CA and send the installer
  // account's Internet traffic through this collector as its proxy.
  void ServeCurrentMachine() const;

  std::vector<CollectedRequest> Requests() const;
  // The POST requests only (the proxy's CONNECT requests left out).
  std::vector<CollectedRequest> Posts() const;
  // The parts of the POST request at `postIndex` as the email parser splits
  // them; `defects` receives the parser's complaints.
  std::vector<CollectedPart> Parts(std::size_t postIndex, std::vector<std::string>* defects) const;

 private:
  std::filesystem::path m_folder;
  testing_support::ServerChild m_server;
  int m_port = 0;
  std::string m_error;
};

}  // namespace crash_testing
