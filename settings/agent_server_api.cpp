// Requests to the agent server over the HTTP layer.
#include "settings/agent_server_api.h"

#include "settings/http_client.h"
#include "settings/http_common.h"
#include "settings/installer_context.h"
#include "system/registry_helpers.h"

namespace {

std::uint16_t GetJson(const std::wstring& url, bool compress, JsonValue* answer) {
  HttpRequestOptions options;
  options.url = url;
  options.method = L"GET";
  std::string errorText;
  options.errorText = &errorText;
  options.acceptJson = false;
  options.compress = compress;
  std::wstring body, date;
  std::uint16_t status = RequestJson(options, &body, &date);
  *answer = ParseJson(body);
  return status;
}

}  // namespace

std::uint16_t InstallerContext::QueryAgentRequestUrls(std::wstring serverAddress, std::wstring* updateAddress) {
  JsonValue answer;
  std::uint16_t status = GetJson(serverAddress + kAgentRequestUrlsPath, true, &answer);
  const std::wstring update = JsonToString(JsonMember(answer, L"update"));
  if (status == 200 && http_common::HasControlCharacter(update)) {
    // No address holds a control character: the answer is refused as a
    // malformed address is, and nothing of it is kept.
    status = 400;
    m_serverCheckResult = SERVERCHECK_COMM_ERROR;
  } else if (status == 200) {
    if (updateAddress) *updateAddress = update;
    RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kMqttInfoValue, JsonToString(JsonMember(answer, L"mqtt")));
    m_serverCheckResult = SERVERCHECK_OK;
  } else {
    m_serverCheckResult = status == 400 ? SERVERCHECK_COMM_ERROR : SERVERCHECK_NO_INFO;
  }
  return status;
}

std::wstring GetWebViewVersion(const std::wstring& serverAddress) {
  JsonValue answer;
  if (GetJson(serverAddress + kVersionsPath, false, &answer) != 200) return std::wstring();
  return JsonToString(JsonMember(JsonMember(answer, L"webview"), L"version"));
}

std::wstring WebViewDownloadUrl(const std::wstring& serverAddress, const std::wstring& component,
                                const std::wstring& version) {
  return serverAddress + L"/v2/download/resources?component=" + component + L"&version=" + version;
}
