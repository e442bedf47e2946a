// The answer to one simulated WinHTTP request as it comes off the wire: its
// head, read within a bound, and its body with the framing decoded (a length,
// chunks, or the rest of the connection), never more than one buffer held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/internet/http_wire.h"
#include "platform/win_types.h"

namespace platform {

struct HttpAnswerHead {
  int status = 0;
  // The status line and the header lines as received, each ended by CRLF,
  // then an empty line.
  std::string raw;
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order

  // The value of the `index`-th header named `name` (ASCII case ignored).
  const std::string* Find(const std::string& name, std::size_t index = 0) const;
};

class HttpAnswerReader {
 public:
  explicit HttpAnswerReader(HttpWire* wire);

  // Reads heads until a final one (interim 1xx answers are passed over);
  // all of them together may take `maxBytes`. `bodyless` is set for the
  // answer to a HEAD request. Errors: ERROR_WINHTTP_HEADER_SIZE_OVERFLOW,
  // _INVALID_SERVER_RESPONSE, _CONNECTION_ERROR, _TIMEOUT.
  win::DWORD ReadHead(bool bodyless, std::size_t maxBytes, WireClock::time_point until, HttpAnswerHead* head);
  // Waits until decoded body bytes are at hand; *available is 0 once the
  // body has ended. A body that breaks off early, or chunks that are not
  // chunks, fail.
  win::DWORD Available(WireClock::time_point until, std::size_t* available);
  // Takes up to `capacity` of the bytes that Available announced.
  std::size_t Take(char* out, std::size_t capacity);

 private:
  enum class Framing { kLength, kUntilClose, kChunkSize, kChunkData, kChunkEnd, kTrailers, kDone };

  std::size_t Buffered() const { return end_ - begin_; }
  // Reads more from the wire behind what is buffered; *ended when the peer
  // ended the stream.
  win::DWORD Fill(WireClock::time_point until, bool* ended);
  // The next line (without its CR LF) once it is buffered whole; a line
  // longer than `maxLength` fails.
  win::DWORD NextLine(std::size_t maxLength, WireClock::time_point until, std::string* line);
  win::DWORD ChooseFraming(bool bodyless, const HttpAnswerHead& head);

  HttpWire* wire_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  Framing framing_ = Framing::kDone;
  std::uint64_t remaining_ = 0;  // of the length or the current chunk
  std::size_t trailerBytes_ = 0;
};

}  // namespace platform
