// Signature trust on Windows: the system's WinVerifyTrust with the generic
// Authenticode action, its provider-data helpers and CertGetNameStringW, from
// wintrust.dll and crypt32.dll of the system folder (system_library.h).
//
// The interface's structures are the documented subset of the system's, so
// the provider data a VERIFY leaves behind is mirrored into them (the
// signers, their chains and certificates, pointing at the system's
// certificate bytes) and the mirror lives as long as the system's state:
// until the CLOSE. The helpers call the system's own and answer with the
// mirror of what it found.
//
// Wine's wintrust.dll gives the right verdicts for a good, a tampered and an
// unsigned file, but accepts what Windows refuses: a chain to an untrusted
// root, an expired signer, and a signer whose certificate may only
// authenticate servers. It also counts a nested signature but verifies the
// primary one whatever index WSS_VERIFY_SPECIFIC asks for, leaving
// dwVerifiedSigIndex unset. The simulated machine's tests remain the proof of
// those refusals and of the choice of a nested signature.
#include "platform/trust.h"

#include "platform/windows/windows_api.h"

#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/windows/system_library.h"

namespace win {

namespace {

using platform_windows::MissingFunction;
using platform_windows::SystemFunction;

constexpr wchar_t kWinTrust[] = L"wintrust.dll";
constexpr wchar_t kCrypt32[] = L"crypt32.dll";

static_assert(sizeof(GUID) == sizeof(::GUID), "the interface's GUID is the system's");

// WINTRUST_DATA as Windows 8 and later define it, with the signature
// settings that the toolchain's wintrust.h lacks; earlier systems read the
// fields they know and ignore the rest.
struct SystemSignatureSettings {
  ::DWORD cbStruct;
  ::DWORD dwIndex;
  ::DWORD dwFlags;
  ::DWORD cSecondarySigs;
  ::DWORD dwVerifiedSigIndex;
  void* pCryptoPolicy;
};
struct SystemTrustData {
  ::WINTRUST_DATA data;
  SystemSignatureSettings* pSignatureSettings;
};

// The interface's view of one signer: its chain and certificates, and the
// same for its counter-signers.
struct SignerMirror {
  const ::CRYPT_PROVIDER_SGNR* system = nullptr;
  std::vector<CERT_CONTEXT> contexts;
  std::vector<CRYPT_PROVIDER_CERT> chain;
  std::vector<CRYPT_PROVIDER_SGNR> counterSigners;
  std::vector<std::unique_ptr<SignerMirror>> counterMirrors;
};

// What a VERIFY left behind, kept until its CLOSE.
struct StateMirror {
  WINTRUST_DATA* request = nullptr;
  LONG result = 0;
  ::CRYPT_PROVIDER_DATA* system = nullptr;  // null until first asked for
  CRYPT_PROVIDER_DATA data{};
  std::vector<CRYPT_PROVIDER_SGNR> signers;
  std::vector<std::unique_ptr<SignerMirror>> signerMirrors;
  // The file handle the system opened for a caller that gave none and left
  // in the file record (Wine does): closed after the CLOSE, which does not.
  ::HANDLE openedFile = nullptr;
};

std::mutex g_mutex;
std::map<::HANDLE, std::unique_ptr<StateMirror>> g_states;

void Mirror(const ::CRYPT_PROVIDER_SGNR& from, CRYPT_PROVIDER_SGNR* to, SignerMirror* mirror) {
  mirror->system = &from;
  // Sized once, so that the pointers into them stay valid.
  mirror->contexts.resize(from.csCertChain);
  mirror->chain.resize(from.csCertChain);
  for (::DWORD i = 0; i < from.csCertChain; ++i) {
    const ::CRYPT_PROVIDER_CERT& cert = from.pasCertChain[i];
    CERT_CONTEXT& context = mirror->contexts[i];
    if (cert.pCert) {
      // The parsed form and the store stay the system's own, as the simulated
      // machine provides neither.
      context = CERT_CONTEXT{cert.pCert->dwCertEncodingType, cert.pCert->pbCertEncoded, cert.pCert->cbCertEncoded,
                             nullptr, nullptr};
    }
    CRYPT_PROVIDER_CERT& mirrored = mirror->chain[i];
    mirrored = CRYPT_PROVIDER_CERT{};
    mirrored.cbStruct = sizeof(CRYPT_PROVIDER_CERT);
    mirrored.pCert = cert.pCert ? &context : nullptr;
    mirrored.fCommercial = cert.fCommercial;
    mirrored.fTrustedRoot = cert.fTrustedRoot;
    mirrored.fSelfSigned = cert.fSelfSigned;
    mirrored.fTestCert = cert.fTestCert;
    mirrored.dwRevokedReason = cert.dwRevokedReason;
    mirrored.dwConfidence = cert.dwConfidence;
    mirrored.dwError = cert.dwError;
  }
  mirror->counterSigners.resize(from.csCounterSigners);
  for (::DWORD i = 0; i < from.csCounterSigners; ++i) {
    mirror->counterMirrors.push_back(std::make_unique<SignerMirror>());
    Mirror(from.pasCounterSigners[i], &mirror->counterSigners[i], mirror->counterMirrors.back().get());
  }
  *to = CRYPT_PROVIDER_SGNR{};
  to->cbStruct = sizeof(CRYPT_PROVIDER_SGNR);
  to->csCertChain = from.csCertChain;
  to->pasCertChain = mirror->chain.empty() ? nullptr : mirror->chain.data();
  to->dwSignerType = from.dwSignerType;
  to->dwError = from.dwError;
  to->csCounterSigners = from.csCounterSigners;
  to->pasCounterSigners = mirror->counterSigners.empty() ? nullptr : mirror->counterSigners.data();
}

void Mirror(::CRYPT_PROVIDER_DATA* from, StateMirror* state) {
  state->system = from;
  state->signers.resize(from->csSigners);
  for (::DWORD i = 0; i < from->csSigners; ++i) {
    state->signerMirrors.push_back(std::make_unique<SignerMirror>());
    Mirror(from->pasSigners[i], &state->signers[i], state->signerMirrors.back().get());
  }
  state->data.cbStruct = sizeof(CRYPT_PROVIDER_DATA);
  state->data.pWintrustData = state->request;
  state->data.dwError = static_cast<DWORD>(state->result);
  state->data.csSigners = from->csSigners;
  state->data.pasSigners = state->signers.empty() ? nullptr : state->signers.data();
  state->data.dwFinalError = from->dwFinalError;
}

// The mirror of the signer `signer` (interface side), searched through the
// open states; with it the system's signer.
SignerMirror* FindSigner(const std::vector<CRYPT_PROVIDER_SGNR>& signers,
                         const std::vector<std::unique_ptr<SignerMirror>>& mirrors, const CRYPT_PROVIDER_SGNR* signer) {
  for (std::size_t i = 0; i < signers.size(); ++i) {
    if (&signers[i] == signer) return mirrors[i].get();
    if (SignerMirror* found = FindSigner(mirrors[i]->counterSigners, mirrors[i]->counterMirrors, signer)) return found;
  }
  return nullptr;
}

SignerMirror* FindSigner(const CRYPT_PROVIDER_SGNR* signer) {
  for (auto& entry : g_states) {
    if (SignerMirror* found = FindSigner(entry.second->signers, entry.second->signerMirrors, signer)) return found;
  }
  return nullptr;
}

// The system's certificate behind a mirrored one, or null.
PCCERT_CONTEXT SystemCertificate(const SignerMirror& mirror, const CERT_CONTEXT* cert) {
  for (std::size_t i = 0; i < mirror.contexts.size(); ++i) {
    if (&mirror.contexts[i] == cert) return mirror.system->pasCertChain[i].pCert;
  }
  for (const auto& counter : mirror.counterMirrors) {
    if (PCCERT_CONTEXT found = SystemCertificate(*counter, cert)) return found;
  }
  return nullptr;
}

LONG Finish(LONG code) {
  ::SetLastError(static_cast<::DWORD>(code));
  return code;
}

}  // namespace

LONG WinVerifyTrust(void* hwnd, const GUID* action, WINTRUST_DATA* data) {
  if (!data) return Finish(ERROR_INVALID_PARAMETER);
  if (data->dwStateAction == WTD_STATEACTION_CLOSE && data->hWVTStateData == nullptr) return Finish(ERROR_SUCCESS);
  if (!action) return Finish(static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN));
  if (data->dwUnionChoice != WTD_CHOICE_FILE || !data->pFile) {
    return Finish(static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN));
  }
  ::GUID systemAction;
  std::memcpy(&systemAction, action, sizeof systemAction);
  ::GUID knownSubject{};
  if (data->pFile->pgKnownSubject) std::memcpy(&knownSubject, data->pFile->pgKnownSubject, sizeof knownSubject);
  ::WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = data->pFile->pcwszFilePath;
  file.hFile = platform_windows::Native(data->pFile->hFile);
  file.pgKnownSubject = data->pFile->pgKnownSubject ? &knownSubject : nullptr;

  SystemSignatureSettings settings{};
  if (data->pSignatureSettings) {
    settings.cbStruct = sizeof settings;
    settings.dwIndex = data->pSignatureSettings->dwIndex;
    settings.dwFlags = data->pSignatureSettings->dwFlags;
    settings.cSecondarySigs = data->pSignatureSettings->cSecondarySigs;
    settings.dwVerifiedSigIndex = data->pSignatureSettings->dwVerifiedSigIndex;
  }
  SystemTrustData system{};
  system.data.cbStruct = sizeof system;
  system.data.pPolicyCallbackData = data->pPolicyCallbackData;
  system.data.pSIPClientData = data->pSIPClientData;
  system.data.dwUIChoice = data->dwUIChoice;
  system.data.fdwRevocationChecks = data->fdwRevocationChecks;
  system.data.dwUnionChoice = data->dwUnionChoice;
  system.data.pFile = &file;
  system.data.dwStateAction = data->dwStateAction;
  system.data.hWVTStateData = platform_windows::Native(data->hWVTStateData);
  system.data.pwszURLReference = data->pwszURLReference;
  system.data.dwProvFlags = data->dwProvFlags;
  system.data.dwUIContext = data->dwUIContext;
  system.pSignatureSettings = data->pSignatureSettings ? &settings : nullptr;

  static const auto verify = SystemFunction<decltype(&::WinVerifyTrust)>(kWinTrust, "WinVerifyTrust");
  if (!verify) return MissingFunction(static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN));
  const LONG result = verify(static_cast<HWND>(hwnd), &systemAction, &system.data);

  if (data->pSignatureSettings) {
    data->pSignatureSettings->cSecondarySigs = settings.cSecondarySigs;
    data->pSignatureSettings->dwVerifiedSigIndex = settings.dwVerifiedSigIndex;
  }
  // A handle the system opened in a VERIFY and left in the record, when the
  // caller gave none: the file must not stay open after the CLOSE (a staged
  // file could not be moved into place while it is).
  const ::HANDLE openedFile = !data->pFile->hFile && file.hFile != INVALID_HANDLE_VALUE ? file.hFile : nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
    const auto found = g_states.find(platform_windows::Native(data->hWVTStateData));
    if (found != g_states.end()) {
      if (found->second->openedFile) ::CloseHandle(found->second->openedFile);
      g_states.erase(found);
    }
    data->hWVTStateData = nullptr;
  } else if (data->dwStateAction == WTD_STATEACTION_VERIFY && system.data.hWVTStateData) {
    data->hWVTStateData = platform_windows::Wrapped(system.data.hWVTStateData);
    auto state = std::make_unique<StateMirror>();
    state->request = data;
    state->result = result;
    state->openedFile = openedFile;
    g_states[system.data.hWVTStateData] = std::move(state);
  } else if (data->dwStateAction == WTD_STATEACTION_VERIFY) {
    data->hWVTStateData = nullptr;
  }
  return Finish(result);
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE state) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const auto found = g_states.find(platform_windows::Native(state));
  if (found == g_states.end()) return nullptr;
  StateMirror& mirror = *found->second;
  if (!mirror.system) {
    static const auto provData =
        SystemFunction<decltype(&::WTHelperProvDataFromStateData)>(kWinTrust, "WTHelperProvDataFromStateData");
    if (!provData) return MissingFunction<CRYPT_PROVIDER_DATA*>(nullptr);
    ::CRYPT_PROVIDER_DATA* system = provData(platform_windows::Native(state));
    if (!system) return nullptr;
    Mirror(system, &mirror);
  }
  return &mirror.data;
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* data, DWORD signerIndex,
                                                    BOOL counterSigner, DWORD counterSignerIndex) {
  static const auto signerFromChain =
      SystemFunction<decltype(&::WTHelperGetProvSignerFromChain)>(kWinTrust, "WTHelperGetProvSignerFromChain");
  if (!signerFromChain) return MissingFunction<CRYPT_PROVIDER_SGNR*>(nullptr);
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto& entry : g_states) {
    StateMirror& state = *entry.second;
    if (&state.data != data || !state.system) continue;
    const ::CRYPT_PROVIDER_SGNR* found =
        signerFromChain(state.system, signerIndex, counterSigner, counterSignerIndex);
    if (!found || signerIndex >= state.signers.size()) return nullptr;
    if (!counterSigner) return &state.signers[signerIndex];
    SignerMirror& signer = *state.signerMirrors[signerIndex];
    return counterSignerIndex < signer.counterSigners.size() ? &signer.counterSigners[counterSignerIndex] : nullptr;
  }
  return nullptr;
}

