// Signature trust, by the wintrust/crypt32 names: WinVerifyTrust with the
// generic Authenticode action, the provider-data helpers that lead to the
// signer's certificate, and CertGetNameStringW. On Windows they are the
// system's; the simulated machine checks files against its trusted-roots
// bundle.
#pragma once

#include "platform/win_types.h"

namespace win {

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
bool operator==(const GUID& a, const GUID& b);

// {00AAC56B-CD44-11D0-8CC2-00C04FC295EE}
extern const GUID WINTRUST_ACTION_GENERIC_VERIFY_V2;

constexpr DWORD WTD_UI_ALL = 1;
constexpr DWORD WTD_UI_NONE = 2;
constexpr DWORD WTD_REVOKE_NONE = 0;
constexpr DWORD WTD_REVOKE_WHOLECHAIN = 1;
constexpr DWORD WTD_CHOICE_FILE = 1;
constexpr DWORD WTD_STATEACTION_IGNORE = 0;
constexpr DWORD WTD_STATEACTION_VERIFY = 1;
constexpr DWORD WTD_STATEACTION_CLOSE = 2;
constexpr DWORD WSS_VERIFY_SPECIFIC = 1;
constexpr DWORD WSS_GET_SECONDARY_SIG_COUNT = 2;

// Results of WinVerifyTrust (HRESULTs, returned as LONG).
constexpr DWORD TRUST_E_PROVIDER_UNKNOWN = 0x800B0001;
constexpr DWORD TRUST_E_SUBJECT_FORM_UNKNOWN = 0x800B0003;
constexpr DWORD TRUST_E_NOSIGNATURE = 0x800B0100;
constexpr DWORD CERT_E_EXPIRED = 0x800B0101;
constexpr DWORD CERT_E_UNTRUSTEDROOT = 0x800B0109;
constexpr DWORD CERT_E_CHAINING = 0x800B010A;
constexpr DWORD CERT_E_WRONG_USAGE = 0x800B0110;
constexpr DWORD TRUST_E_BAD_DIGEST = 0x80096010;
constexpr DWORD CRYPT_E_FILE_ERROR = 0x80092003;
constexpr DWORD NTE_BAD_ALGID = 0x80090008;
constexpr DWORD NTE_BAD_SIGNATURE = 0x80090006;

struct WINTRUST_FILE_INFO {
  DWORD cbStruct;
  const wchar_t* pcwszFilePath;
  HANDLE hFile;
  const GUID* pgKnownSubject;
};

struct WINTRUST_SIGNATURE_SETTINGS {
  DWORD cbStruct;
  DWORD dwIndex;             // which signature to verify with WSS_VERIFY_SPECIFIC
  DWORD dwFlags;
  DWORD cSecondarySigs;      // set with WSS_GET_SECONDARY_SIG_COUNT
  DWORD dwVerifiedSigIndex;  // set to the index that was verified
  void* pCryptoPolicy;
};

struct WINTRUST_DATA {
  DWORD cbStruct;
  void* pPolicyCallbackData;
  void* pSIPClientData;
  DWORD dwUIChoice;
  DWORD fdwRevocationChecks;
  DWORD dwUnionChoice;
  WINTRUST_FILE_INFO* pFile;
  DWORD dwStateAction;
  HANDLE hWVTStateData;
  wchar_t* pwszURLReference;
  DWORD dwProvFlags;
  DWORD dwUIContext;
  WINTRUST_SIGNATURE_SETTINGS* pSignatureSettings;
};

// VERIFY: checks the file of `data->pFile` (signature dwIndex with
// WSS_VERIFY_SPECIFIC, else the primary one) and, with WSS_GET_SECONDARY_SIG_COUNT,
// reports the number of nested signatures. Returns 0 when the signature
// verifies, else a TRUST_E_/CERT_E_ code (or the injected fault's error),
// which is also the last error. Once the file was looked at, a state handle is
// left in hWVTStateData whatever the outcome; CLOSE releases it and sets
// hWVTStateData to null. WTD_STATEACTION_IGNORE verifies without keeping state.
LONG WinVerifyTrust(void* hwnd, const GUID* action, WINTRUST_DATA* data);

constexpr DWORD X509_ASN_ENCODING = 0x00000001;
constexpr DWORD PKCS_7_ASN_ENCODING = 0x00010000;

// A certificate: its encoding and DER bytes. Owned by the state handle it
// was reached through; valid until that state is closed.
struct CERT_CONTEXT {
  DWORD dwCertEncodingType;
  BYTE* pbCertEncoded;
  DWORD cbCertEncoded;
  void* pCertInfo;    // not provided
  void* hCertStore;   // not provided
};

struct CRYPT_PROVIDER_CERT {
  DWORD cbStruct;
  const CERT_CONTEXT* pCert;
  BOOL fCommercial;
  BOOL fTrustedRoot;  // the last certificate of a chain that ends in a trusted root
  BOOL fSelfSigned;
  BOOL fTestCert;
  DWORD dwRevokedReason;
  DWORD dwConfidence;
  DWORD dwError;
};

struct CRYPT_PROVIDER_SGNR {
  DWORD cbStruct;
  DWORD csCertChain;                    // certificates from the signer up to the root
  CRYPT_PROVIDER_CERT* pasCertChain;
  DWORD dwSignerType;
  DWORD dwError;                        // why this signer failed, 0 when it verified
  DWORD csCounterSigners;               // time stamps are not modelled: always 0
  CRYPT_PROVIDER_SGNR* pasCounterSigners;
};

struct CRYPT_PROVIDER_DATA {
  DWORD cbStruct;
  WINTRUST_DATA* pWintrustData;
  DWORD dwError;                        // the result of the VERIFY
  DWORD csSigners;                      // 1 when the checked signature was found, else 0
  CRYPT_PROVIDER_SGNR* pasSigners;
  DWORD dwFinalError;
};

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE state);
CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* data, DWORD signerIndex,
                                                    BOOL counterSigner, DWORD counterSignerIndex);
CRYPT_PROVIDER_CERT* WTHelperGetProvCertFromChain(CRYPT_PROVIDER_SGNR* signer, DWORD certIndex);

constexpr DWORD CERT_NAME_EMAIL_TYPE = 1;
constexpr DWORD CERT_NAME_ATTR_TYPE = 3;          // typePara: the attribute's dotted OID (const char*)
constexpr DWORD CERT_NAME_SIMPLE_DISPLAY_TYPE = 4;
constexpr DWORD CERT_NAME_FRIENDLY_DISPLAY_TYPE = 5;
constexpr DWORD CERT_NAME_ISSUER_FLAG = 1;

// The subject's (with CERT_NAME_ISSUER_FLAG the issuer's) name. Returns the
// count of characters including the NUL: with a null `name` or zero
// `nameSize` the size needed, else the count written (truncated to fit). A
// certificate without such a name gives 1, the lone NUL.
DWORD CertGetNameStringW(const CERT_CONTEXT* cert, DWORD type, DWORD flags, void* typePara, wchar_t* name,
                         DWORD nameSize);

}  // namespace win
