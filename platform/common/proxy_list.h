// The proxy for one scheme in the text of the user's "ProxyServer" setting,
// the same on the simulated machine and on Windows.
#pragma once

#include <string>

namespace platform {

// "host:port" is the proxy of every scheme; "http=h1:p1;https=h2:p2" names
// one per scheme. Empty when the text names none for `scheme`; blanks and
// tabs around names and addresses are dropped.
std::wstring ProxyForScheme(const std::wstring& server, const std::wstring& scheme);

}  // namespace platform
