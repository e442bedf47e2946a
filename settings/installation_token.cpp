// Token intake at start-up: file name → server address → ServiceInfo in both
// hives → the agent server's request addresses.
#include "settings/installation_token.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/process.h"
#include "settings/base64.h"
#include "settings/installer_context.h"
#include "settings/seed_cipher.h"
#include "system/kv_system.h"
#include "system/registry_helpers.h"

std::wstring ExtractToken(const std::wstring& modulePath) {
  std::size_t open = modulePath.find(L'[');
  if (open == std::wstring::npos || modulePath.find(L']') == std::wstring::npos) return std::wstring();
  std::size_t close = modulePath.find(L']', open + 1);
  if (close == std::wstring::npos) return std::wstring();
  return modulePath.substr(open + 1, close - open - 1);
}

std::optional<std::vector<unsigned char>> DecodeToken(const std::wstring& token) {
  std::string text = kvutil::KVSystem::ConvertToMultiByte(token, win::CP_THREAD_ACP);
  if (text.empty()) return std::nullopt;
  std::vector<unsigned char> decoded(text.size(), 0);
  std::size_t size = decoded.size();
  if (!Base64Decode(text.data(), text.size(), decoded.data(), &size)) return std::nullopt;
  return decoded;
}

void InstallerContext::ReadInstallationToken(std::wstring modulePath) {
  m_serverAddress.clear();
  std::wstring token = ExtractToken(modulePath);
  if (token.empty()) return;
  auto decoded = DecodeToken(token);
  if (!decoded) return;

  auto nul = std::find(decoded->begin(), decoded->end(), 0);
  std::string address(decoded->begin(), nul);
  m_serverAddress = kvutil::KVSystem::ConvertToWide(address, win::CP_THREAD_ACP);

  // Stored before, and whatever the outcome of, the server request.
  std::wstring serviceInfo = EncryptServiceInfo(m_serverAddress, kServiceInfoKey, kServiceInfoIv);
  RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kServiceInfoValue, serviceInfo);
  bool impersonated = kvutil::KVSystem::ImpersonateExplorerUser();
  RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kServiceInfoValue, serviceInfo);
  if (impersonated) win::RevertToSelf();

  QueryAgentRequestUrls(m_serverAddress, &m_updateAddress);
}
