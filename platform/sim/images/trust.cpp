// WinVerifyTrust, the provider-data helpers and CertGetNameStringW of the
// simulated machine, on top of the Authenticode verifier.
#include "platform/trust.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/images/authenticode.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"

namespace win {

namespace {

// What a VERIFY leaves behind for the helpers: the checked signer and its
// chain, with the certificate bytes they point into.
struct TrustState : KernelObject {
  std::vector<std::string> encoded;
  std::vector<CERT_CONTEXT> contexts;
  std::vector<CRYPT_PROVIDER_CERT> certificates;
  CRYPT_PROVIDER_SGNR signer{};
  CRYPT_PROVIDER_DATA data{};
};

DWORD TrustCode(platform::AuthenticodeStatus status) {
  using platform::AuthenticodeStatus;
  switch (status) {
    case AuthenticodeStatus::Verified: return ERROR_SUCCESS;
    case AuthenticodeStatus::FileError: return CRYPT_E_FILE_ERROR;
    case AuthenticodeStatus::NotPortableExecutable: return TRUST_E_SUBJECT_FORM_UNKNOWN;
    case AuthenticodeStatus::NoSignature: return TRUST_E_NOSIGNATURE;
    case AuthenticodeStatus::MalformedSignature: return TRUST_E_NOSIGNATURE;
    case AuthenticodeStatus::UnsupportedDigest: return NTE_BAD_ALGID;
    case AuthenticodeStatus::BadDigest: return TRUST_E_BAD_DIGEST;
    case AuthenticodeStatus::BadSignature: return NTE_BAD_SIGNATURE;
    case AuthenticodeStatus::UntrustedRoot: return CERT_E_UNTRUSTEDROOT;
    case AuthenticodeStatus::CertificateExpired: return CERT_E_EXPIRED;
    case AuthenticodeStatus::WrongUsage: return CERT_E_WRONG_USAGE;
    case AuthenticodeStatus::ChainFailed: return CERT_E_CHAINING;
  }
  return TRUST_E_NOSIGNATURE;
}

HANDLE NewState(WINTRUST_DATA* request, DWORD error, const platform::AuthenticodeSignature* signature) {
  auto* state = new TrustState;
  state->data.cbStruct = sizeof(CRYPT_PROVIDER_DATA);
  state->data.pWintrustData = request;
  state->data.dwError = error;
  state->data.dwFinalError = error;
  if (signature && !signature->chain.empty()) {
    // Sized once, so the pointers into them stay valid.
    state->encoded = signature->chain;
    const std::size_t count = state->encoded.size();
    state->contexts.resize(count);
    state->certificates.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      std::string& der = state->encoded[i];
      state->contexts[i] = CERT_CONTEXT{X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                        reinterpret_cast<BYTE*>(der.data()), static_cast<DWORD>(der.size()),
                                        nullptr, nullptr};
      CRYPT_PROVIDER_CERT& certificate = state->certificates[i];
      certificate = CRYPT_PROVIDER_CERT{};
      certificate.cbStruct = sizeof(CRYPT_PROVIDER_CERT);
      certificate.pCert = &state->contexts[i];
      certificate.fSelfSigned = platform::CertificateIsSelfIssued(der) ? TRUE : FALSE;
      certificate.fTrustedRoot = (signature->chainTrusted && i + 1 == count) ? TRUE : FALSE;
    }
    state->signer.cbStruct = sizeof(CRYPT_PROVIDER_SGNR);
    state->signer.csCertChain = static_cast<DWORD>(count);
    state->signer.pasCertChain = state->certificates.data();
    state->signer.dwError = error;
    state->data.csSigners = 1;
    state->data.pasSigners = &state->signer;
  }
  return platform::RegisterHandle(state);
}

LONG Finish(DWORD code) {
  SetLastError(code);
  return static_cast<LONG>(code);
}

LONG Close(WINTRUST_DATA* data) {
  if (platform::ShouldFail("WinVerifyTrustClose")) return static_cast<LONG>(GetLastError());
  if (data->hWVTStateData) {
    if (!platform::HandleAs<TrustState>(data->hWVTStateData)) return Finish(ERROR_INVALID_HANDLE);
    CloseHandle(data->hWVTStateData);
    data->hWVTStateData = nullptr;
  }
  return Finish(ERROR_SUCCESS);
}

}  // namespace

