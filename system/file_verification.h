// Verification of a downloaded component before it is placed: its MD5 digest,
// its machine type where asked, and on Windows 10 the driver's Authenticode
// signature under an allowed issuer — up to ten attempts, 500 ms apart.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/win_types.h"
#include "system/component_info.h"

// The one issuer name under which the driver may be signed.
inline const wchar_t* const kAllowedIssuerName = L"Microsoft Windows Third Party Component";

// True when the file passed every stage that applies within ten attempts.
bool VerifyDownloadedFile(std::wstring path, ComponentInfo component);

// Nonzero when the file's primary signature verifies and it, or a secondary
// signature verified before the first failing one, was issued under an
// allowed name.
int VerifyCodeSignature(const std::wstring& path, const ComponentInfo& component);

// Nonzero when the signer certificate of the verified signature behind
// `state` has an issuer name containing one of `allowedIssuers`.
int CheckSignerIssuer(win::HANDLE state, const std::set<std::wstring>& allowedIssuers);

// The pause between attempts; tests replace it so they need not wait.
void SetVerificationPauseForTesting(std::function<void(unsigned milliseconds)> pause);
