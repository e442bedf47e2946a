// DownloadFile: one GET streamed straight into a file of the machine, piece by
// piece as the body arrives, with the stall rule, the body's bound, and the
// body written only for a 200 answer.
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "settings/debug_text.h"
#include "settings/http_client.h"
#include "settings/http_common.h"
#include "settings/http_exchange.h"
#include "settings/http_texts.h"

namespace {

using Clock = HttpExchange::Clock;

// The most of a refusal's body (an error page) that is read for the progress
// reports: the download has failed already, and an error page that never
// ends must not keep it running.
constexpr std::uint64_t kMaxPassedOverBytes = 1u << 20;

// Pieces of 256 KiB: few enough hand-overs between the socket and the file
// to keep pace with the network, small enough to keep memory flat. A piece
// is whatever has arrived, so a slow link is seen byte by byte.
constexpr std::size_t kDownloadPiece = 256 * 1024;

std::int32_t ClampToInt32(std::uint64_t value) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(value, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
}

win::HANDLE OpenTarget(const std::wstring& path) {
  return win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr, win::CREATE_ALWAYS,
                          win::FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The root of the drive a path names ("C:\"), empty for a path without a
// drive letter.
std::wstring DriveRoot(const std::wstring& path) {
  if (path.size() < 2 || path[1] != L':' || (path.size() > 2 && path[2] != L'\\' && path[2] != L'/')) return {};
  return path.substr(0, 2) + L"\\";
}

// Leaves a downloaded file empty: a failed download must not look like a
// complete file to whoever opens it next.
void EmptyFile(const std::wstring& path) {
  win::HANDLE file = OpenTarget(path);
  if (file == win::INVALID_HANDLE_VALUE) {
    win::OutputDebugStringA("DownloadFile: cannot empty " + platform::WideToUtf8(DebugValue(path)) +
                            " after a failed download, error " + std::to_string(win::GetLastError()));
    return;
  }
  win::CloseHandle(file);
}

// The stall rule, as curl's --speed-limit and --speed-time put it: the body
// may take long, but every window of the time-out must bring at least
// kDownloadStallMinimumBytes. Windows follow each other from the answer's
// head on.
class StallRule {
 public:
  StallRule(Clock::time_point start, std::chrono::seconds window) : window_(window), windowEnd_(start + window) {}

  // How long the next read may wait: to the end of this window while it
  // still lacks bytes, else to the end of the next one, the earliest point
  // at which the link can be found stalled.
  Clock::time_point ReadUntil() const {
    return arrived_ >= kDownloadStallMinimumBytes ? windowEnd_ + window_ : windowEnd_;
  }
  // Counts a piece that arrived now; false when a window that ended before
  // it fell short.
  bool Count(std::size_t bytes) {
    const auto now = Clock::now();
    while (now >= windowEnd_) {
      if (arrived_ < kDownloadStallMinimumBytes) return false;
      arrived_ = 0;
      windowEnd_ += window_;
    }
    arrived_ += bytes;
    return true;
  }

 private:
  const std::chrono::seconds window_;
  Clock::time_point windowEnd_;
  std::uint64_t arrived_ = 0;
};

// What the body of one answer is read under: whether it goes to the file
// (a 200 answer), the most bytes read of it (0: no bound), the size the
// progress reports announce, and the stall rule's window.
struct BodyRules {
  bool writing = false;
  std::uint64_t bound = 0;
  std::int32_t total = 0;
  std::chrono::seconds window{0};
};

std::string StallError(std::chrono::seconds window) {
  return "fewer than " + std::to_string(kDownloadStallMinimumBytes) + " bytes arrived in " +
         std::to_string(window.count()) + " seconds";
}

// The body phase: piece by piece from the exchange into the file (when
// writing) with a progress report for each; `received` counts the bytes read.
// False, with the reason in *error, when the body broke off, stalled, grew
// past its bound or could not be written; an error page that grows past its
// bound just ends here.
bool CopyBody(HttpExchange& exchange, const DownloadRequest& request, win::HANDLE file, const BodyRules& rules,
              DownloadProgressCallback callback, std::uint64_t* received, std::string* error) {
  StallRule stall(Clock::now(), rules.window);
  std::vector<unsigned char> piece(kDownloadPiece);
  while (true) {
    std::size_t count = 0;
    bool timedOut = false;
    if (!exchange.Read(piece.data(), piece.size(), stall.ReadUntil(), &count, &timedOut, error)) {
      if (timedOut) *error = StallError(rules.window);
      return false;
    }
    if (count == 0) return true;
    if (!stall.Count(count)) {
      *error = StallError(rules.window);
      return false;
    }
    if (rules.bound != 0 && *received + count > rules.bound) {
      if (!rules.writing) return true;  // enough of the error page
      *error = "the answer is larger than " + std::to_string(rules.bound) + " bytes";
      return false;
    }
    win::DWORD written = 0;
    if (rules.writing &&
        (!win::WriteFile(file, piece.data(), static_cast<win::DWORD>(count), &written, nullptr) || written != count)) {
      *error = "cannot write " + platform::WideToUtf8(DebugValue(request.filePath)) + ", error " +
               std::to_string(win::GetLastError());
      return false;
    }
    *received += count;
    if (callback) callback(1, request.filePath.c_str(), rules.total, ClampToInt32(*received), 0);
  }
}

// Everything a download does once its target is open; false, with the
// reason in *error, when the file does not hold the whole 200 body.
bool Transfer(const DownloadRequest& request, win::HANDLE file, DownloadProgressCallback callback,
              std::uint64_t maxBodyBytes, DownloadOutcome* outcome, std::string* error) {
  HttpExchange::Request get;
  get.method = L"GET";
  get.headers.assign(request.headers.begin(), request.headers.end());
  get.verifyCertificates = false;  // downloads accept any certificate; the files are verified instead

  BodyRules rules;
  rules.window = http_common::Timeout();
  HttpExchange exchange;
  if (!exchange.Open(get, request.url, Clock::now() + rules.window, &outcome->requestSent, error)) return false;
  outcome->status = exchange.Status();
  // Only the body of a 200 answer reaches the file: the target stays empty
  // for any other answer. Its body (an error page) is read for the progress
  // reports only, and only so far.
  rules.writing = exchange.Status() == 200;
  if (!rules.writing && !callback) return false;
  rules.bound = rules.writing ? maxBodyBytes : kMaxPassedOverBytes;

  std::uint64_t announced = 0;
  const bool hasLength = exchange.ContentLength(&announced);
  if (rules.writing && hasLength && rules.bound != 0 && announced > rules.bound) {
    *error = "the answer announces " + std::to_string(announced) + " bytes, more than " + std::to_string(rules.bound);
    return false;
  }
  rules.total = rules.writing && hasLength ? ClampToInt32(announced) : 0;

  std::uint64_t received = 0;
  if (!CopyBody(exchange, request, file, rules, callback, &received, error)) return false;
  if (rules.writing && hasLength && received != announced) {
    *error = "the body ended after " + std::to_string(received) + " of " + std::to_string(announced) + " bytes";
    return false;
  }
  if (received > 0 && callback) callback(1, request.filePath.c_str(), rules.total, ClampToInt32(received), 1);
  return rules.writing;
}

}  // namespace

std::int32_t DownloadFile(DownloadRequest request, DownloadProgressCallback callback) {
  return DownloadFileWithOutcome(std::move(request), callback, 0, nullptr);
}

std::int32_t DownloadFileWithOutcome(DownloadRequest request, DownloadProgressCallback callback,
                                     std::uint64_t maxBodyBytes, DownloadOutcome* outcome) {
  DownloadOutcome ignored;
  if (!outcome) outcome = &ignored;
  *outcome = DownloadOutcome{};
  if (!http_common::IsAdmittedUrl(request.url)) return 0;

  if (win::GetDriveTypeW(DriveRoot(request.filePath)) != win::DRIVE_FIXED) {
    win::OutputDebugStringA("DownloadFile: no such drive for " + platform::WideToUtf8(DebugValue(request.filePath)));
    return 0;
  }
  // The target is created (or emptied) before anything is sent.
  win::HANDLE file = OpenTarget(request.filePath);
  if (file == win::INVALID_HANDLE_VALUE) {
    win::OutputDebugStringA("DownloadFile: cannot open " + platform::WideToUtf8(DebugValue(request.filePath)) +
                            " for writing, error " + std::to_string(win::GetLastError()));
    return 0;
  }
  request.headers.emplace(http_texts::kUserAgentName, http_texts::kUserAgent);

  std::string error;
  const bool complete = Transfer(request, file, callback, maxBodyBytes, outcome, &error);
  win::CloseHandle(file);
  if (!complete && !error.empty()) {
    win::OutputDebugStringA("DownloadFile: " + platform::WideToUtf8(DebugValue(request.url)) + ": " +
                            DebugValue(error));
  }
  // A body that broke off after its 200 answer is not left half-written.
  if (!complete && outcome->status == 200) EmptyFile(request.filePath);
  return complete ? 1 : 0;
}
