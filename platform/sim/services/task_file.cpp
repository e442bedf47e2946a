// Task files: the XML the task scheduler writes, and back.
#include "platform/sim/services/task_file.h"

#include <cwctype>
#include <utility>

#include "platform/codepage.h"

namespace platform {

namespace {

constexpr const wchar_t* kSystemSid = L"S-1-5-18";

// Account names compare ignoring case.
std::wstring Fold(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

// Element text: quotes stay as they are, as the task scheduler writes them.
std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    switch (c) {
      case L'&': out += L"&amp;"; break;
      case L'<': out += L"&lt;"; break;
      case L'>': out += L"&gt;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::wstring Unescape(const std::wstring& text) {
  static const std::pair<const wchar_t*, wchar_t> entities[] = {
      {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
  std::wstring out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : entities) {
      std::size_t n = std::char_traits<wchar_t>::length(entity);
      if (text.compare(i, n, entity) == 0) {
        out.push_back(c);
        i += n;
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

// The text of the first <tag>...</tag>; empty when absent.
std::optional<std::wstring> Element(const std::wstring& xml, const std::wstring& tag) {
  std::wstring open = L"<" + tag + L">";
  std::wstring close = L"</" + tag + L">";
  std::size_t begin = xml.find(open);
  if (begin == std::wstring::npos) return std::nullopt;
  begin += open.size();
  std::size_t end = xml.find(close, begin);
  if (end == std::wstring::npos) return std::nullopt;
  return Unescape(xml.substr(begin, end - begin));
}

bool IsSystemAccount(const std::wstring& account) {
  std::wstring folded = Fold(account);
  return folded == L"system" || folded == L"nt authority\\system" || folded == Fold(kSystemSid);
}

// The action split as the task scheduler keeps it: the program (quoted or
// up to the first blank) and its arguments. An action that would not come
// back the same from the two parts is kept whole as the program.
std::pair<std::wstring, std::wstring> SplitAction(const std::wstring& action) {
  std::size_t end = std::wstring::npos;
  if (!action.empty() && action[0] == L'"') {
    std::size_t close = action.find(L'"', 1);
    if (close != std::wstring::npos) end = close + 1;
  } else {
    end = action.find(L' ');
  }
  if (end == std::wstring::npos || end >= action.size() || action[end] != L' ') return {action, std::wstring()};
  std::wstring arguments = action.substr(end + 1);
  if (arguments.empty() || arguments[0] == L' ') return {action, std::wstring()};
  return {action.substr(0, end), arguments};
}

std::wstring TaskXml(const ScheduledTask& task) {
  std::wstring trigger;
  if (task.schedule == L"ONSTART") {
    trigger = L"    <BootTrigger>\r\n      <Enabled>true</Enabled>\r\n    </BootTrigger>\r\n";
  } else {
    trigger = L"    <TimeTrigger>\r\n      <Repetition>\r\n        <Interval>PT" + std::to_wstring(task.modifier) +
              L"M</Interval>\r\n        <StopAtDurationEnd>false</StopAtDurationEnd>\r\n      </Repetition>\r\n"
              L"      <StartBoundary>" + Escape(task.startBoundary) + L"</StartBoundary>\r\n"
              L"      <Enabled>true</Enabled>\r\n    </TimeTrigger>\r\n";
  }
  auto [command, arguments] = SplitAction(task.action);
  std::wstring user = IsSystemAccount(task.runAs) ? kSystemSid : task.runAs;
  return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
         L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
         L"  <RegistrationInfo>\r\n    <URI>\\" + Escape(task.name) + L"</URI>\r\n  </RegistrationInfo>\r\n"
         L"  <Triggers>\r\n" + trigger + L"  </Triggers>\r\n"
         L"  <Principals>\r\n    <Principal id=\"Author\">\r\n      <UserId>" + Escape(user) +
         L"</UserId>\r\n      <RunLevel>LeastPrivilege</RunLevel>\r\n    </Principal>\r\n  </Principals>\r\n"
         L"  <Settings>\r\n    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
         L"    <Enabled>true</Enabled>\r\n  </Settings>\r\n"
         L"  <Actions Context=\"Author\">\r\n    <Exec>\r\n      <Command>" + Escape(command) + L"</Command>\r\n" +
         (arguments.empty() ? std::wstring() : L"      <Arguments>" + Escape(arguments) + L"</Arguments>\r\n") +
         L"    </Exec>\r\n  </Actions>\r\n</Task>\r\n";
}

}  // namespace

bool ValidTaskName(const std::wstring& name) {
  if (name.empty() || name.size() > 238 || name == L"." || name == L"..") return false;
  return name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

std::wstring BareTaskName(const std::wstring& name) { return !name.empty() && name[0] == L'\\' ? name.substr(1) : name; }

std::optional<ScheduledTask> StorableTask(const ScheduledTask& task, const std::wstring& currentMinute) {
  ScheduledTask stored = task;
  stored.name = BareTaskName(task.name);
  if (!ValidTaskName(stored.name)) return std::nullopt;
  if (stored.schedule == L"ONSTART") {
    stored.modifier = 0;
  } else if (stored.schedule == L"MINUTE") {
    if (stored.modifier <= 0) stored.modifier = 1;
    if (stored.startBoundary.empty()) stored.startBoundary = currentMinute;
  } else {
    return std::nullopt;
  }
  return stored;
}

std::string TaskFileBytes(const ScheduledTask& task) { return std::string("\xFF\xFE", 2) + WideToUtf16Le(TaskXml(task)); }

std::optional<ScheduledTask> ParseTaskFile(const std::wstring& name, const std::string& bytes) {
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE) {
    return std::nullopt;
  }
  std::wstring xml = Utf16LeToWide(bytes.substr(2));
  auto command = Element(xml, L"Command");
  if (!command) return std::nullopt;
  ScheduledTask task;
  task.name = name;
  auto arguments = Element(xml, L"Arguments");
  task.action = arguments ? *command + L" " + *arguments : *command;
  if (xml.find(L"<BootTrigger>") != std::wstring::npos) {
    task.schedule = L"ONSTART";
  } else if (auto interval = Element(xml, L"Interval")) {
    task.schedule = L"MINUTE";
    try {
      task.modifier = std::stoi(interval->substr(2));
    } catch (...) {
      return std::nullopt;
    }
    task.startBoundary = Element(xml, L"StartBoundary").value_or(std::wstring());
  } else {
    return std::nullopt;
  }
  std::wstring user = Element(xml, L"UserId").value_or(std::wstring());
  task.runAs = IsSystemAccount(user) ? L"System" : user;
  return task;
}

}  // namespace platform