LONG WinVerifyTrust(void* hwnd, const GUID* action, WINTRUST_DATA* data) {
  if (!data) return Finish(ERROR_INVALID_PARAMETER);
  if (data->dwStateAction == WTD_STATEACTION_CLOSE) return Close(data);
  if (data->dwStateAction != WTD_STATEACTION_VERIFY && data->dwStateAction != WTD_STATEACTION_IGNORE)
    return Finish(ERROR_INVALID_PARAMETER);
  const bool keepState = data->dwStateAction == WTD_STATEACTION_VERIFY;
  if (keepState) data->hWVTStateData = nullptr;
  if (!action || !(*action == WINTRUST_ACTION_GENERIC_VERIFY_V2)) return Finish(TRUST_E_PROVIDER_UNKNOWN);
  if (data->dwUnionChoice != WTD_CHOICE_FILE) return Finish(TRUST_E_SUBJECT_FORM_UNKNOWN);
  if (!data->pFile || !data->pFile->pcwszFilePath) return Finish(ERROR_INVALID_PARAMETER);

  const std::wstring path = data->pFile->pcwszFilePath;
  WINTRUST_SIGNATURE_SETTINGS* settings = data->pSignatureSettings;

  if (platform::ShouldFail("WinVerifyTrust", path)) {
    const DWORD code = GetLastError();
    if (keepState) data->hWVTStateData = NewState(data, code, nullptr);
    return Finish(code);
  }

  platform::AuthenticodeResult result;
  if (const auto host = platform::ToHostPath(path)) {
    result = platform::VerifyAuthenticodeFile(*host, platform::Machine::Current().TrustedRootsFile());
  } else {
    result.status = platform::AuthenticodeStatus::FileError;
  }

  const DWORD index = (settings && (settings->dwFlags & WSS_VERIFY_SPECIFIC)) ? settings->dwIndex : 0;
  if (settings && (settings->dwFlags & WSS_GET_SECONDARY_SIG_COUNT))
    settings->cSecondarySigs = static_cast<DWORD>(result.SecondaryCount());

  const platform::AuthenticodeSignature* signature =
      index < result.signatures.size() ? &result.signatures[index] : nullptr;
  DWORD code;
  if (signature) {
    code = TrustCode(signature->status);
    if (settings) settings->dwVerifiedSigIndex = index;
  } else if (!result.signatures.empty()) {
    code = TRUST_E_NOSIGNATURE;  // asked for a nested signature the file does not have
  } else {
    code = TrustCode(result.status);
  }
  if (keepState) data->hWVTStateData = NewState(data, code, signature);
  return Finish(code);
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE state) {
  TrustState* trust = platform::HandleAs<TrustState>(state);
  return trust ? &trust->data : nullptr;
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* data, DWORD signerIndex,
                                                    BOOL counterSigner, DWORD counterSignerIndex) {
  if (!data || signerIndex >= data->csSigners) return nullptr;
  CRYPT_PROVIDER_SGNR* signer = &data->pasSigners[signerIndex];
  if (!counterSigner) return signer;
  return counterSignerIndex < signer->csCounterSigners ? &signer->pasCounterSigners[counterSignerIndex] : nullptr;
}

CRYPT_PROVIDER_CERT* WTHelperGetProvCertFromChain(CRYPT_PROVIDER_SGNR* signer, DWORD certIndex) {
  if (!signer || certIndex >= signer->csCertChain) return nullptr;
  return &signer->pasCertChain[certIndex];
}

DWORD CertGetNameStringW(const CERT_CONTEXT* cert, DWORD type, DWORD flags, void* typePara, wchar_t* name,
                         DWORD nameSize) {
  if (platform::ShouldFail("CertGetNameString")) return 0;
  std::string utf8;
  if (cert && cert->pbCertEncoded && cert->cbCertEncoded > 0) {
    const std::string_view der(reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded);
    const bool issuer = (flags & CERT_NAME_ISSUER_FLAG) != 0;
    switch (type) {
      case CERT_NAME_SIMPLE_DISPLAY_TYPE:
      case CERT_NAME_FRIENDLY_DISPLAY_TYPE:
        utf8 = platform::CertificateSimpleName(der, issuer);
        break;
      case CERT_NAME_ATTR_TYPE:
        if (typePara) utf8 = platform::CertificateNameAttribute(der, issuer, static_cast<const char*>(typePara));
        break;
      case CERT_NAME_EMAIL_TYPE:
        utf8 = platform::CertificateNameAttribute(der, issuer, "1.2.840.113549.1.9.1");
        break;
      default:
        break;
    }
  }
  std::wstring text = platform::Utf8ToWide(utf8);
  text.erase(std::find(text.begin(), text.end(), L'\0'), text.end());
  const DWORD needed = static_cast<DWORD>(text.size() + 1);
  if (!name || nameSize == 0) return needed;
  const DWORD count = std::min(needed, nameSize);
  std::copy(text.begin(), text.begin() + (count - 1), name);
  name[count - 1] = L'\0';
  return count;
}

}  // namespace win
