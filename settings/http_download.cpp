// DownloadFile: one GET streamed straight into a file of the machine, with
// the progress callback run on the caller's thread, the stall rule, and the
// body written only for a 200 answer.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>

#include <cpprest/http_client.h>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "settings/debug_text.h"
#include "settings/download_sink.h"
#include "settings/http_client.h"
#include "settings/http_common.h"
#include "settings/http_texts.h"

namespace {

using web::http::http_request;
using web::http::http_response;
using web::http::client::http_client;
using web::http::client::http_client_config;

// Pieces of 1 MiB: few enough hand-overs between the socket and the file to
// keep pace with the network, small enough to keep memory flat.
constexpr std::size_t kDownloadPiece = 1024 * 1024;

std::int32_t ClampToInt32(std::uint64_t value) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(value, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
}

// Progress of one download, handed from cpprest's threads to the caller's
// thread: the callback always runs on the thread that called DownloadFile,
// and only once the answer's headers (and so its size) are known.
struct DownloadState {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::uint64_t> reports;  // byte counts, in arrival order
  bool headersKnown = false;
  bool done = false;
  std::uint16_t status = 0;
  std::uint64_t contentLength = 0;

  void Report(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex);
    reports.push_back(bytes);
    changed.notify_all();
  }
  void Headers(std::uint16_t answerStatus, std::uint64_t length) {
    std::lock_guard<std::mutex> lock(mutex);
    status = answerStatus;
    contentLength = length;
    headersKnown = true;
    changed.notify_all();
  }
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    changed.notify_all();
  }
};

win::HANDLE OpenTarget(const std::wstring& path) {
  return win::CreateFileW(path, win::GENERIC_WRITE, win::FILE_SHARE_READ, nullptr, win::CREATE_ALWAYS,
                          win::FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace

std::int32_t DownloadFile(DownloadRequest request, DownloadProgressCallback callback) {
  return DownloadFileWithOutcome(std::move(request), callback, 0, nullptr);
}

std::int32_t DownloadFileWithOutcome(DownloadRequest request, DownloadProgressCallback callback,
                                     std::uint64_t maxBodyBytes, DownloadOutcome* outcome) {
  if (outcome) *outcome = DownloadOutcome{};
  if (!http_common::IsAdmittedUrl(request.url)) return 0;

  if (!platform::ToHostPath(request.filePath)) {
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

  const std::chrono::seconds window = http_common::Timeout();
  http_client_config config;
  config.set_timeout(window);
  config.set_validate_certificates(false);
  config.set_chunksize(kDownloadPiece);
  request.headers.emplace(http_texts::kUserAgentName, http_texts::kUserAgent);

  auto sink = std::make_shared<DownloadSink>(file, maxBodyBytes);
  auto state = std::make_shared<DownloadState>();
  pplx::cancellation_token_source cancel;
  bool complete = false;
  bool sent = false;
  std::uint16_t answered = 0;
  try {
    const http_common::UrlParts parts = http_common::SplitUrl(request.url);
    // Server names are sent for names only, never for an IP address.
    if (!parts.ipv6Literal.empty()) config.set_tlsext_sni_enabled(false);
    http_client client(parts.base, config);
    http_request get(web::http::methods::GET);
    get.set_request_uri(parts.resource);
    http_common::CopyHeaders(request.headers, &get);
    http_common::AddHostHeader(parts, &get);
    get.set_response_stream(concurrency::streams::streambuf<std::uint8_t>(sink).create_ostream());
    get.set_progress_handler([state](web::http::message_direction::direction direction, utility::size64_t bytes) {
      if (direction == web::http::message_direction::download && bytes > 0) state->Report(bytes);
    });

    pplx::task<http_response> transfer =
        client.request(get, cancel.get_token()).then([state, sink, maxBodyBytes](http_response response) {
          const std::uint64_t length = response.headers().content_length();
          state->Headers(response.status_code(), length);
          // Only the body of a 200 answer reaches the file: the target stays
          // empty for any other answer, with nothing to undo afterwards.
          if (maxBodyBytes != 0 && length > maxBodyBytes && length != std::numeric_limits<std::uint64_t>::max()) {
            sink->Decide(BodyUse::kRefuse);
            throw web::http::http_exception("the answer announces " + std::to_string(length) +
                                            " bytes, more than " + std::to_string(maxBodyBytes));
          }
          sink->Decide(response.status_code() == web::http::status_codes::OK ? BodyUse::kWrite : BodyUse::kPassOver);
          return response.content_ready();
        });
    sent = true;
    transfer.then([state, sink](pplx::task<http_response> finished) {
      try {
        finished.wait();  // the outcome is read by the caller's thread below
      } catch (...) {
      }
      sink->Decide(BodyUse::kRefuse);  // no answer arrived: nothing waits for a decision then
      state->Finish();
    });

    // The stall rule: a file may take long, but every window of the
    // time-out must bring at least a few bytes of its body.
    auto windowEnd = std::chrono::steady_clock::now() + window;
    std::uint64_t arrivedAtWindowStart = 0;
    bool stalled = false;
    std::uint64_t received = 0;
    std::int32_t total = 0;
    std::unique_lock<std::mutex> lock(state->mutex);
    while (true) {
      const bool woken = state->changed.wait_until(
          lock, windowEnd, [&] { return state->done || (state->headersKnown && !state->reports.empty()); });
      if (!woken) {
        const std::uint64_t arrived = sink->Arrived();
        if (!stalled && arrived - arrivedAtWindowStart < kDownloadStallMinimumBytes) {
          stalled = true;
          cancel.cancel();  // closes the connection; the transfer then ends at once
        }
        arrivedAtWindowStart = arrived;
        windowEnd += window;
        continue;
      }
      if (state->headersKnown) {
        total = state->status == web::http::status_codes::OK ? ClampToInt32(state->contentLength) : 0;
      }
      std::deque<std::uint64_t> reports;
      if (state->headersKnown) reports.swap(state->reports);
      const bool done = state->done;
      lock.unlock();
      for (std::uint64_t bytes : reports) {
        received = bytes;
        if (callback) callback(1, request.filePath.c_str(), total, ClampToInt32(bytes), 0);
      }
      lock.lock();
      if (done && (state->reports.empty() || !state->headersKnown)) break;
    }
    answered = state->headersKnown ? state->status : 0;
    lock.unlock();

    try {
      http_response response = transfer.get();  // throws when the body did not arrive whole
      complete = response.status_code() == web::http::status_codes::OK;
    } catch (...) {
      if (stalled) {
        throw web::http::http_exception("fewer than " + std::to_string(kDownloadStallMinimumBytes) +
                                        " bytes arrived in " + std::to_string(window.count()) + " seconds");
      }
      throw;
    }
    if (received > 0 && callback) callback(1, request.filePath.c_str(), total, ClampToInt32(received), 1);
  } catch (const std::exception& error) {
    win::OutputDebugStringA("DownloadFile: " + platform::WideToUtf8(DebugValue(request.url)) + ": " +
                            DebugValue(std::string(error.what())));
    complete = false;
    cancel.cancel();
  }
  if (outcome) {
    outcome->requestSent = sent;
    outcome->status = answered;
  }

  sink->Detach();
  win::CloseHandle(file);
  // A body that broke off after its 200 answer is not left half-written.
  if (!complete && answered == web::http::status_codes::OK) EmptyFile(request.filePath);
  return complete ? 1 : 0;
}
