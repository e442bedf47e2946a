// Reading and writing the checkpoint file.
#include "crash/report_checkpoint.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/files.h"

namespace kvdump {
namespace {

// A decimal number with nothing else on its line.
bool ParseNumber(const std::string& line, int* value) {
  if (line.empty() || line.size() > 9) return false;
  for (char c : line) {
    if (c < '0' || c > '9') return false;
  }
  *value = std::atoi(line.c_str());
  return true;
}

}  // namespace

std::optional<ReportCheckpoint> ReadReportCheckpoint(const std::wstring& path) {
  std::FILE* file = win::_wfopen(path, L"rb");
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[256];
  std::size_t count = 0;
  while (text.size() < 4096 && (count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, count);
  std::fclose(file);
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size() && lines.size() < 3) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  ReportCheckpoint checkpoint;
  if (lines.size() < 3 || lines[0] != "GBP1" || !ParseNumber(lines[1], &checkpoint.date) ||
      !ParseNumber(lines[2], &checkpoint.count)) {
    return std::nullopt;
  }
  return checkpoint;
}

std::string FormatReportCheckpoint(const ReportCheckpoint& checkpoint) {
  return "GBP1\n" + std::to_string(checkpoint.date) + "\n" + std::to_string(checkpoint.count) + "\n";
}

bool WriteReportCheckpoint(const std::wstring& path, const ReportCheckpoint& checkpoint) {
  std::FILE* file = win::_wfopen(path, L"wb");
  if (file == nullptr) return false;
  const std::string text = FormatReportCheckpoint(checkpoint);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace kvdump
