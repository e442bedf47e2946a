// The project's minidump reader: checks a dump's header and stream directory
// and reads the streams the crash reporter writes. Every offset and size is
// checked against the file, so any bytes give a summary or an error, never a
// read outside them.
#pragma once

#include <string>
#include <string_view>

#include "crash/minidump_summary.h"

namespace kvdump {

// False, with the reason in `error`, when the bytes are not a minidump or a
// stream the reader knows is cut short or points outside the file.
bool ReadMinidump(std::string_view bytes, MinidumpSummary* summary, std::string* error);

}  // namespace kvdump
