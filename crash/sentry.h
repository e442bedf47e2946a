// kvdump::Sentry: the event record sent beside every crash report, shared by
// the application object and the crash reporter.
#pragma once

#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace kvdump {

class Sentry {
 public:
  // Sets the document's "release" member; a null document becomes an object.
  // `release` is UTF-8 text.
  void SetRelease(const std::string& release);

  // The document as the form field "sentry" carries it: compact JSON, every
  // non-ASCII character as a \uXXXX escape, "null" while nothing was set.
  // Bytes that are not UTF-8 are sent as U+FFFD rather than losing the report.
  // Reads without the lock: its only writer runs during start-up, long before
  // a crash report is made.
  std::string Serialise() const;

 private:
  std::mutex m_mutex;
  nlohmann::json m_document;
};

}  // namespace kvdump
