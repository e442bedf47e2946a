// The simulated WinHTTP's connection: Boost.Asio on a private I/O context that
// only the calling thread runs, so every wait ends at its deadline by
// cancelling the operation, and OpenSSL for TLS.
#include "platform/sim/internet/http_wire.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include "platform/sim/machine/machine.h"
#include "platform/winhttp.h"

namespace platform {

namespace asio = boost::asio;
using asio::ip::tcp;

WireClock::time_point WireNever() { return WireClock::now() + std::chrono::hours(24 * 365); }

WireClock::time_point WireDeadline(WireClock::time_point now, int milliseconds) {
  return milliseconds <= 0 ? WireNever() : now + std::chrono::milliseconds(milliseconds);
}

struct HttpWire::State {
  asio::io_context io;
  tcp::socket socket{io};
  asio::ssl::context tlsContext{asio::ssl::context::tls_client};
  std::optional<asio::ssl::stream<tcp::socket&>> tls;
  bool broken = false;  // a wait ran out: the socket was cancelled and is no use

  // Runs `use` on the stream the request's bytes travel on.
  template <typename Use>
  void OnStream(Use use) {
    if (tls) {
      use(*tls);
    } else {
      use(socket);
    }
  }

  // Starts `operation` with a completion handler and runs the I/O context
  // until the handler ran or `until` passed; in the latter case the socket
  // is cancelled and the handler runs with operation_aborted.
  template <typename Operation>
  boost::system::error_code Run(WireClock::time_point until, Operation operation, std::size_t* transferred,
                                bool* timedOut) {
    bool finished = false;
    boost::system::error_code result;
    operation([&](const boost::system::error_code& error, std::size_t count) {
      finished = true;
      result = error;
      if (transferred) *transferred = count;
    });
    io.restart();
    while (!finished && io.run_one_until(until) > 0) {
    }
    *timedOut = !finished;
    if (!finished) {
      boost::system::error_code ignored;
      socket.cancel(ignored);
      socket.close(ignored);
      broken = true;
      io.restart();
      while (!finished && io.run_one() > 0) {
      }
    }
    return result;
  }
};

namespace {

bool IsAddress(const std::string& host) {
  boost::system::error_code error;
  asio::ip::make_address(host, error);
  return !error;
}

std::string HostForHeader(const WireEndpoint& endpoint) {
  const bool ipv6 = endpoint.host.find(':') != std::string::npos;
  return (ipv6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" + std::to_string(endpoint.port);
}

}  // namespace

HttpWire::HttpWire() : state_(std::make_unique<State>()) {}

HttpWire::~HttpWire() {
  boost::system::error_code ignored;
  state_->socket.close(ignored);
}

win::DWORD HttpWire::Open(const WireSetup& setup) {
  State& state = *state_;
  const WireEndpoint& first = setup.useProxy ? setup.proxy : setup.target;

  tcp::resolver resolver(state.io);
  tcp::resolver::results_type addresses;
  bool timedOut = false;
  boost::system::error_code error = state.Run(
      setup.resolveUntil,
      [&](auto handler) {
        resolver.async_resolve(first.host, std::to_string(first.port),
                               [&addresses, handler](const boost::system::error_code& failure,
                                                     tcp::resolver::results_type results) mutable {
                                 addresses = std::move(results);
                                 handler(failure, 0);
                               });
      },
      nullptr, &timedOut);
  if (timedOut) {
    resolver.cancel();
    return win::ERROR_WINHTTP_TIMEOUT;
  }
  if (error) return win::ERROR_WINHTTP_NAME_NOT_RESOLVED;

  error = state.Run(
      setup.connectUntil,
      [&](auto handler) {
        asio::async_connect(state.socket, addresses,
                            [handler](const boost::system::error_code& failure, const tcp::endpoint&) mutable {
                              handler(failure, 0);
                            });
      },
      nullptr, &timedOut);
  if (timedOut) return win::ERROR_WINHTTP_TIMEOUT;
  if (error) return win::ERROR_WINHTTP_CANNOT_CONNECT;

  if (setup.useProxy && setup.tls) {
    const std::string target = HostForHeader(setup.target);
    const win::DWORD written =
        Write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n", setup.connectUntil);
    if (written != win::ERROR_SUCCESS) return written;
    const win::DWORD tunnel = ReadTunnelAnswer(setup.connectUntil, setup.maxProxyHeadBytes);
    if (tunnel != win::ERROR_SUCCESS) return tunnel;
  }
  if (!setup.tls) return win::ERROR_SUCCESS;

  boost::system::error_code ignored;
  if (setup.verifyChain) {
    // The system's roots, and the roots this machine trusts besides them.
    state.tlsContext.set_default_verify_paths(ignored);
    const std::filesystem::path roots = Machine::Current().TrustedRootsFile();
    std::error_code missing;
    if (std::filesystem::file_size(roots, missing) > 0 && !missing) {
      state.tlsContext.load_verify_file(roots.string(), ignored);
    }
    if (!setup.verifyDates) {
      X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(state.tlsContext.native_handle()), X509_V_FLAG_NO_CHECK_TIME);
    }
    state.tlsContext.set_verify_mode(asio::ssl::verify_peer);
  } else {
    state.tlsContext.set_verify_mode(asio::ssl::verify_none);
  }
  state.tls.emplace(state.socket, state.tlsContext);
  if (setup.verifyChain && setup.verifyName) {
    // An address is matched against the certificate's IP entries, a name
    // against its DNS names.
    state.tls->set_verify_callback(asio::ssl::host_name_verification(setup.target.host));
  }
  // Server names are sent for names only, never for an address.
  if (!IsAddress(setup.target.host)) SSL_set_tlsext_host_name(state.tls->native_handle(), setup.target.host.c_str());
  error = state.Run(
      setup.connectUntil,
      [&](auto handler) {
        state.tls->async_handshake(asio::ssl::stream_base::client,
                                   [handler](const boost::system::error_code& failure) mutable { handler(failure, 0); });
      },
      nullptr, &timedOut);
  if (timedOut) return win::ERROR_WINHTTP_TIMEOUT;
  if (error) return win::ERROR_WINHTTP_SECURE_FAILURE;
  return win::ERROR_SUCCESS;
}

win::DWORD HttpWire::ReadTunnelAnswer(WireClock::time_point until, std::size_t maxBytes) {
  State& state = *state_;
  std::string head;
  char byte = 0;
  while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
    if (head.size() >= maxBytes) return win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
    bool timedOut = false;
    std::size_t count = 0;
    auto error = state.Run(
        until, [&](auto handler) { state.socket.async_read_some(asio::buffer(&byte, 1), handler); }, &count,
        &timedOut);
    if (timedOut) return win::ERROR_WINHTTP_TIMEOUT;
    if (error || count == 0) return win::ERROR_WINHTTP_CANNOT_CONNECT;
    head += byte;
  }
  // "HTTP/1.1 200 Connection established"
  const std::size_t space = head.find(' ');
  if (head.compare(0, 5, "HTTP/") != 0 || space == std::string::npos || head.compare(space + 1, 3, "200") != 0) {
    return win::ERROR_WINHTTP_CANNOT_CONNECT;
  }
  return win::ERROR_SUCCESS;
}

