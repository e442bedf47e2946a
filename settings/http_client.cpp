// HTTP client layer over cpprestsdk: JSON requests with the installer's fixed
// headers, downloads streamed straight into files of the machine, JSON helpers.
#include "settings/http_client.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/asio/ssl.hpp>
#include <cpprest/astreambuf.h>
#include <cpprest/http_client.h>
#include <cpprest/http_compression.h>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "settings/http_gzip.h"
#include "settings/http_texts.h"

namespace {

using web::http::http_request;
using web::http::http_response;
using web::http::client::http_client;
using web::http::client::http_client_config;

std::atomic<long long> g_timeoutSeconds{30};
constexpr std::chrono::milliseconds kPollInterval{200};
constexpr std::size_t kDownloadPiece = 1024 * 1024;

std::chrono::seconds Timeout() { return std::chrono::seconds(g_timeoutSeconds.load()); }

// Only plain and secure web addresses reach the network; the scheme is
// compared on an ASCII lower-case copy so "HTTPS://" is admitted too.
bool IsAdmittedUrl(const std::wstring& url) {
  std::string start;
  for (std::size_t i = 0; i < url.size() && i < 8; ++i) {
    wchar_t c = url[i];
    start += (c >= L'A' && c <= L'Z') ? static_cast<char>(c - L'A' + 'a')
                                      : (c < 0x80 ? static_cast<char>(c) : '?');
  }
  return start.compare(0, 7, "http://") == 0 || start.compare(0, 8, "https://") == 0;
}

// The user's language as Windows names it (ISO 639: "ko", "en", ...).
std::wstring UserLanguage() {
  wchar_t buffer[10] = {};
  if (win::GetLocaleInfoW(win::LOCALE_USER_DEFAULT, win::LOCALE_SISO639LANGNAME, buffer, 10) <= 1) {
    // The locale has no ISO 639 name (the call returned 0, or an empty
    // name): ask for English, the language every Brimvale server answers in.
    return http_texts::kFallbackLanguage;
  }
  return buffer;
}

// Splits an address into the client's base (scheme, host, port) and the
// request's resource (path, query, fragment), so the query reaches the server
// exactly as written. Throws web::uri_exception for a malformed address.
// The resource stays a parsed uri: turned back into text, a path that starts
// with two slashes (a server address ending in "/") would be read again as an
// authority and lose its first segment.
void SplitUrl(const std::wstring& url, web::uri* base, web::uri* resource) {
  web::uri full(platform::WideToUtf8(url));
  *base = full.authority();
  *resource = full.resource();
}

void CopyHeaders(const std::map<std::wstring, std::wstring>& headers, http_request* request) {
  for (const auto& [name, value] : headers) {
    request->headers().add(platform::WideToUtf8(name), platform::WideToUtf8(value));
  }
}

bool HasContent(const web::json::value& body) {
  return (body.is_object() && body.size() > 0) || (body.is_array() && body.size() > 0);
}

std::int32_t ClampToInt32(std::uint64_t value) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(value, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
}

// What the request continuation learns from the answer; read by the waiting
// thread once the task is done.
struct JsonAnswer {
  std::uint16_t status = 0;
  std::string date;
  std::string encoding;
  std::vector<unsigned char> bytes;
};

// Write-only stream buffer over an open CRT file: cpprest hands it each piece
// of the body as it arrives and waits for the write to finish before reading
// on, so a download never holds more than one piece in memory.
class FileSink : public concurrency::streams::details::streambuf_state_manager<std::uint8_t> {
 public:
  explicit FileSink(std::FILE* file)
      : streambuf_state_manager<std::uint8_t>(std::ios_base::out), file_(file) {}

  // Stops all further writes; the owner closes the file afterwards.
  void Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = nullptr;
  }

  bool can_seek() const override { return false; }
  bool has_size() const override { return false; }
  size_t buffer_size(std::ios_base::openmode) const override { return 0; }
  void set_buffer_size(size_t, std::ios_base::openmode) override {}
  size_t in_avail() const override { return 0; }
  pos_type getpos(std::ios_base::openmode) const override { return static_cast<pos_type>(written_.load()); }
  pos_type seekpos(pos_type, std::ios_base::openmode) override { return static_cast<pos_type>(traits::eof()); }
  pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
    return static_cast<pos_type>(traits::eof());
  }
  bool acquire(std::uint8_t*& ptr, size_t& count) override {
    ptr = nullptr;
    count = 0;
    return false;
  }
  void release(std::uint8_t*, size_t) override {}

 protected:
  pplx::task<int_type> _putc(std::uint8_t ch) override {
    if (!Write(&ch, 1)) return pplx::task_from_exception<int_type>(WriteError());
    return pplx::task_from_result<int_type>(ch);
  }
  pplx::task<size_t> _putn(const std::uint8_t* ptr, size_t count) override {
    if (!Write(ptr, count)) return pplx::task_from_exception<size_t>(WriteError());
    return pplx::task_from_result<size_t>(count);
  }
  pplx::task<int_type> _bumpc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  int_type _sbumpc() override { return traits::eof(); }
  pplx::task<int_type> _getc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  int_type _sgetc() override { return traits::eof(); }
  pplx::task<int_type> _nextc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  pplx::task<int_type> _ungetc() override { return pplx::task_from_result<int_type>(traits::eof()); }
  pplx::task<size_t> _getn(std::uint8_t*, size_t) override { return pplx::task_from_result<size_t>(0); }
  size_t _scopy(std::uint8_t*, size_t) override { return 0; }
  pplx::task<bool> _sync() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return pplx::task_from_result(file_ != nullptr && std::fflush(file_) == 0);
  }
  std::uint8_t* _alloc(size_t) override { return nullptr; }
  void _commit(size_t) override {}

 private:
  bool Write(const std::uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr || std::fwrite(data, 1, count, file_) != count) return false;
    written_ += count;
    return true;
  }
  static std::runtime_error WriteError() { return std::runtime_error("cannot write the downloaded file"); }

  std::mutex mutex_;
  std::FILE* file_;
  std::atomic<std::uint64_t> written_{0};
};

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

