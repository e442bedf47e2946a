// The simulated WinHTTP: session, connection and request handles over
// HttpWire and HttpAnswerReader, with WinHTTP's default time-outs, head
// bound and redirect rules.
#include "platform/winhttp.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/codepage.h"
#include "platform/sim/internet/http_answer.h"
#include "platform/sim/internet/http_wire.h"

namespace win {

struct InternetObject {
  virtual ~InternetObject() = default;
};

namespace {

using platform::WireClock;

// WinHTTP's defaults, in milliseconds (0: no time-out).
struct Timeouts {
  int resolve = 0;
  int connect = 60000;
  int send = 30000;
  int receive = 30000;
  int receiveResponse = 90000;
};

constexpr DWORD kDefaultMaxHeadBytes = 64 * 1024;
constexpr DWORD kDefaultMaxRedirects = 10;

struct Session : InternetObject {
  std::string agent;
  bool useProxy = false;
  platform::WireEndpoint proxy;
  Timeouts timeouts;
};

struct Connection : InternetObject {
  Session session;  // a copy: closing the session leaves its connections usable
  std::string host;  // without brackets
  INTERNET_PORT port = 0;
};

struct Request : InternetObject {
  enum class Phase { kOpened, kSent, kReceived };

  Session session;
  std::string host;
  INTERNET_PORT port = 0;
  bool secure = false;
  std::string verb;
  std::string object;
  std::string version;
  Timeouts timeouts;
  DWORD securityFlags = 0;
  bool followRedirects = true;
  DWORD maxRedirects = kDefaultMaxRedirects;
  DWORD maxHeadBytes = kDefaultMaxHeadBytes;
  std::vector<std::string> headerLines;  // "Name: value"
  std::string body;

  Phase phase = Phase::kOpened;
  std::unique_ptr<platform::HttpWire> wire;
  std::unique_ptr<platform::HttpAnswerReader> reader;
  platform::HttpAnswerHead head;
};

// The live handles. A function's static, so that a crash report sent while
// the program's statics are still being constructed finds it ready.
struct LiveHandles {
  std::mutex mutex;
  std::set<InternetObject*> handles;
};
LiveHandles& Live() {
  static LiveHandles live;
  return live;
}

HINTERNET Register(std::unique_ptr<InternetObject> object) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  InternetObject* raw = object.release();
  Live().handles.insert(raw);
  return raw;
}

template <typename T>
T* Lookup(HINTERNET handle) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  if (Live().handles.count(handle) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  T* object = dynamic_cast<T*>(handle);
  if (!object) SetLastError(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  return object;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::string Narrow(const wchar_t* text) { return text ? platform::WideToUtf8(text) : std::string(); }

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  if (text.size() < length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// "host:port", "[v6]:port"; the host without brackets.
bool SplitHostPort(const std::string& text, platform::WireEndpoint* endpoint, unsigned short defaultPort) {
  std::string host = text;
  std::string port;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string::npos) return false;
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':') return false;
      port = host.substr(close + 2);
    }
    host = host.substr(1, close - 1);
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (host.empty()) return false;
  endpoint->host = host;
  endpoint->port = defaultPort;
  if (!port.empty()) {
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    const unsigned long value = std::stoul(port);
    if (value == 0 || value > 65535) return false;
    endpoint->port = static_cast<unsigned short>(value);
  }
  return true;
}

std::string HostHeader(const Request& request) {
  const bool ipv6 = request.host.find(':') != std::string::npos;
  std::string host = ipv6 ? "[" + request.host + "]" : request.host;
  const INTERNET_PORT standard = request.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (request.port != standard) host += ":" + std::to_string(request.port);
  return host;
}

bool HasHeader(const std::vector<std::string>& lines, const char* name) {
  const std::string prefix = std::string(name) + ":";
  std::string lowered;
  for (char c : prefix) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& line : lines) {
    if (StartsWithIgnoringCase(line, lowered.c_str())) return true;
  }
  return false;
}