win::DWORD HttpWire::Write(const std::string& data, WireClock::time_point until) {
  State& state = *state_;
  if (state.broken) return win::ERROR_WINHTTP_CONNECTION_ERROR;
  bool timedOut = false;
  boost::system::error_code error = state.Run(
      until,
      [&](auto handler) { state.OnStream([&](auto& stream) { asio::async_write(stream, asio::buffer(data), handler); }); },
      nullptr, &timedOut);
  if (timedOut) return win::ERROR_WINHTTP_TIMEOUT;
  return error ? win::ERROR_WINHTTP_CONNECTION_ERROR : win::ERROR_SUCCESS;
}

win::DWORD HttpWire::ReadSome(char* buffer, std::size_t capacity, std::size_t* count, WireClock::time_point until) {
  State& state = *state_;
  *count = 0;
  if (state.broken) return win::ERROR_WINHTTP_CONNECTION_ERROR;
  bool timedOut = false;
  boost::system::error_code error = state.Run(
      until,
      [&](auto handler) {
        state.OnStream([&](auto& stream) { stream.async_read_some(asio::buffer(buffer, capacity), handler); });
      },
      count, &timedOut);
  if (timedOut) return win::ERROR_WINHTTP_TIMEOUT;
  if (!error) return win::ERROR_SUCCESS;
  // The peer's end of the stream, with or without TLS's closing message:
  // the caller decides whether the answer was complete by then.
  if (error == asio::error::eof || error == asio::ssl::error::stream_truncated) {
    *count = 0;
    return win::ERROR_SUCCESS;
  }
  return win::ERROR_WINHTTP_CONNECTION_ERROR;
}

}  // namespace platform
