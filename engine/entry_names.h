// The names of archive entries that may be unpacked: names that stay below
// the folder they are unpacked into, and that Windows can hold as written.
#pragma once

#include <string>

// True when a ZIP entry name stays below the folder it is unpacked into: no
// ".." component, no leading "/" or "\", no drive letter or other colon.
bool IsContainedEntryName(const std::wstring& name);

// True when every name in the entry's path ("/" or "\" separated) is a name
// Windows keeps as written: not a device name (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, in any case, also with an extension: "nul.txt" opens the NUL
// device in any folder), not ending in a dot or a space (Windows drops them,
// so "a.txt." would write "a.txt"), and without < > : " | ? * or a control
// character. A "." component (the folder itself) and the empty name after a
// folder entry's final separator are accepted.
bool IsWindowsEntryName(const std::wstring& name);