void AddHeaderLines(const std::string& text, std::vector<std::string>* lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

std::string RequestText(const Request& request) {
  std::string target = request.object.empty() ? "/" : request.object;
  // Through a proxy, a plain request names its whole address.
  if (request.session.useProxy && !request.secure) target = "http://" + HostHeader(request) + target;
  std::string text = request.verb + " " + target + " " + request.version + "\r\n";
  // A Host header of the caller's replaces the one WinHTTP would write.
  if (!HasHeader(request.headerLines, "Host")) text += "Host: " + HostHeader(request) + "\r\n";
  if (!request.session.agent.empty() && !HasHeader(request.headerLines, "User-Agent")) {
    text += "User-Agent: " + request.session.agent + "\r\n";
  }
  for (const std::string& line : request.headerLines) text += line + "\r\n";
  const bool bodyExpected = request.verb != "GET" && request.verb != "HEAD";
  if ((bodyExpected || !request.body.empty()) && !HasHeader(request.headerLines, "Content-Length")) {
    text += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
  }
  return text + "\r\n" + request.body;
}

DWORD Exchange(Request* request) {
  const auto now = WireClock::now();
  platform::WireSetup setup;
  setup.target.host = request->host;
  setup.target.port = request->port;
  setup.tls = request->secure;
  setup.verifyChain = (request->securityFlags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) == 0;
  setup.verifyDates = (request->securityFlags & SECURITY_FLAG_IGNORE_CERT_DATE_INVALID) == 0;
  setup.verifyName = (request->securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  setup.useProxy = request->session.useProxy;
  setup.proxy = request->session.proxy;
  setup.resolveUntil = platform::WireDeadline(now, request->timeouts.resolve);
  setup.connectUntil = platform::WireDeadline(now, request->timeouts.connect);
  setup.maxProxyHeadBytes = request->maxHeadBytes;
  request->reader.reset();
  request->wire = std::make_unique<platform::HttpWire>();
  DWORD error = request->wire->Open(setup);
  if (error != ERROR_SUCCESS) return error;
  error = request->wire->Write(RequestText(*request),
                               platform::WireDeadline(WireClock::now(), request->timeouts.send));
  if (error != ERROR_SUCCESS) return error;
  request->reader = std::make_unique<platform::HttpAnswerReader>(request->wire.get());
  return ERROR_SUCCESS;
}

// Points the request at the redirect's Location. False when the answer is
// not to be followed (no Location, or from https:// down to http://).
bool Redirect(Request* request, DWORD* error) {
  const std::string* location = request->head.Find("Location");
  if (!location || location->empty()) return false;
  std::string target = *location;
  bool secure = request->secure;
  platform::WireEndpoint endpoint{request->host, request->port};
  if (StartsWithIgnoringCase(target, "http://") || StartsWithIgnoringCase(target, "https://") ||
      target.compare(0, 2, "//") == 0) {
    if (target.compare(0, 2, "//") != 0) {
      secure = StartsWithIgnoringCase(target, "https://");
      target = target.substr(target.find("//"));
    }
    const std::size_t pathStart = target.find_first_of("/?#", 2);
    const std::string authority = target.substr(2, pathStart == std::string::npos ? std::string::npos : pathStart - 2);
    if (!SplitHostPort(authority, &endpoint, secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT)) {
      *error = ERROR_WINHTTP_REDIRECT_FAILED;
      return false;
    }
    target = pathStart == std::string::npos ? "/" : target.substr(pathStart);
  } else if (target.find("://") != std::string::npos) {
    *error = ERROR_WINHTTP_REDIRECT_FAILED;  // another scheme
    return false;
  } else if (target.front() != '/') {
    // Relative to the folder of the current path.
    const std::string path = request->object.substr(0, request->object.find('?'));
    target = path.substr(0, path.rfind('/') + 1) + target;
  }
  if (request->secure && !secure) return false;  // WinHTTP's default policy
  if (request->head.status == 303 || (request->head.status != 307 && request->head.status != 308 &&
                                      request->verb == "POST")) {
    request->verb = "GET";
    request->body.clear();
  }
  request->secure = secure;
  request->host = endpoint.host;
  request->port = endpoint.port;
  request->object = target;
  return true;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool CopyText(const std::string& text, void* buffer, DWORD* bufferLength) {
  const std::wstring wide = platform::Utf8ToWide(text);
  const DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  if (!buffer || *bufferLength < needed) {
    *bufferLength = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, wide.c_str(), needed);
  *bufferLength = needed - sizeof(wchar_t);
  return true;
}

const char* NameOfLevel(DWORD level) {
  switch (level) {
    case WINHTTP_QUERY_CONTENT_LENGTH:
      return "Content-Length";
    case WINHTTP_QUERY_DATE:
      return "Date";
    case WINHTTP_QUERY_CONTENT_ENCODING:
      return "Content-Encoding";
    case WINHTTP_QUERY_LOCATION:
      return "Location";
    default:
      return nullptr;
  }
}

}  // namespace

HINTERNET WinHttpOpen(const wchar_t* agent, DWORD accessType, const wchar_t* proxy, const wchar_t* proxyBypass,
                      DWORD flags) {
  auto session = std::make_unique<Session>();
  session->agent = Narrow(agent);
  if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
    std::string name = Narrow(proxy);
    if (StartsWithIgnoringCase(name, "http://")) name = name.substr(7);
    if (!SplitHostPort(name, &session->proxy, 80)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    session->useProxy = true;
  }
  return Register(std::move(session));
}

HINTERNET WinHttpConnect(HINTERNET sessionHandle, const wchar_t* server, INTERNET_PORT port, DWORD reserved) {
  Session* session = Lookup<Session>(sessionHandle);
  if (!session) return nullptr;
  std::string host = Narrow(server);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) {
    SetLastError(ERROR_WINHTTP_INVALID_URL);
    return nullptr;
  }
  auto connection = std::make_unique<Connection>();
  connection->session = *session;
  connection->host = host;
  connection->port = port;
  return Register(std::move(connection));
}

HINTERNET WinHttpOpenRequest(HINTERNET connectHandle, const wchar_t* verb, const wchar_t* object,
                             const wchar_t* version, const wchar_t* referrer, const wchar_t* const* acceptTypes,
                             DWORD flags) {
  Connection* connection = Lookup<Connection>(connectHandle);
  if (!connection) return nullptr;
  auto request = std::make_unique<Request>();
  request->session = connection->session;
  request->timeouts = connection->session.timeouts;
  request->host = connection->host;
  request->secure = (flags & WINHTTP_FLAG_SECURE) != 0;
  request->port = connection->port != 0
                      ? connection->port
                      : (request->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  request->verb = verb ? Narrow(verb) : "GET";
  request->object = Narrow(object);
  request->version = version ? Narrow(version) : "HTTP/1.1";
  if (referrer) request->headerLines.push_back("Referer: " + Narrow(referrer));
  if (acceptTypes) {
    std::string accept;
    for (const wchar_t* const* type = acceptTypes; *type; ++type) accept += (accept.empty() ? "" : ", ") + Narrow(*type);
    if (!accept.empty()) request->headerLines.push_back("Accept: " + accept);
  }
  return Register(std::move(request));
}

BOOL WinHttpCloseHandle(HINTERNET handle) {
  std::unique_ptr<InternetObject> object;
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    if (Live().handles.erase(handle) == 0) return Fail(ERROR_INVALID_HANDLE);
    object.reset(handle);
  }
  return TRUE;
}

BOOL WinHttpSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD length) {
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    if (Live().handles.count(handle) == 0) return Fail(ERROR_INVALID_HANDLE);
  }
  if (!buffer || length != sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  DWORD value = 0;
  std::memcpy(&value, buffer, sizeof value);
  const int milliseconds = static_cast<int>(value);
  Timeouts* timeouts = nullptr;
  if (auto* session = dynamic_cast<Session*>(handle)) timeouts = &session->timeouts;
  Request* request = dynamic_cast<Request*>(handle);
  if (request) timeouts = &request->timeouts;
  switch (option) {
    case WINHTTP_OPTION_RESOLVE_TIMEOUT:
    case WINHTTP_OPTION_CONNECT_TIMEOUT:
    case WINHTTP_OPTION_SEND_TIMEOUT:
    case WINHTTP_OPTION_RECEIVE_TIMEOUT:
    case WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT:
      if (!timeouts) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
      if (option == WINHTTP_OPTION_RESOLVE_TIMEOUT) timeouts->resolve = milliseconds;
      if (option == WINHTTP_OPTION_CONNECT_TIMEOUT) timeouts->connect = milliseconds;
      if (option == WINHTTP_OPTION_SEND_TIMEOUT) timeouts->send = milliseconds;
      if (option == WINHTTP_OPTION_RECEIVE_TIMEOUT) timeouts->receive = milliseconds;
      if (option == WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT) timeouts->receiveResponse = milliseconds;
      return TRUE;
    case WINHTTP_OPTION_SECURITY_FLAGS:
    case WINHTTP_OPTION_DISABLE_FEATURE:
    case WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS:
    case WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE:
      if (!request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
      if (option == WINHTTP_OPTION_SECURITY_FLAGS) request->securityFlags = value;
      if (option == WINHTTP_OPTION_DISABLE_FEATURE && (value & WINHTTP_DISABLE_REDIRECTS)) {
        request->followRedirects = false;
      }
      if (option == WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS) request->maxRedirects = value;
      if (option == WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE) {
        if (value == 0) return Fail(ERROR_INVALID_PARAMETER);
        request->maxHeadBytes = value;
      }
      return TRUE;
    default:
      return Fail(ERROR_WINHTTP_INVALID_OPTION);
  }
}

BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveTimeout, int connectTimeout, int sendTimeout,
                        int receiveTimeout) {
  const int values[] = {resolveTimeout, connectTimeout, sendTimeout, receiveTimeout};
  if (std::any_of(std::begin(values), std::end(values), [](int value) { return value < -1; })) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    if (Live().handles.count(handle) == 0) return Fail(ERROR_INVALID_HANDLE);
  }
  Timeouts* timeouts = nullptr;
  if (auto* session = dynamic_cast<Session*>(handle)) timeouts = &session->timeouts;
  if (auto* request = dynamic_cast<Request*>(handle)) timeouts = &request->timeouts;
  if (!timeouts) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  // -1 means no time-out, as 0 does for the options.
  auto milliseconds = [](int value) { return value < 0 ? 0 : value; };
  timeouts->resolve = milliseconds(resolveTimeout);
  timeouts->connect = milliseconds(connectTimeout);
  timeouts->send = milliseconds(sendTimeout);
  timeouts->receive = milliseconds(receiveTimeout);
  timeouts->receiveResponse = milliseconds(receiveTimeout);
  return TRUE;
}