// Leaves a downloaded file empty: a failed download must not look like a
// complete file to whoever opens it next.
void EmptyFile(const std::wstring& path) {
  if (std::FILE* file = win::_wfsopen(path, L"wb", win::_SH_DENYWR)) std::fclose(file);
}

}  // namespace

void SetHttpTimeoutForTesting(std::chrono::seconds timeout) { g_timeoutSeconds = timeout.count(); }

std::uint16_t RequestJson(HttpRequestOptions options, std::wstring* body, std::wstring* date) {
  std::uint16_t status = 400;
  if (body) body->clear();
  if (date) date->clear();
  if (!IsAdmittedUrl(options.url)) return status;

  http_client_config config;
  config.set_timeout(Timeout());
  config.set_validate_certificates(true);
  // The system's CA store plus the roots this machine trusts besides it.
  const std::filesystem::path roots = platform::Machine::Current().TrustedRootsFile();
  config.set_ssl_context_callback([roots](boost::asio::ssl::context& context) {
    boost::system::error_code error;
    context.set_default_verify_paths(error);
    std::error_code missing;
    if (std::filesystem::file_size(roots, missing) > 0 && !missing) {
      context.load_verify_file(roots.string(), error);
      if (error) win::OutputDebugStringA("RequestJson: cannot load trusted roots " + roots.string() + ": " + error.message());
    }
  });

  auto& headers = options.headers;  // emplace adds a name only when that exact name is absent
  if (options.compress && web::http::compression::builtin::supported()) {
    headers.emplace(http_texts::kAcceptEncodingName, http_texts::kGzip);
  }
  headers.emplace(http_texts::kContentTypeName, http_texts::kJsonType);
  if (options.acceptJson) headers.emplace(http_texts::kAcceptName, http_texts::kJsonType);
  headers.emplace(http_texts::kAcceptLanguageName, options.language.empty() ? UserLanguage() : options.language);
  headers.emplace(http_texts::kUserAgentName, http_texts::kUserAgent);

  auto answer = std::make_shared<JsonAnswer>();
  try {
    web::uri base;
    web::uri resource;
    SplitUrl(options.url, &base, &resource);
    http_client client(base, config);
    http_request request(platform::WideToUtf8(options.method));
    request.set_request_uri(resource);
    CopyHeaders(headers, &request);
    // Headers first: the library then keeps the caller's Content-Type.
    if (options.method != L"GET" && HasContent(options.body)) {
      request.set_body(options.body.serialize(), "application/json");
    }

    // The body as it arrives (the raw bytes, before any gzip decoding) may
    // not grow past the bound: the library stops the transfer when its
    // progress handler throws.
    request.set_progress_handler([](web::http::message_direction::direction direction, utility::size64_t bytes) {
      if (direction == web::http::message_direction::download && bytes > kMaxJsonAnswerBytes) {
        throw web::http::http_exception("the answer is larger than " + std::to_string(kMaxJsonAnswerBytes) +
                                        " bytes");
      }
    });

    // The time-out of the library restarts with every piece that arrives;
    // the request as a whole ends at its deadline.
    const auto deadline = std::chrono::steady_clock::now() + Timeout();
    pplx::cancellation_token_source cancel;
    pplx::task<void> task = client.request(request, cancel.get_token()).then([answer](http_response response) {
      answer->status = response.status_code();
      auto& answerHeaders = response.headers();
      auto found = answerHeaders.find("Date");
      if (found != answerHeaders.end()) answer->date = found->second;
      found = answerHeaders.find(web::http::header_names::content_encoding);
      if (found != answerHeaders.end()) answer->encoding = found->second;
      return response.extract_vector().then(
          [answer](std::vector<unsigned char> bytes) { answer->bytes = std::move(bytes); });
    });
    bool pastDeadline = false;
    while (!task.is_done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        pastDeadline = true;
        cancel.cancel();  // closes the connection; the task then ends at once
        break;
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
    }
    try {
      task.get();
    } catch (...) {
      if (pastDeadline) {
        throw web::http::http_exception("no whole answer within " + std::to_string(Timeout().count()) + " seconds");
      }
      throw;
    }
  } catch (const std::exception& error) {
    // http_exception, uri_exception, pplx::task_canceled and whatever else
    // the library throws, also after the answer's status arrived: an answer
    // that did not arrive whole is a failed request.
    if (options.errorText) *options.errorText = error.what();
    if (date) *date = platform::Utf8ToWide(answer->date);
    return status;
  }

  status = answer->status;
  if (date) *date = platform::Utf8ToWide(answer->date);
  std::string text;
  if (IsGzipEncoding(answer->encoding)) {
    std::string reason;
    if (!GunzipBody(answer->bytes, &text, &reason)) {
      win::OutputDebugStringA("RequestJson: cannot decompress the gzip answer of " +
                              platform::WideToUtf8(options.url) + ": " + reason);
      text.clear();
    }
  } else {
    text.assign(answer->bytes.begin(), answer->bytes.end());
  }
  if (body) *body = platform::Utf8ToWide(text);
  return status;
}

