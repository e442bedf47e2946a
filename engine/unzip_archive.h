// Unpacking a ZIP archive (a component such as cef.zip, or the web view) into
// a folder of the machine.
#pragma once

#include <string>

#include "platform/win_types.h"

// Unpacks every entry of `archivePath` below `destination`, creating the
// folders the entries name; `password` (empty for none) opens encrypted
// entries. FALSE when the archive cannot be opened or is damaged (an entry
// that cannot be read, fails its CRC or cannot be written whole), or when an
// entry would land outside `destination`; that entry is then not written.
// An empty archive unpacks to nothing and gives TRUE.
win::BOOL UnzipArchive(const std::wstring& archivePath, const std::wstring& destination,
                       const std::wstring& password);

// True when a ZIP entry name stays below the folder it is unpacked into: no
// ".." component, no leading "/" or "\", no drive letter or other colon.
bool IsContainedEntryName(const std::wstring& name);