BOOL WinHttpAddRequestHeaders(HINTERNET handle, const wchar_t* headers, DWORD length, DWORD modifiers) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (!headers) return Fail(ERROR_INVALID_PARAMETER);
  const std::wstring text = length == static_cast<DWORD>(-1) ? std::wstring(headers) : std::wstring(headers, length);
  AddHeaderLines(platform::WideToUtf8(text), &request->headerLines);
  return TRUE;
}

BOOL WinHttpSendRequest(HINTERNET handle, const wchar_t* headers, DWORD headersLength, const void* optional,
                        DWORD optionalLength, DWORD totalLength, std::uintptr_t context) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (request->phase != Request::Phase::kOpened) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (headers && headersLength != 0) {
    const std::wstring text =
        headersLength == static_cast<DWORD>(-1) ? std::wstring(headers) : std::wstring(headers, headersLength);
    AddHeaderLines(platform::WideToUtf8(text), &request->headerLines);
  }
  if (optional && optionalLength > 0) request->body.assign(static_cast<const char*>(optional), optionalLength);
  const DWORD error = Exchange(request);
  if (error != ERROR_SUCCESS) return Fail(error);
  request->phase = Request::Phase::kSent;
  return TRUE;
}

BOOL WinHttpReceiveResponse(HINTERNET handle, void* reserved) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (request->phase != Request::Phase::kSent) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  for (DWORD redirects = 0;; ++redirects) {
    const int timeout = request->timeouts.receiveResponse;
    DWORD error = request->reader->ReadHead(request->verb == "HEAD", request->maxHeadBytes,
                                            platform::WireDeadline(WireClock::now(), timeout), &request->head);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (!request->followRedirects || !IsRedirect(request->head.status)) break;
    if (redirects >= request->maxRedirects) return Fail(ERROR_WINHTTP_REDIRECT_FAILED);
    error = ERROR_SUCCESS;
    if (!Redirect(request, &error)) {
      if (error != ERROR_SUCCESS) return Fail(error);
      break;
    }
    error = Exchange(request);
    if (error != ERROR_SUCCESS) return Fail(error);
  }
  request->phase = Request::Phase::kReceived;
  return TRUE;
}

