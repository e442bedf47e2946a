// The loopback test servers that run-with-servers.sh starts beside this
// program (tools/test_http_server.py): their ports, their routes and the
// requests they received, through the environment it sets.
#pragma once

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "windows/platform/wine_paths.h"

namespace testing_windows {

inline int ServerPort(const char* variable) {
  const char* text = std::getenv(variable);
  return text ? std::atoi(text) : 0;
}

inline std::wstring HttpUrl(const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(ServerPort("BVL_TEST_HTTP_PORT")) + path;
}

inline std::wstring HttpsUrl(const std::wstring& path) {
  return L"https://127.0.0.1:" + std::to_wstring(ServerPort("BVL_TEST_HTTPS_PORT")) + path;
}

// An address on loopback where nothing listens.
inline std::wstring ClosedUrl(const std::wstring& path) {
  return L"http://127.0.0.1:" + std::to_wstring(ServerPort("BVL_TEST_CLOSED_PORT")) + path;
}

// Replaces the routes both servers answer from and forgets the requests so far.
inline void ServeRoutes(const nlohmann::json& routes) {
  std::ofstream(WinePath(std::getenv("BVL_TEST_ROUTES"))) << routes.dump();
  std::ofstream(WinePath(std::getenv("BVL_TEST_REQUEST_LOG")), std::ios::trunc);
}

// The requests received since the routes were set, oldest first.
inline std::vector<nlohmann::json> ReceivedRequests() {
  std::ifstream log(WinePath(std::getenv("BVL_TEST_REQUEST_LOG")));
  std::vector<nlohmann::json> requests;
  for (std::string line; std::getline(log, line);) {
    if (!line.empty()) requests.push_back(nlohmann::json::parse(line));
  }
  return requests;
}

// The values of one header of a received request (its headers are
// [name, value] pairs in the order they arrived).
inline std::vector<std::string> HeaderValues(const nlohmann::json& request, const std::string& name) {
  std::vector<std::string> values;
  for (const auto& header : request.at("headers")) {
    if (header.at(0).get<std::string>() == name) values.push_back(header.at(1).get<std::string>());
  }
  return values;
}

}  // namespace testing_windows
