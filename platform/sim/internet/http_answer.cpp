// Reading an HTTP/1.1 answer: bounded heads, and bodies framed by length,
// by chunks or by the end of the connection.
#include "platform/sim/internet/http_answer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/winhttp.h"

namespace platform {

namespace {

// Large enough for a loopback read to fill it in one go, small enough that
// a request holds little memory however long its body is.
constexpr std::size_t kBufferBytes = 256 * 1024;
// A chunk-size line: hex digits and extensions, which no sane server makes long.
constexpr std::size_t kMaxChunkLine = 4096;
// The trailer lines after the last chunk, bounded as a head is by default.
constexpr std::size_t kMaxTrailerBytes = 64 * 1024;

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "HTTP/1.1 200 OK": the status, or 0 when the line is no status line.
int ParseStatusLine(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return 0;
  const std::size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return 0;
  return status >= 100 ? status : 0;
}

bool ParseDecimal(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  *value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

// The size of a chunk-size line ("1a2b" with optional ";extensions").
bool ParseChunkSize(const std::string& line, std::uint64_t* size) {
  const std::string digits = Trim(line.substr(0, line.find(';')));
  if (digits.empty() || digits.size() > 15) return false;
  *size = 0;
  for (char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    *size = *size * 16 + static_cast<std::uint64_t>(digit);
  }
  return true;
}

// A line of the chunked framing that could not be read: one that is too
// long is a broken answer, not a head too large.
win::DWORD LineError(win::DWORD error) {
  return error == win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW ? win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE : error;
}

}  // namespace

const std::string* HttpAnswerHead::Find(const std::string& name, std::size_t index) const {
  for (const auto& [headerName, value] : headers) {
    if (EqualsIgnoringCase(headerName, name) && index-- == 0) return &value;
  }
  return nullptr;
}

HttpAnswerReader::HttpAnswerReader(HttpWire* wire) : wire_(wire), buffer_(kBufferBytes) {}

win::DWORD HttpAnswerReader::Fill(WireClock::time_point until, bool* ended) {
  *ended = false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, Buffered());
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) return win::ERROR_WINHTTP_INTERNAL_ERROR;  // callers bound their lines below this
  std::size_t count = 0;
  const win::DWORD error = wire_->ReadSome(buffer_.data() + end_, buffer_.size() - end_, &count, until);
  if (error != win::ERROR_SUCCESS) return error;
  end_ += count;
  *ended = count == 0;
  return win::ERROR_SUCCESS;
}

win::DWORD HttpAnswerReader::NextLine(std::size_t maxLength, WireClock::time_point until, std::string* line) {
  std::size_t scanned = 0;
  while (true) {
    const char* start = buffer_.data() + begin_;
    const void* newline = std::memchr(start + scanned, '\n', Buffered() - scanned);
    if (newline) {
      std::size_t length = static_cast<const char*>(newline) - start;
      if (length > maxLength) return win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
      line->assign(start, length);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      begin_ += length + 1;
      return win::ERROR_SUCCESS;
    }
    scanned = Buffered();
    if (scanned > maxLength) return win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
    bool ended = false;
    const win::DWORD error = Fill(until, &ended);
    if (error != win::ERROR_SUCCESS) return error;
    if (ended) return win::ERROR_WINHTTP_CONNECTION_ERROR;
  }
}

