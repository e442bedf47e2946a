// The crash report's HTTP upload: one multipart POST over WinHTTP, through
// the proxy that the user's Internet settings name, TLS verified against the
// machine's trusted roots.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace kvdump {

// How long one upload may take in all when the caller sets no limit: a
// collector that answers slowly, never ends its answer or never answers at
// all cannot keep a crashing installer alive longer.
constexpr std::chrono::seconds kDefaultUploadTimeout{30};

// The most of the collector's answer that is read: only its status decides
// the outcome, and the rest (an event id) is short.
constexpr std::size_t kMaxUploadAnswerBytes = 64 * 1024;

struct UploadResult {
  int status = 0;          // the collector's HTTP status; 0 when no answer came
  std::string response;    // the answer's body, at most kMaxUploadAnswerBytes of it
  std::string error;       // why no answer came (or the file could not be read)
};

// Sends `fields` and `files` (form name → full path of the file) to `url` as
// multipart/form-data with the user agent "Breakpad/1.0 (Windows)". The
// whole upload, the answer included, ends after `timeout`; a status that
// arrived by then stands even when the rest of the answer did not.
UploadResult SendMultipartPostRequest(const std::wstring& url, const std::map<std::wstring, std::wstring>& fields,
                                      const std::map<std::wstring, std::wstring>& files,
                                      std::chrono::seconds timeout = kDefaultUploadTimeout);

}  // namespace kvdump
