// The loopback HTTP server of the download targets.
#include "fuzz/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace fuzzing {
namespace {

// A request head longer than this is not one of the installer's requests.
constexpr std::size_t kMaxRequestHead = 64 * 1024;

bool SendAll(int connection, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t now = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (now <= 0) return false;
    sent += static_cast<std::size_t>(now);
  }
  return true;
}

}  // namespace

LoopbackServer::LoopbackServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("fuzz: loopback server");
    std::exit(1);
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  // Wakes the accept of the serving thread.
  ::shutdown(listener_, SHUT_RDWR);
  thread_.join();
  ::close(listener_);
}

std::wstring LoopbackServer::Address() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

void LoopbackServer::SetBody(std::string body) {
  std::lock_guard<std::mutex> guard(mutex_);
  body_ = std::move(body);
}

void LoopbackServer::Serve() {
  while (!stopping_) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Answer(connection);
    ::close(connection);
  }
}

void LoopbackServer::Answer(int connection) {
  // The request's head, then the answer; the installer's GET has no body.
  std::string head;
  char piece[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = ::recv(connection, piece, sizeof piece, 0);
    if (got <= 0 || head.size() > kMaxRequestHead) return;
    head.append(piece, static_cast<std::size_t>(got));
  }
  std::string body;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    body = body_;
  }
  SendAll(connection, "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  ::shutdown(connection, SHUT_WR);
}

}  // namespace fuzzing
