// The stand-in of the task scheduler's command-line tool: on the simulated
// machine the built-in program bvlsim-schtasks (what
// C:\Windows\System32\schtasks.exe runs), on Windows schtasks.exe itself for
// Wine, whose own tool cannot create tasks. It creates, deletes and lists the
// machine's task files with the real tool's switches, texts and exit codes,
// and writes its text in the machine's ANSI code page. The machine's side is
// schtasks_machine.h and the task store, one implementation per platform.
//
//   schtasks /create /tn NAME /tr ACTION /sc ONSTART|MINUTE [/mo N] [/ru USER] [/f]
//   schtasks /delete /tn NAME [/f]
//   schtasks [/query]
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cwctype>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "schtasks_machine.h"
#include "schtasks_texts.h"

namespace {

using schtasks_texts::Texts;
using schtasks_texts::With;

constexpr int kFailure = 1;

// Switches, accounts and task names compare ignoring case.
std::wstring Fold(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

// The texts of the user's language: Korean for a Korean user, else English.
const Texts& Language() {
  wchar_t language[16] = {};
  const bool korean = win::GetLocaleInfoW(win::LOCALE_USER_DEFAULT, win::LOCALE_SISO639LANGNAME, language, 16) > 0 &&
                      std::wstring(language) == L"ko";
  return korean ? schtasks_texts::Korean() : schtasks_texts::English();
}

// The local time of `when` (the tool is single-threaded).
std::tm LocalTime(std::time_t when) {
  const std::tm* local = std::localtime(&when);
  return local ? *local : std::tm{};
}

// Console text in the machine's ANSI code page, lines ended by CR LF.
void Write(const std::wstring& text) {
  int length = static_cast<int>(text.size());
  if (length == 0) return;
  int needed = win::WideCharToMultiByte(win::CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) win::WideCharToMultiByte(win::CP_ACP, 0, text.c_str(), length, bytes.data(), needed, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

void Line(const std::wstring& text) { Write(text + L"\r\n"); }

int Fail(const std::wstring& text, const wchar_t* usage = nullptr) {
  Line(text);
  if (usage) Line(usage);
  return kFailure;
}

// Columns are as wide on the console as the header's rule: a Hangul or other
// wide character takes two cells (and two bytes in code page 949).
int Cells(const std::wstring& text) {
  int cells = 0;
  for (wchar_t c : text) cells += c >= 0x1100 && c != 0xFEFF ? 2 : 1;
  return cells;
}

std::wstring Pad(const std::wstring& text, int width) {
  int cells = Cells(text);
  return cells >= width ? text : text + std::wstring(static_cast<std::size_t>(width - cells), L' ');
}

std::wstring FormatTime(std::time_t when) {
  const std::tm t = LocalTime(when);
  int hour = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
  wchar_t text[64];
  if (&Language() == &schtasks_texts::Korean()) {
    std::swprintf(text, 64, L"%04d-%02d-%02d %ls %d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour < 12 ? Language().morning : Language().afternoon, hour, t.tm_min, t.tm_sec);
  } else {
    std::swprintf(text, 64, L"%d/%d/%04d %d:%02d:%02d %ls", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, hour, t.tm_min,
                  t.tm_sec, t.tm_hour < 12 ? Language().morning : Language().afternoon);
  }
  return text;
}

// When a task runs next: N/A for one that runs at system start; for one that
// repeats, the first run after now counted from its start.
std::wstring NextRunTime(const platform::ScheduledTask& task) {
  if (task.schedule != L"MINUTE" || task.modifier <= 0) return Language().notApplicable;
  std::tm start {};
  if (std::swscanf(task.startBoundary.c_str(), L"%d-%d-%dT%d:%d:%d", &start.tm_year, &start.tm_mon, &start.tm_mday,
                   &start.tm_hour, &start.tm_min, &start.tm_sec) != 6) {
    return Language().notApplicable;
  }
  start.tm_year -= 1900;
  start.tm_mon -= 1;
  start.tm_isdst = -1;
  std::time_t first = std::mktime(&start);
  std::time_t now = std::time(nullptr);
  long long interval = 60LL * task.modifier;
  if (first > now) return FormatTime(first);
  long long periods = (now - first) / interval + 1;
  return FormatTime(static_cast<std::time_t>(first + periods * interval));
}

int List() {
  const Texts& texts = Language();
  auto tasks = platform::ListScheduledTasks();
  Line(L"");
  Line(texts.folder);
  if (tasks.empty()) {
    Line(texts.noTasks);
    return 0;
  }
  Line(Pad(texts.taskName, 40) + L" " + Pad(texts.nextRunTime, 22) + L" " + Pad(texts.status, 15));
  Line(std::wstring(40, L'=') + L" " + std::wstring(22, L'=') + L" " + std::wstring(15, L'='));
  for (const auto& task : tasks) {
    Line(Pad(task.name, 40) + L" " + Pad(NextRunTime(task), 22) + L" " + Pad(texts.ready, 15));
  }
  Line(L"");
  return 0;
}

struct Options {
  std::wstring command;                     // "/create", "/delete" or "/query"
  std::map<std::wstring, std::wstring> values;
  bool force = false;
};

// Parses the switches; on a syntax error prints it and returns false.
bool Parse(const std::vector<std::wstring>& args, Options* options, int* code) {
  const Texts& texts = Language();
  static const std::vector<std::wstring> valued = {L"/tn", L"/tr", L"/sc", L"/mo", L"/ru", L"/rp", L"/st", L"/sd"};
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::wstring option = Fold(args[i]);
    if (!option.empty() && option[0] == L'-') option[0] = L'/';
    if (option == L"/create" || option == L"/delete" || option == L"/query") {
      if (!options->command.empty()) {
        *code = Fail(With(texts.invalidOption, args[i]), texts.usage);
        return false;
      }
      options->command = option;
    } else if (option == L"/f") {
      options->force = true;
    } else if (std::find(valued.begin(), valued.end(), option) != valued.end()) {
      if (options->values.count(option)) {
        *code = Fail(With(texts.repeated, option), texts.usage);
        return false;
      }
      if (i + 1 >= args.size() || (!args[i + 1].empty() && args[i + 1][0] == L'/')) {
        *code = Fail(With(texts.valueExpected, option), texts.usage);
        return false;
      }
      options->values[option] = args[++i];
    } else {
      *code = Fail(With(texts.invalidOption, args[i]), texts.usage);
      return false;
    }
  }
  return true;
}

bool IsSystemAccount(const std::wstring& account) {
  std::wstring folded = Fold(account);
  return folded == L"system" || folded == L"nt authority\\system";
}

int Create(const Options& options) {
  const Texts& texts = Language();
  for (const wchar_t* mandatory : {L"/tn", L"/tr", L"/sc"}) {
    if (!options.values.count(mandatory)) return Fail(With(texts.mandatoryMissing, mandatory), texts.createUsage);
  }
  platform::ScheduledTask task;
  task.name = options.values.at(L"/tn");
  if (!task.name.empty() && task.name[0] == L'\\') task.name = task.name.substr(1);
  task.action = options.values.at(L"/tr");
  std::wstring schedule = Fold(options.values.at(L"/sc"));
  auto modifier = options.values.find(L"/mo");
  if (schedule == L"onstart") {
    task.schedule = L"ONSTART";
    if (modifier != options.values.end()) return Fail(texts.modifierNotAllowed, texts.createUsage);
  } else if (schedule == L"minute") {
    task.schedule = L"MINUTE";
    task.modifier = 1;
    if (modifier != options.values.end()) {
      std::size_t used = 0;
      int value = 0;
      try {
        value = std::stoi(modifier->second, &used);
      } catch (...) {
        used = 0;
      }
      if (used != modifier->second.size() || value < 1 || value > 1439) return Fail(texts.invalidModifier, texts.createUsage);
      task.modifier = value;
    }
  } else {
    return Fail(texts.invalidSchedule, texts.createUsage);
  }
  const std::vector<std::wstring> accounts = schtasks_machine::UserAccounts();
  auto account = options.values.find(L"/ru");
  if (account == options.values.end()) {
    task.runAs = accounts.empty() ? L"System" : accounts.front();
  } else if (IsSystemAccount(account->second)) {
    task.runAs = L"System";
  } else {
    const std::wstring user = Fold(account->second);
    if (std::none_of(accounts.begin(), accounts.end(), [&](const std::wstring& known) { return Fold(known) == user; })) {
      return Fail(texts.unknownAccount);
    }
    task.runAs = account->second;
  }
  if (!platform::ValidTaskName(task.name)) return Fail(texts.badName);
  if (!options.force && platform::FindScheduledTask(task.name)) return Fail(texts.alreadyExists);
  if (!platform::SaveScheduledTask(task, options.force)) return Fail(texts.accessDenied);
  Line(With(texts.created, task.name));
  return 0;
}

int Delete(const Options& options) {
  const Texts& texts = Language();
  if (!options.values.count(L"/tn")) return Fail(With(texts.mandatoryMissing, L"/tn"), texts.deleteUsage);
  std::wstring name = options.values.at(L"/tn");
  if (!platform::FindScheduledTask(name)) return Fail(texts.notFound);
  if (!options.force) {
    Write(With(texts.confirmDelete, name));
    std::string answer;
    if (!std::getline(std::cin, answer) || (answer != "y" && answer != "Y")) return 0;
  }
  if (!platform::DeleteScheduledTask(name)) return Fail(texts.accessDenied);
  Line(With(texts.deleted, name));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  schtasks_machine::UseBinaryConsole();
  const std::vector<std::wstring> args = schtasks_machine::Arguments(argc, argv);
  if (args.empty()) return List();
  Options options;
  int code = 0;
  if (!Parse(args, &options, &code)) return code;
  if (options.command == L"/create") return Create(options);
  if (options.command == L"/delete") return Delete(options);
  if (options.command == L"/query" && options.values.empty()) return List();
  return Fail(With(Language().invalidOption, args[0]), Language().usage);
}
