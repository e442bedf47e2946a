// HTTP client layer: JSON requests with the installer's fixed headers, and
// the JSON helpers (downloads: http_download.cpp; the transport:
// http_exchange.cpp).
#include "settings/http_client.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/locale.h"
#include "settings/debug_text.h"
#include "settings/http_common.h"
#include "settings/http_exchange.h"
#include "settings/http_gzip.h"
#include "settings/http_texts.h"

namespace {

// Pieces of the answer as they are read.
constexpr std::size_t kAnswerPiece = 64 * 1024;

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

bool HasContent(const JsonValue& body) { return (body.is_object() || body.is_array()) && !body.empty(); }

// Reads the whole body by `until`; false, with the reason, when it broke
// off, came too late or grew past kMaxJsonAnswerBytes as it arrived. A body
// that ends before its announced length broke off, even where the transport
// reads it as ended (Wine's winhttp.dll does).
bool ReadAnswer(HttpExchange* exchange, HttpExchange::Clock::time_point until, std::vector<unsigned char>* bytes,
                std::string* error) {
  std::vector<unsigned char> piece(kAnswerPiece);
  while (true) {
    std::size_t count = 0;
    bool timedOut = false;
    if (!exchange->Read(piece.data(), piece.size(), until, &count, &timedOut, error)) {
      if (timedOut) *error = "no whole answer within " + std::to_string(http_common::Timeout().count()) + " seconds";
      return false;
    }
    if (count == 0) {
      std::uint64_t announced = 0;
      if (exchange->ContentLength(&announced) && bytes->size() != announced) {
        *error = "the body ended after " + std::to_string(bytes->size()) + " of " + std::to_string(announced) + " bytes";
        return false;
      }
      return true;
    }
    if (bytes->size() + count > kMaxJsonAnswerBytes) {
      *error = "the answer is larger than " + std::to_string(kMaxJsonAnswerBytes) + " bytes";
      return false;
    }
    bytes->insert(bytes->end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(count));
  }
}

// The request with the installer's fixed headers added to the caller's
// (a header the caller set already keeps its value) and the JSON body.
HttpExchange::Request JsonRequest(const HttpRequestOptions& options) {
  std::map<std::wstring, std::wstring> headers = options.headers;  // emplace adds only absent names
  if (options.compress) headers.emplace(http_texts::kAcceptEncodingName, http_texts::kGzip);
  headers.emplace(http_texts::kContentTypeName, http_texts::kJsonType);
  if (options.acceptJson) headers.emplace(http_texts::kAcceptName, http_texts::kJsonType);
  headers.emplace(http_texts::kAcceptLanguageName, options.language.empty() ? UserLanguage() : options.language);
  headers.emplace(http_texts::kUserAgentName, http_texts::kUserAgent);

  HttpExchange::Request request;
  request.method = options.method;
  request.headers.assign(headers.begin(), headers.end());
  if (options.method != L"GET" && HasContent(options.body)) request.body = WriteJsonText(options.body);
  return request;
}

// The answer's text: its bytes, inflated when the server sent them gzip
// encoded. An answer that does not inflate is logged and read as empty.
std::string AnswerText(const HttpExchange& exchange, const std::vector<unsigned char>& bytes, const std::wstring& url) {
  if (!IsGzipEncoding(platform::WideToUtf8(exchange.Header(L"Content-Encoding")))) {
    return std::string(bytes.begin(), bytes.end());
  }
  // The inflated answer has the same bound as the answer on the wire.
  std::string text;
  std::string reason;
  if (!GunzipBody(bytes, &text, &reason, kMaxJsonAnswerBytes)) {
    win::OutputDebugStringA("RequestJson: cannot decompress the gzip answer of " +
                            platform::WideToUtf8(DebugValue(url)) + ": " + DebugValue(reason));
    text.clear();
  }
  return text;
}

}  // namespace

std::uint16_t RequestJson(HttpRequestOptions options, std::wstring* body, std::wstring* date) {
  if (body) body->clear();
  if (date) date->clear();
  if (!http_common::IsAdmittedUrl(options.url)) return 400;

  const HttpExchange::Request request = JsonRequest(options);

  // The whole request, redirects and a trickling answer included, ends at
  // one deadline.
  const auto until = HttpExchange::Clock::now() + http_common::Timeout();
  HttpExchange exchange;
  bool sent = false;
  std::string error;
  std::vector<unsigned char> bytes;
  if (!exchange.Open(request, options.url, until, &sent, &error) || !ReadAnswer(&exchange, until, &bytes, &error)) {
    // An answer that did not arrive whole is a failed request.
    if (options.errorText) *options.errorText = error;
    if (date) *date = exchange.Header(L"Date");
    return 400;
  }
  if (date) *date = exchange.Header(L"Date");

  if (body) *body = platform::Utf8ToWide(AnswerText(exchange, bytes, options.url));
  return exchange.Status();
}

JsonValue ParseJson(const std::wstring& text) {
  JsonValue value;
  std::string error;
  try {
    if (ReadJsonText(platform::WideToUtf8(text), &value, &error)) return value;
  } catch (const std::exception& failure) {
    // Only memory can run out while reading: a refused text, like any other.
    error = failure.what();
  }
  win::OutputDebugStringA(DebugValue(error));
  return JsonValue();
}

std::wstring JsonToString(const JsonValue& value) {
  return value.is_string() ? platform::Utf8ToWide(value.get_ref<const std::string&>()) : std::wstring();
}

JsonValue JsonMember(const JsonValue& value, const std::wstring& name) {
  if (!value.is_object()) return JsonValue();
  const auto found = value.find(platform::WideToUtf8(name));
  return found == value.end() ? JsonValue() : *found;
}
