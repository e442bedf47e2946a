// The connection under one simulated WinHTTP request: a TCP socket of the
// host, through an HTTP proxy's CONNECT tunnel when asked, with TLS when
// asked, and every wait bounded by a point in time.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/win_types.h"

namespace platform {

using WireClock = std::chrono::steady_clock;

// A point in time far enough away to mean "no time-out".
WireClock::time_point WireNever();
// `now` plus `milliseconds`, or WireNever() for 0 (WinHTTP's "no time-out").
WireClock::time_point WireDeadline(WireClock::time_point now, int milliseconds);

struct WireEndpoint {
  std::string host;  // name or address (an IPv6 address without brackets)
  unsigned short port = 0;
};

struct WireSetup {
  WireEndpoint target;
  bool tls = false;
  // What is checked of the server's certificate: its chain to a trusted
  // root, the dates of the chain, and that it names the target.
  bool verifyChain = true;
  bool verifyDates = true;
  bool verifyName = true;
  bool useProxy = false;
  WireEndpoint proxy;
  WireClock::time_point resolveUntil = WireNever();
  WireClock::time_point connectUntil = WireNever();
  // The bound of the proxy's answer to CONNECT.
  std::size_t maxProxyHeadBytes = 64 * 1024;
};

class HttpWire {
 public:
  HttpWire();
  ~HttpWire();
  HttpWire(const HttpWire&) = delete;
  HttpWire& operator=(const HttpWire&) = delete;

  // Resolves, connects, opens the tunnel and shakes hands. Returns
  // ERROR_SUCCESS or the WinHTTP error that describes the failure.
  win::DWORD Open(const WireSetup& setup);
  // Writes all of `data`.
  win::DWORD Write(const std::string& data, WireClock::time_point until);
  // Reads what has arrived (at least one byte) into `buffer`; *count 0 means
  // the peer ended the stream.
  win::DWORD ReadSome(char* buffer, std::size_t capacity, std::size_t* count, WireClock::time_point until);

 private:
  struct State;
  // The proxy's answer to CONNECT, read byte-wise so that nothing of the
  // tunnel's first TLS record is taken from the socket.
  win::DWORD ReadTunnelAnswer(WireClock::time_point until, std::size_t maxBytes);

  std::unique_ptr<State> state_;
};

}  // namespace platform
