// Debugger output: one line of the machine's debug log per call. Each record
// is the text as UTF-8 with its own line breaks escaped, so a text that
// carries "\r\n" (as most of the installer's lines do) stays one record.
#include "platform/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/machine.h"

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out.push_back(c);
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      out.push_back(next == 'r' ? '\r' : next == 'n' ? '\n' : next);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void Append(const std::string& utf8) {
  std::string record = Escape(utf8) + "\n";
  std::string path = platform::Machine::Current().DebugLog().string();
  // O_APPEND writes of one record are atomic between processes.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, record.data(), record.size());
  (void)ignored;
  ::close(fd);
}

}  // namespace

namespace win {

void OutputDebugStringW(const std::wstring& text) { Append(platform::WideToUtf8(text)); }
void OutputDebugStringA(const std::string& text) { Append(text); }

}  // namespace win

namespace platform {

std::vector<std::wstring> ReadDebugLog() {
  std::vector<std::wstring> lines;
  auto content = ReadWholeFile(Machine::Current().DebugLog());
  if (!content) return lines;
  std::size_t start = 0;
  while (start < content->size()) {
    std::size_t end = content->find('\n', start);
    if (end == std::string::npos) end = content->size();
    lines.push_back(Utf8ToWide(Unescape(content->substr(start, end - start))));
    start = end + 1;
  }
  return lines;
}

void ClearDebugLog() {
  std::error_code ignored;
  std::filesystem::remove(Machine::Current().DebugLog(), ignored);
}

}  // namespace platform
