// The crash report's HTTP upload: one multipart POST over the HTTP library,
// through the proxy that the user's Internet settings name, TLS verified
// against the system's and the machine's trusted roots.
#pragma once

#include <chrono>
#include <map>
#include <string>

namespace kvdump {

// The waiting limits of one upload when the caller sets none: the connect
// and receive time-outs that the platform's Internet library uses by default.
constexpr std::chrono::seconds kDefaultUploadTimeout{30};

struct UploadResult {
  int status = 0;          // the collector's HTTP status; 0 when no answer came
  std::string response;    // the answer's body
  std::string error;       // why no answer came (or the file could not be read)
};

// Sends `fields` and `files` (form name → full path of the file) to `url` as
// multipart/form-data with the user agent "Breakpad/1.0 (Windows)". A
// collector that stops answering for `timeout` ends the attempt.
UploadResult SendMultipartPostRequest(const std::wstring& url, const std::map<std::wstring, std::wstring>& fields,
                                      const std::map<std::wstring, std::wstring>& files,
                                      std::chrono::seconds timeout = kDefaultUploadTimeout);

}  // namespace kvdump