std::int32_t DownloadFile(DownloadRequest request, DownloadProgressCallback callback) {
  if (!IsAdmittedUrl(request.url)) return 0;

  if (!platform::ToHostPath(request.filePath)) {
    win::OutputDebugStringA("DownloadFile: no such drive for " + platform::WideToUtf8(request.filePath));
    return 0;
  }
  // The target is created (or emptied) before anything is sent.
  std::FILE* file = win::_wfsopen(request.filePath, L"wb", win::_SH_DENYWR);
  if (file == nullptr) {
    win::OutputDebugStringA("DownloadFile: cannot open " + platform::WideToUtf8(request.filePath) +
                            " for writing, error " + std::to_string(win::GetLastError()));
    return 0;
  }

  http_client_config config;
  config.set_timeout(Timeout());
  config.set_validate_certificates(false);
  // Pieces of 1 MiB: few enough hand-overs between the socket and the file
  // to keep pace with the network, small enough to keep memory flat.
  config.set_chunksize(kDownloadPiece);
  request.headers.emplace(http_texts::kUserAgentName, http_texts::kUserAgent);

  auto sink = std::make_shared<FileSink>(file);
  auto state = std::make_shared<DownloadState>();
  bool complete = false;
  try {
    web::uri base;
    web::uri resource;
    SplitUrl(request.url, &base, &resource);
    http_client client(base, config);
    http_request get(web::http::methods::GET);
    get.set_request_uri(resource);
    CopyHeaders(request.headers, &get);
    get.set_response_stream(concurrency::streams::streambuf<std::uint8_t>(sink).create_ostream());
    get.set_progress_handler([state](web::http::message_direction::direction direction, utility::size64_t bytes) {
      if (direction == web::http::message_direction::download && bytes > 0) state->Report(bytes);
    });

    pplx::task<http_response> transfer = client.request(get).then([state](http_response response) {
      state->Headers(response.status_code(), response.headers().content_length());
      return response.content_ready();
    });
    transfer.then([state](pplx::task<http_response> finished) {
      try {
        finished.wait();  // the outcome is read by the caller's thread below
      } catch (...) {
      }
      state->Finish();
    });

    std::uint64_t received = 0;
    std::int32_t total = 0;
    std::unique_lock<std::mutex> lock(state->mutex);
    while (true) {
      state->changed.wait(lock, [&] { return state->done || (state->headersKnown && !state->reports.empty()); });
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
    lock.unlock();

    http_response response = transfer.get();  // throws when the body did not arrive whole
    complete = response.status_code() == web::http::status_codes::OK;
    if (received > 0 && callback) callback(1, request.filePath.c_str(), total, ClampToInt32(received), 1);
  } catch (const std::exception& error) {
    win::OutputDebugStringA("DownloadFile: " + platform::WideToUtf8(request.url) + ": " + error.what());
    complete = false;
  }

  sink->Detach();
  if (std::fclose(file) != 0) {
    win::OutputDebugStringA("DownloadFile: cannot finish writing " + platform::WideToUtf8(request.filePath));
    complete = false;
  }
  if (!complete) EmptyFile(request.filePath);
  return complete ? 1 : 0;
}

web::json::value ParseJson(const std::wstring& text) {
  try {
    return web::json::value::parse(platform::WideToUtf8(text));
  } catch (const std::exception& error) {
    win::OutputDebugStringA(error.what());
    return web::json::value::null();
  }
}

std::wstring JsonToString(const web::json::value& value) {
  return value.is_string() ? platform::Utf8ToWide(value.as_string()) : std::wstring();
}

web::json::value JsonMember(const web::json::value& value, const std::wstring& name) {
  if (!value.is_object()) return web::json::value::null();
  const auto& object = value.as_object();
  auto found = object.find(platform::WideToUtf8(name));
  return found == object.end() ? web::json::value::null() : found->second;
}
