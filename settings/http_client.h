// HTTP client layer of the installer: JSON requests to the Brimvale servers and
// streamed file downloads over the machine's WinHTTP, plus small JSON helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "settings/json_text.h"

struct HttpRequestOptions {
  std::wstring url;
  std::map<std::wstring, std::wstring> headers;  // case-sensitive keys
  JsonValue body;                                // null when none
  std::wstring method;                           // "GET", "POST", ...
  std::string* errorText = nullptr;  // receives the library's error text on transport/URL error
  bool acceptJson = false;
  std::wstring language;  // empty: send the user's language
  bool compress = false;
};

struct DownloadRequest {
  std::wstring url;
  std::map<std::wstring, std::wstring> headers;
  std::wstring filePath;  // Windows path of the target file
};

// kind is 1 for a download; total is the announced size (Content-Length of a
// 200 answer, else 0), received the bytes so far, finished 1 on the last call.
using DownloadProgressCallback = void (*)(std::int32_t kind, const wchar_t* path, std::int32_t total,
                                          std::int32_t received, std::int32_t finished);

// The most an answer of RequestJson may carry as it arrives, and the most a
// gzip answer may inflate to: far above the agent server's answers of a few
// kilobytes, and small enough that an answer that never ends, or a small one
// that inflates enormously, cannot exhaust the installer.
constexpr std::uint64_t kMaxJsonAnswerBytes = 8u << 20;

// Sends a request and waits for the answer, 30 seconds at most for the whole
// request however the answer trickles in, redirects (at most
// kMaxHttpRedirects) included. Returns the HTTP status, or 400 when the
// address is refused or the request fails before its whole answer arrived
// (then *errorText, when given, holds the reason): a transport failure, a
// head beyond the transport's bound, the deadline, or a body beyond
// kMaxJsonAnswerBytes. *body receives the answer decoded as UTF-8 (a gzip
// answer decompressed first, empty when it does not inflate within
// kMaxJsonAnswerBytes), *date its "Date" header.
std::uint16_t RequestJson(HttpRequestOptions options, std::wstring* body, std::wstring* date);

// Downloads `url` into the file `filePath`, streaming the body to disk as it
// arrives; redirects are followed and only the body of the final 200 answer
// is written. Returns 1 when the file holds that whole body, else 0 (and the
// file is left empty). A download that stalls, fewer than
// kDownloadStallMinimumBytes arriving in a window of the 30-second time-out,
// fails; a slow link that keeps above that rate completes.
std::int32_t DownloadFile(DownloadRequest request, DownloadProgressCallback callback = nullptr);

// The least a download must bring in every window of its time-out.
constexpr std::uint64_t kDownloadStallMinimumBytes = 1024;

// What a download met beyond its result, for callers that must tell a host
// that refused a file from a transfer that broke.
struct DownloadOutcome {
  bool requestSent = false;  // the target could be opened and the request went out
  std::uint16_t status = 0;  // the answer's status; 0 when no answer arrived
};

// DownloadFile for callers that need more than its result: a body that
// grows past maxBodyBytes (0: no bound) fails the download as it arrives, and
// *outcome, when given, tells what the host answered.
std::int32_t DownloadFileWithOutcome(DownloadRequest request, DownloadProgressCallback callback,
                                     std::uint64_t maxBodyBytes, DownloadOutcome* outcome);

// The value in `text`, or null (with the parser's message in the debug output)
// when it is not valid JSON as ReadJsonText reads it. Never throws.
JsonValue ParseJson(const std::wstring& text);
// The content of a JSON string, empty for any other value.
std::wstring JsonToString(const JsonValue& value);
// The member `name` of an object, null for a missing member or a non-object.
JsonValue JsonMember(const JsonValue& value, const std::wstring& name);

// Test seam: the timeout of both calls (30 s in the product), which is also
// the deadline of a request and the window of a download's stall rule. Tests
// shorten it so that a server that never answers costs them a second, not
// half a minute.
void SetHttpTimeoutForTesting(std::chrono::seconds timeout);