BOOL WinHttpQueryHeaders(HINTERNET handle, DWORD infoLevel, const wchar_t* name, void* buffer,
                         DWORD* bufferLength, DWORD* index) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (request->phase != Request::Phase::kReceived) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (!bufferLength) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD level = infoLevel & 0xFFFF;
  const bool number = (infoLevel & WINHTTP_QUERY_FLAG_NUMBER) != 0;
  const bool number64 = (infoLevel & WINHTTP_QUERY_FLAG_NUMBER64) != 0;

  std::string text;
  if (level == WINHTTP_QUERY_STATUS_CODE) {
    text = std::to_string(request->head.status);
  } else if (level == WINHTTP_QUERY_RAW_HEADERS_CRLF) {
    text = request->head.raw;
  } else {
    const std::string headerName = level == WINHTTP_QUERY_CUSTOM ? Narrow(name) : (NameOfLevel(level) ? NameOfLevel(level) : "");
    if (headerName.empty()) return Fail(ERROR_WINHTTP_INVALID_OPTION);
    const std::string* value = request->head.Find(headerName, index ? *index : 0);
    if (!value) return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND);
    text = *value;
    if (index) ++*index;
  }

  if (number || number64) {
    const DWORD size = number64 ? 8 : 4;
    if (!buffer || *bufferLength < size) {
      *bufferLength = size;
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (text.empty() || text.size() > 20 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    }
    const unsigned long long value = std::stoull(text);
    if (number64) {
      std::memcpy(buffer, &value, 8);
    } else {
      const DWORD narrow = static_cast<DWORD>(value);
      std::memcpy(buffer, &narrow, 4);
    }
    *bufferLength = size;
    return TRUE;
  }
  return CopyText(text, buffer, bufferLength) ? TRUE : FALSE;
}

BOOL WinHttpQueryDataAvailable(HINTERNET handle, DWORD* available) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (request->phase != Request::Phase::kReceived) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  std::size_t count = 0;
  const DWORD error =
      request->reader->Available(platform::WireDeadline(WireClock::now(), request->timeouts.receive), &count);
  if (error != ERROR_SUCCESS) return Fail(error);
  if (available) *available = static_cast<DWORD>(std::min<std::size_t>(count, 0xFFFFFFFFu));
  return TRUE;
}

BOOL WinHttpReadData(HINTERNET handle, void* buffer, DWORD toRead, DWORD* read) {
  Request* request = Lookup<Request>(handle);
  if (!request) return FALSE;
  if (!read) return Fail(ERROR_INVALID_PARAMETER);
  *read = 0;
  if (request->phase != Request::Phase::kReceived) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  if (toRead == 0) return TRUE;
  if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
  std::size_t count = 0;
  const DWORD error =
      request->reader->Available(platform::WireDeadline(WireClock::now(), request->timeouts.receive), &count);
  if (error != ERROR_SUCCESS) return Fail(error);
  *read = static_cast<DWORD>(request->reader->Take(static_cast<char*>(buffer), toRead));
  return TRUE;
}

}  // namespace win