CRYPT_PROVIDER_CERT* WTHelperGetProvCertFromChain(CRYPT_PROVIDER_SGNR* signer, DWORD certIndex) {
  static const auto certFromChain =
      SystemFunction<decltype(&::WTHelperGetProvCertFromChain)>(kWinTrust, "WTHelperGetProvCertFromChain");
  if (!certFromChain) return MissingFunction<CRYPT_PROVIDER_CERT*>(nullptr);
  std::lock_guard<std::mutex> lock(g_mutex);
  SignerMirror* mirror = signer ? FindSigner(signer) : nullptr;
  if (!mirror) return nullptr;
  const ::CRYPT_PROVIDER_CERT* found = certFromChain(const_cast<::CRYPT_PROVIDER_SGNR*>(mirror->system), certIndex);
  if (!found || certIndex >= mirror->chain.size()) return nullptr;
  return &mirror->chain[certIndex];
}

DWORD CertGetNameStringW(const CERT_CONTEXT* cert, DWORD type, DWORD flags, void* typePara, wchar_t* name,
                         DWORD nameSize) {
  static const auto createContext =
      SystemFunction<decltype(&::CertCreateCertificateContext)>(kCrypt32, "CertCreateCertificateContext");
  static const auto freeContext =
      SystemFunction<decltype(&::CertFreeCertificateContext)>(kCrypt32, "CertFreeCertificateContext");
  static const auto nameString = SystemFunction<decltype(&::CertGetNameStringW)>(kCrypt32, "CertGetNameStringW");
  if (!createContext || !freeContext || !nameString) return MissingFunction<DWORD>(0);
  // A certificate that is not the system's own (made from its bytes by the
  // caller) is read through a system context made for the call.
  PCCERT_CONTEXT system = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& entry : g_states) {
      for (const auto& signer : entry.second->signerMirrors) {
        if (!system) system = SystemCertificate(*signer, cert);
      }
    }
  }
  PCCERT_CONTEXT made = nullptr;
  if (!system && cert && cert->pbCertEncoded && cert->cbCertEncoded > 0) {
    made = createContext(cert->dwCertEncodingType, cert->pbCertEncoded, cert->cbCertEncoded);
    system = made;
  }
  if (!system) {
    // No certificate, or bytes that are none: it has no name.
    if (name && nameSize > 0) name[0] = L'\0';
    return 1;
  }
  const DWORD count = nameString(system, type, flags, typePara, name, nameSize);
  if (made) freeContext(made);
  return count;
}

}  // namespace win
