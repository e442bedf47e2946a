// Outside values (addresses, versions, paths, server and library messages)
// embedded in debug lines: their control characters are written as escapes,
// so a value can neither end its line nor start a line of its own. The
// line's own ending, outside the value, stays as it is.
#pragma once

#include <string>

// The value with CR, LF and tab as "\r", "\n" and "\t", every other control
// character (U+0000 to U+001F, U+007F, U+0080 to U+009F) as "\xHH" and the
// line and paragraph separators U+2028 and U+2029 as "\u2028" and "\u2029";
// everything else unchanged.
std::wstring DebugValue(const std::wstring& value);
// The same for UTF-8 text.
std::string DebugValue(const std::string& utf8);
