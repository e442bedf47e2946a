// The agent server's endpoints below the server address: the request
// addresses that admit an installation, and the component versions.
#pragma once

#include <string>

inline const wchar_t* const kAgentRequestUrlsPath = L"/v2/agent-request-urls";
inline const wchar_t* const kVersionsPath = L"/v2/versions";

// GET <server>/v2/versions: the "version" of its "webview" member; empty on
// any failure.
std::wstring GetWebViewVersion(const std::wstring& serverAddress);

// "<server>/v2/download/resources?component=<component>&version=<version>",
// the version inserted as it is.
std::wstring WebViewDownloadUrl(const std::wstring& serverAddress, const std::wstring& component,
                                const std::wstring& version);
