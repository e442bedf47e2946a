// Digest, machine-type and code-signature checks of downloaded components.
#include "system/file_verification.h"

#include <vector>

#include "platform/files.h"
#include "platform/trust.h"
#include "system/debug_log.h"
#include "system/kv_system.h"
#include "system/md5_checksum.h"
#include "system/pause.h"
#include "system/path_text.h"
#include "system/system_texts.h"
#include "system/wow64.h"

namespace {

using namespace win;

constexpr int kAttempts = 10;
constexpr unsigned kPauseMilliseconds = 500;

// The pause between attempts: a real one unless a test replaced it.
Pause& VerificationPause() {
  static Pause pause = RealPause();
  return pause;
}

// Verifies or closes the signature state of one WinVerifyTrust request.
LONG Trust(WINTRUST_DATA* data, DWORD action) {
  data->dwStateAction = action;
  GUID verify = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return WinVerifyTrust(nullptr, &verify, data);
}

}  // namespace

void SetVerificationPauseForTesting(std::function<void(unsigned)> pause) {
  VerificationPause() = pause ? Pause(std::move(pause)) : RealPause();
}

bool VerifyDownloadedFile(std::wstring path, ComponentInfo component) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt != 0) VerificationPause()(kPauseMilliseconds);
    std::wstring fileName = PathFindFileNameW(path);

    if (GetFileMD5(path) != component.hash) {
      LogDebugLine(system_texts::DigestFail(fileName));
      continue;
    }
    if (component.options & COMPONENT_VERIFY_ARCH) {
      bool is64Bit = false;
      if (!kvutil::KVSystem::GetPeFileBitness(path, &is64Bit) || is64Bit != RunsUnderWow64()) {
        LogDebugLine(system_texts::ArchitectureFail(fileName));
        continue;
      }
    }
    kvutil::CSystemVersion version;
    if (!kvutil::KVSystem::GetSystemVersion(&version) || version.m_strName != L"Windows 10") return true;
    if (!(component.options & COMPONENT_VERIFY_SIGN)) return true;
    if (VerifyCodeSignature(path, component)) return true;
    LogDebugLine(system_texts::CodeSignFail(fileName));
  }
  return false;
}

int VerifyCodeSignature(const std::wstring& path, const ComponentInfo&) {
  const std::set<std::wstring> allowed = {kAllowedIssuerName};

  WINTRUST_FILE_INFO file{};
  file.cbStruct = 16;
  file.pcwszFilePath = path.c_str();
  WINTRUST_SIGNATURE_SETTINGS settings{};
  settings.cbStruct = 24;
  settings.dwIndex = 0;
  settings.dwFlags = WSS_VERIFY_SPECIFIC | WSS_GET_SECONDARY_SIG_COUNT;
  WINTRUST_DATA data{};
  data.cbStruct = 52;  // the size that includes the signature-settings pointer
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.pSignatureSettings = &settings;

  if (Trust(&data, WTD_STATEACTION_VERIFY) != 0) {
    Trust(&data, WTD_STATEACTION_CLOSE);
    return 0;
  }
  int result = CheckSignerIssuer(data.hWVTStateData, allowed) ? 1 : 0;

  DWORD secondaryCount = settings.cSecondarySigs;
  for (DWORD index = 1; index <= secondaryCount; ++index) {
    if (Trust(&data, WTD_STATEACTION_CLOSE) != 0) {
      LogDebugLine(system_texts::SignatureCloseFail(GetLastError()));
      return result;
    }
    data.hWVTStateData = nullptr;
    settings.dwIndex = index;
    if (Trust(&data, WTD_STATEACTION_VERIFY) != 0) {
      LogDebugLine(system_texts::SignatureVerifyFail(GetLastError()));
      break;
    }
    if (CheckSignerIssuer(data.hWVTStateData, allowed)) result = 1;
  }
  Trust(&data, WTD_STATEACTION_CLOSE);
  return result;
}

int CheckSignerIssuer(HANDLE state, const std::set<std::wstring>& allowedIssuers) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  const CERT_CONTEXT* context = certificate ? certificate->pCert : nullptr;

  DWORD length = CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, nullptr, 0);
  if (length == 0) {
    LogDebugLine(system_texts::IssuerLengthFail(GetLastError()));
    return 0;
  }
  std::vector<wchar_t> name(length, L'\0');
  if (CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, name.data(), length) ==
      0) {
    LogDebugLine(system_texts::IssuerNameFail(GetLastError()));
    return 0;
  }
  std::wstring issuer(name.data());
  for (const std::wstring& allowed : allowedIssuers) {
    if (issuer.find(allowed) != std::wstring::npos) return 1;
  }
  return 0;
}
