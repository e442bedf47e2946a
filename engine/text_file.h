// Reading a small text file of the ANSI code page whole, and splitting text
// into its non-empty pieces.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The file's text up to its first NUL (or its end), converted from the ANSI
// code page; a file that starts with the UTF-8 byte-order mark (EF BB BF) is
// read as UTF-8, without the mark. Empty, with a debug line saying which step failed, when the file
// cannot be opened, is empty or cannot be mapped.
std::wstring ReadTextFile(const std::wstring& path);

// The pieces of `text` between occurrences of `delimiter`, empty pieces left
// out. An empty delimiter gives the whole text as one piece (none when empty).
std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& delimiter);

// The same pieces, handed to `visit` one by one without copying them, until
// `visit` returns false. False when it was stopped so.
bool ForEachPiece(std::wstring_view text, std::wstring_view delimiter,
                  const std::function<bool(std::wstring_view piece)>& visit);
