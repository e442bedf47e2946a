// The crash report sender's checkpoint file: the day of the last accepted
// report and how many were accepted that day. Three lines, each ended by
// "\n": "GBP1", the UTC date as year × 10000 + month × 100 + day, the count.
#pragma once

#include <optional>
#include <string>

namespace kvdump {

struct ReportCheckpoint {
  int date = 0;   // e.g. 20261209
  int count = 0;  // reports accepted on that date
};

// The checkpoint in the file at the Windows path `path`; empty when the file
// is missing or is not a checkpoint (wrong first line, missing or malformed
// numbers): then no report counts as sent.
std::optional<ReportCheckpoint> ReadReportCheckpoint(const std::wstring& path);
// The file's text for a checkpoint.
std::string FormatReportCheckpoint(const ReportCheckpoint& checkpoint);
// Replaces the file; false when it cannot be written.
bool WriteReportCheckpoint(const std::wstring& path, const ReportCheckpoint& checkpoint);

}  // namespace kvdump