win::DWORD HttpAnswerReader::ReadHead(bool bodyless, std::size_t maxBytes, WireClock::time_point until,
                                      HttpAnswerHead* head) {
  if (buffer_.size() < maxBytes + 2) buffer_.resize(maxBytes + 2);
  std::size_t used = 0;
  while (true) {
    *head = HttpAnswerHead{};
    std::string line;
    bool first = true;
    while (true) {
      win::DWORD error = NextLine(maxBytes - used, until, &line);
      if (error != win::ERROR_SUCCESS) return error;
      used += line.size() + 2;
      if (used > maxBytes) return win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
      head->raw += line + "\r\n";
      if (first) {
        head->status = ParseStatusLine(line);
        if (head->status == 0) return win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
        first = false;
        continue;
      }
      if (line.empty()) break;
      const std::size_t colon = line.find(':');
      // A line without a name is not a header; it is passed over.
      if (colon == std::string::npos || colon == 0) continue;
      head->headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    // Interim answers ("100 Continue") come before the real one.
    if (head->status >= 200 || head->status == 101) break;
  }
  return ChooseFraming(bodyless, *head);
}

win::DWORD HttpAnswerReader::ChooseFraming(bool bodyless, const HttpAnswerHead& head) {
  if (bodyless || head.status < 200 || head.status == 204 || head.status == 304) {
    framing_ = Framing::kDone;
    return win::ERROR_SUCCESS;
  }
  if (const std::string* coding = head.Find("Transfer-Encoding")) {
    const std::size_t comma = coding->rfind(',');
    const std::string last = Trim(comma == std::string::npos ? *coding : coding->substr(comma + 1));
    framing_ = EqualsIgnoringCase(last, "chunked") ? Framing::kChunkSize : Framing::kUntilClose;
    return win::ERROR_SUCCESS;
  }
  bool haveLength = false;
  for (std::size_t i = 0; const std::string* text = head.Find("Content-Length", i); ++i) {
    std::uint64_t length = 0;
    // Two different lengths leave the body's end unknown.
    if (!ParseDecimal(*text, &length) || (haveLength && length != remaining_)) {
      return win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    }
    remaining_ = length;
    haveLength = true;
  }
  framing_ = haveLength ? Framing::kLength : Framing::kUntilClose;
  return win::ERROR_SUCCESS;
}

win::DWORD HttpAnswerReader::Available(WireClock::time_point until, std::size_t* available) {
  *available = 0;
  while (true) {
    bool ended = false;
    win::DWORD error = win::ERROR_SUCCESS;
    std::string line;
    switch (framing_) {
      case Framing::kDone:
        return win::ERROR_SUCCESS;
      case Framing::kLength:
      case Framing::kChunkData:
        if (remaining_ == 0) {
          framing_ = framing_ == Framing::kLength ? Framing::kDone : Framing::kChunkEnd;
          continue;
        }
        if (Buffered() > 0) {
          *available = static_cast<std::size_t>(std::min<std::uint64_t>(Buffered(), remaining_));
          return win::ERROR_SUCCESS;
        }
        error = Fill(until, &ended);
        if (error != win::ERROR_SUCCESS) return error;
        // The connection ended before the body did.
        if (ended) return win::ERROR_WINHTTP_CONNECTION_ERROR;
        continue;
      case Framing::kUntilClose:
        if (Buffered() > 0) {
          *available = Buffered();
          return win::ERROR_SUCCESS;
        }
        error = Fill(until, &ended);
        if (error != win::ERROR_SUCCESS) return error;
        if (ended) framing_ = Framing::kDone;
        continue;
      case Framing::kChunkSize:
        error = NextLine(kMaxChunkLine, until, &line);
        if (error != win::ERROR_SUCCESS) return LineError(error);
        if (!ParseChunkSize(line, &remaining_)) return win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
        framing_ = remaining_ == 0 ? Framing::kTrailers : Framing::kChunkData;
        continue;
      case Framing::kChunkEnd:
        error = NextLine(kMaxChunkLine, until, &line);
        if (error != win::ERROR_SUCCESS) return LineError(error);
        if (!line.empty()) return win::ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
        framing_ = Framing::kChunkSize;
        continue;
      case Framing::kTrailers:
        error = NextLine(kMaxChunkLine, until, &line);
        if (error != win::ERROR_SUCCESS) return LineError(error);
        trailerBytes_ += line.size() + 2;
        if (trailerBytes_ > kMaxTrailerBytes) return win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
        if (line.empty()) framing_ = Framing::kDone;
        continue;
    }
  }
}

std::size_t HttpAnswerReader::Take(char* out, std::size_t capacity) {
  std::size_t count = std::min(capacity, Buffered());
  if (framing_ == Framing::kLength || framing_ == Framing::kChunkData) {
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining_));
    remaining_ -= count;
  } else if (framing_ != Framing::kUntilClose) {
    return 0;
  }
  std::memcpy(out, buffer_.data() + begin_, count);
  begin_ += count;
  return count;
}

}  // namespace platform
