// The installer context that start-up leaves in the main wizard window for the
// pages and the install worker: the agent server address decoded from the
// installer's file name, the update address and the server check result.
#pragma once

#include <cstdint>
#include <string>

// Outcome of the token intake and server check.
constexpr std::int32_t SERVERCHECK_OK = 0;
constexpr std::int32_t SERVERCHECK_COMM_ERROR = 1;
constexpr std::int32_t SERVERCHECK_NO_INFO = 2;

class InstallerContext {
 public:
  virtual ~InstallerContext() = default;

  // Decodes the token of the module path into m_serverAddress, stores the
  // encrypted address as ServiceInfo (machine and desktop user) and asks the
  // agent server for its request addresses. Called once, at start-up.
  void ReadInstallationToken(std::wstring modulePath);

  // GET <server>/v2/agent-request-urls: sets *updateAddress, MqttInfo and
  // m_serverCheckResult; returns the HTTP status. A 200 answer whose update
  // address holds a control character counts as a malformed address: 400,
  // SERVERCHECK_COMM_ERROR and nothing stored.
  std::uint16_t QueryAgentRequestUrls(std::wstring serverAddress, std::wstring* updateAddress);

  std::wstring m_serverAddress;
  std::wstring m_updateAddress;
  std::int32_t m_serverCheckResult = SERVERCHECK_NO_INFO;
  std::int32_t m_closing = 0;
};
