// A small HTTP server on 127.0.0.1 for targets whose reader takes its input
// from a download: every request gets "200 OK" with the body set last, over a
// connection of its own, as the update host would serve one file.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace fuzzing {

class LoopbackServer {
 public:
  // Listens on a free port of 127.0.0.1; a server that cannot listen ends
  // the process.
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::wstring Address() const;
  // The body of every answer from now on.
  void SetBody(std::string body);

 private:
  void Serve();
  void Answer(int connection);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::string body_;
  std::thread thread_;
};

}  // namespace fuzzing
