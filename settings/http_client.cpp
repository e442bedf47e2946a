// HTTP client layer over cpprestsdk: JSON requests with the installer's fixed
// headers, and the JSON helpers (downloads: http_download.cpp).
#include "settings/http_client.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include <boost/asio/ssl.hpp>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <cpprest/http_client.h>
#include <cpprest/http_compression.h>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/locale.h"
#include "platform/machine.h"
#include "settings/debug_text.h"
#include "settings/http_common.h"
#include "settings/http_gzip.h"
#include "settings/http_texts.h"

namespace {

using web::http::http_request;
using web::http::http_response;
using web::http::client::http_client;
using web::http::client::http_client_config;

constexpr std::chrono::milliseconds kPollInterval{200};

// The end of a request's task, signalled by its last continuation.
struct TaskEnd {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
};

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

bool HasContent(const web::json::value& body) {
  return (body.is_object() && body.size() > 0) || (body.is_array() && body.size() > 0);
}

// The server of an IPv6 literal is checked against that address. The
// library would compare the certificate with the Host header the request
// carries ("[::1]:443"), which no certificate names, so the chain is checked
// here by OpenSSL with the address as the identity to match instead.
int KeepOpenSslVerdict(int ok, X509_STORE_CTX*) { return ok; }

int VerifyChainAgainstTheAddress(X509_STORE_CTX* store, void*) {
  X509_STORE_CTX_set_verify_cb(store, KeepOpenSslVerdict);
  return X509_verify_cert(store);
}

void CheckCertificateAgainstAddress(boost::asio::ssl::context& context, const std::string& address) {
  SSL_CTX* native = context.native_handle();
  X509_VERIFY_PARAM_set1_ip_asc(SSL_CTX_get0_param(native), address.c_str());
  SSL_CTX_set_cert_verify_callback(native, VerifyChainAgainstTheAddress, nullptr);
}

// What the request continuation learns from the answer; read by the waiting
// thread once the task is done.
struct JsonAnswer {
  std::uint16_t status = 0;
  std::string date;
  std::string encoding;
  std::vector<unsigned char> bytes;
};

}  // namespace

std::uint16_t RequestJson(HttpRequestOptions options, std::wstring* body, std::wstring* date) {
  std::uint16_t status = 400;
  if (body) body->clear();
  if (date) date->clear();
  if (!http_common::IsAdmittedUrl(options.url)) return status;

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
    const http_common::UrlParts parts = http_common::SplitUrl(options.url);
    http_client_config config;
    config.set_timeout(http_common::Timeout());
    config.set_validate_certificates(true);
    // The system's CA store plus the roots this machine trusts besides it.
    const std::filesystem::path roots = platform::Machine::Current().TrustedRootsFile();
    const std::string ipv6Literal = parts.ipv6Literal;
    config.set_ssl_context_callback([roots, ipv6Literal](boost::asio::ssl::context& context) {
      boost::system::error_code error;
      context.set_default_verify_paths(error);
      std::error_code missing;
      if (std::filesystem::file_size(roots, missing) > 0 && !missing) {
        context.load_verify_file(roots.string(), error);
        if (error) {
          win::OutputDebugStringA("RequestJson: cannot load trusted roots " + DebugValue(roots.string()) + ": " +
                                  DebugValue(error.message()));
        }
      }
      if (!ipv6Literal.empty()) CheckCertificateAgainstAddress(context, ipv6Literal);
    });
    // Server names are sent for names only, never for an IP address.
    if (!ipv6Literal.empty()) config.set_tlsext_sni_enabled(false);

    http_client client(parts.base, config);
    http_request request(platform::WideToUtf8(options.method));
    request.set_request_uri(parts.resource);
    http_common::CopyHeaders(headers, &request);
    http_common::AddHostHeader(parts, &request);
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
    const auto deadline = std::chrono::steady_clock::now() + http_common::Timeout();
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
    // The task is checked every 200 ms; its end wakes the check at once, so
    // an answer is taken as soon as it is complete rather than at the next
    // tick (the web view's version is asked for after every component).
    auto finished = std::make_shared<TaskEnd>();
    task.then([finished](pplx::task<void>) {
      std::lock_guard<std::mutex> guard(finished->mutex);
      finished->done = true;
      finished->changed.notify_all();
    });
    bool pastDeadline = false;
    while (!task.is_done()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        pastDeadline = true;
        cancel.cancel();  // closes the connection; the task then ends at once
        break;
      }
      std::unique_lock<std::mutex> lock(finished->mutex);
      finished->changed.wait_for(lock, std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now),
                                 [&] { return finished->done; });
    }
    try {
      task.get();
    } catch (...) {
      if (pastDeadline) {
        throw web::http::http_exception("no whole answer within " + std::to_string(http_common::Timeout().count()) +
                                        " seconds");
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
                              platform::WideToUtf8(DebugValue(options.url)) + ": " + DebugValue(reason));
      text.clear();
    }
  } else {
    text.assign(answer->bytes.begin(), answer->bytes.end());
  }
  if (body) *body = platform::Utf8ToWide(text);
  return status;
}

web::json::value ParseJson(const std::wstring& text) {
  try {
    return web::json::value::parse(platform::WideToUtf8(text));
  } catch (const std::exception& error) {
    win::OutputDebugStringA(DebugValue(std::string(error.what())));
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
