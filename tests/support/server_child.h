// A loopback server of the project's tools (a Python program) run as a child
// of a test: it prints its port as its first line, ends with the test
// program however that ends, and records what it received as JSON lines
// with base64 bodies.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class ServerChild {
 public:
  ServerChild() = default;
  ~ServerChild() { Stop(); }
  ServerChild(const ServerChild&) = delete;
  ServerChild& operator=(const ServerChild&) = delete;

  // Starts `arguments` (the program first) with its standard error written
  // to `errorLog`; returns the port it reported within 20 s, or 0.
  int Start(std::vector<std::string> arguments, const std::filesystem::path& errorLog);
  // Kills the server and waits for it to end.
  void Stop();

 private:
  pid_t pid_ = -1;
};

// The command that runs one of the project's Python tools: the interpreter
// the build resolved (BVL_PYTHON: the interpreter itself, not a version
// manager's shim, which costs a second start each time; else python3 from
// the PATH), without the site packages that the tools, which need only the
// standard library, would load first (-S).
std::vector<std::string> PythonCommand(const std::string& script);

// A body as the servers log it (base64; padding and line breaks ignored).
std::string DecodeBase64(const std::string& text);

// One request as a server received and logged it.
struct LoggedRequest {
  std::string method;
  std::string target;  // path and query
  std::string tunnel;  // "host:port" when the request came through a proxy tunnel
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string body;

  // Values of the headers whose name equals `name` ignoring case, in order.
  std::vector<std::string> Values(const std::string& name) const;
  // The first value of a header (empty when absent).
  std::string Value(const std::string& name) const;
  bool Has(const std::string& name) const { return !Values(name).empty(); }
};

// The requests of a server's log (one JSON object a line), in order; a line
// that is not JSON, one the server is still writing, is left out.
std::vector<LoggedRequest> ReadRequestLog(const std::filesystem::path& log);

// Header names compare without regard to ASCII case.
bool SameHeaderName(const std::string& a, const std::string& b);

}  // namespace testing_support
