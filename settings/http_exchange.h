// One request of the installer over WinHTTP, up to its answer's head, and
// then its body piece by piece. Redirects are followed here, not by the
// transport, so that every hop keeps the installer's rules: a few hops at
// most, http:// or https:// only and never from https:// down to http://,
// one deadline for them all, each head within the transport's bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/winhttp.h"

// The most redirects one request follows.
constexpr int kMaxHttpRedirects = 5;

class HttpExchange {
 public:
  using Clock = std::chrono::steady_clock;

  struct Request {
    std::wstring method;
    std::vector<std::pair<std::wstring, std::wstring>> headers;  // sent in this order
    std::string body;
    bool verifyCertificates = true;
    // "host:port" of a proxy; empty for a direct connection.
    std::wstring proxy;
  };

  HttpExchange() = default;
  ~HttpExchange();
  HttpExchange(const HttpExchange&) = delete;
  HttpExchange& operator=(const HttpExchange&) = delete;

  // Sends the request to `url` and reads the final answer's head, following
  // redirects; every wait ends at `until`. False, with the reason in
  // *error, when no final answer arrived. *sent tells whether a request went
  // out (the address was well-formed).
  bool Open(const Request& request, const std::wstring& url, Clock::time_point until, bool* sent,
            std::string* error);

  std::uint16_t Status() const { return status_; }
  // The value of the answer's header `name`; empty when absent.
  std::wstring Header(const wchar_t* name) const;
  // The answer's Content-Length; false when it announced none.
  bool ContentLength(std::uint64_t* length) const;

  // Reads the next piece of the body, waiting until `until` at most. True
  // with *count > 0 for a piece, with 0 at the body's end; false, with the
  // reason in *error, when the body broke off, was malformed or did not
  // arrive in time (then *timedOut is set).
  bool Read(unsigned char* buffer, std::size_t capacity, Clock::time_point until, std::size_t* count,
            bool* timedOut, std::string* error);

 private:
  // One hop: opens the handles for `url`, sends, and reads the answer's
  // head; false with *error.
  bool Send(const Request& request, const std::wstring& url, Clock::time_point until, bool* sent, std::string* error);
  void Close();

  win::HINTERNET session_ = nullptr;
  win::HINTERNET connection_ = nullptr;
  win::HINTERNET request_ = nullptr;
  std::uint16_t status_ = 0;
};
