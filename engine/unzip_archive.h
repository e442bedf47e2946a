// Unpacking a ZIP archive (a component such as cef.zip, or the web view) into
// a folder of the machine.
#pragma once

#include <string>

#include "platform/win_types.h"

// Unpacks every entry of `archivePath` below `destination`, creating the
// folders the entries name; entries are stored or deflated, and `password`
// (empty for none) opens entries encrypted with traditional PKWARE
// encryption. Zip64 entries are unpacked whole, beyond 4 GiB, through one
// buffer whatever their size.
// FALSE when the archive cannot be opened or is damaged (an entry that
// cannot be read, yields more or fewer bytes than it declares, fails its CRC
// or cannot be written whole, as on a full disk). FALSE too, before anything
// is written, when an entry's name would land outside `destination`, is not
// a name Windows keeps as written (a device name such as CON or nul.txt, a
// trailing dot or space, a character such as ? or a control character; see
// entry_names.h) or does not fit the name buffer; when an entry names
// another compression method, or is encrypted and the password does not
// open it; when entries overlap in the archive, a local header disagrees
// with the directory, or the directory holds more entries than its end
// record counts. An empty archive unpacks to nothing and gives TRUE.
win::BOOL UnzipArchive(const std::wstring& archivePath, const std::wstring& destination,
                       const std::wstring& password);
