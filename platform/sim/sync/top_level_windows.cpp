// Top-level windows and their message queues in the machine's
// state/windows.json: windows by title and owner, messages by sequence.
#include "platform/top_level_windows.h"

#include <algorithm>
#include <functional>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/processes/host_process.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/process.h"
#include "platform/sim/machine/state_json.h"

namespace platform {

namespace {

using nlohmann::json;

constexpr std::uint64_t kFirstWindow = 0x10010;

std::filesystem::path WindowsFile() { return StateFile("windows.json"); }

struct Window {
  std::uint64_t id = 0;
  std::wstring title;
  win::DWORD processId = 0;
  HostProcess owner;
};

struct Message {
  std::uint64_t sequence = 0;
  std::uint64_t window = 0;
  win::UINT message = 0;
  win::WPARAM wParam = 0;
  win::LPARAM lParam = 0;
  bool sent = false;
  HostProcess sender;
  bool taken = false;
  bool replied = false;
  win::LRESULT result = 0;
};

struct WindowTable {
  std::uint64_t nextWindow = kFirstWindow;
  std::uint64_t nextMessage = 1;
  std::vector<Window> windows;
  std::vector<Message> messages;
};

// One small reader and one writer of the state file.
WindowTable ParseWindows(const json& doc) {
  WindowTable t;
  t.nextWindow = doc.value("nextWindow", kFirstWindow);
  t.nextMessage = doc.value("nextMessage", std::uint64_t{1});
  if (doc.contains("windows") && doc["windows"].is_array()) {
    for (const auto& w : doc["windows"]) {
      if (!w.is_object()) continue;
      t.windows.push_back(Window{w.value("id", std::uint64_t{0}), Utf8ToWide(w.value("title", std::string())),
                                 w.value("processId", 0u), HostProcess{w.value("pid", 0), w.value("start", 0LL)}});
    }
  }
  if (doc.contains("messages") && doc["messages"].is_array()) {
    for (const auto& m : doc["messages"]) {
      if (!m.is_object()) continue;
      Message x;
      x.sequence = m.value("sequence", std::uint64_t{0});
      x.window = m.value("window", std::uint64_t{0});
      x.message = m.value("message", 0u);
      x.wParam = m.value("wParam", win::WPARAM{0});
      x.lParam = m.value("lParam", win::LPARAM{0});
      x.sent = m.value("sent", false);
      x.sender = HostProcess{m.value("senderPid", 0), m.value("senderStart", 0LL)};
      x.taken = m.value("taken", false);
      x.replied = m.value("replied", false);
      x.result = m.value("result", win::LRESULT{0});
      t.messages.push_back(x);
    }
  }
  return t;
}

json SerialiseWindows(const WindowTable& t) {
  json windows = json::array();
  for (const Window& w : t.windows) {
    windows.push_back({{"id", w.id}, {"title", WideToUtf8(w.title)}, {"processId", w.processId}, {"pid", w.owner.pid},
                       {"start", w.owner.start}});
  }
  json messages = json::array();
  for (const Message& m : t.messages) {
    messages.push_back({{"sequence", m.sequence}, {"window", m.window}, {"message", m.message}, {"wParam", m.wParam},
                        {"lParam", m.lParam}, {"sent", m.sent}, {"senderPid", m.sender.pid},
                        {"senderStart", m.sender.start}, {"taken", m.taken}, {"replied", m.replied},
                        {"result", m.result}});
  }
  return {{"nextWindow", t.nextWindow}, {"nextMessage", t.nextMessage}, {"windows", windows}, {"messages", messages}};
}

bool Same(const HostProcess& a, const HostProcess& b) { return a.pid == b.pid && a.start == b.start; }

const Window* FindWindowById(const WindowTable& t, std::uint64_t id) {
  for (const Window& w : t.windows) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

// Windows of ended programs go, and so do messages nobody can take or await:
// those to windows that are gone, and sent ones whose sender ended.
void Prune(WindowTable& t) {
  t.windows.erase(std::remove_if(t.windows.begin(), t.windows.end(),
                                 [](const Window& w) { return !HostProcessRunning(w.owner); }),
                  t.windows.end());
  t.messages.erase(std::remove_if(t.messages.begin(), t.messages.end(),
                                  [&](const Message& m) {
                                    if (!FindWindowById(t, m.window)) return true;
                                    return m.sent && !HostProcessRunning(m.sender);
                                  }),
                   t.messages.end());
}

bool ChangeWindows(const std::function<bool(WindowTable&)>& change) {
  return ChangeStateTable<WindowTable>(WindowsFile(), ParseWindows, SerialiseWindows, Prune, change);
}

win::HWND ToHandle(std::uint64_t id) { return reinterpret_cast<win::HWND>(static_cast<std::uintptr_t>(id)); }
std::uint64_t IdOf(win::HWND window) { return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window)); }

std::vector<std::filesystem::path> StateFolder() { return {Machine::Current().StateFolder()}; }

}  // namespace

win::HWND CreateTopLevelWindow(const std::wstring& title) {
  std::uint64_t id = 0;
  win::DWORD processId = CurrentProcessRecord().id;
  ChangeWindows([&](WindowTable& t) {
    id = t.nextWindow;
    t.nextWindow += 2;
    t.windows.push_back(Window{id, title, processId, CurrentHostProcess()});
    return true;
  });
  return ToHandle(id);
}

bool DestroyTopLevelWindow(win::HWND window) {
  HostProcess self = CurrentHostProcess();
  return ChangeWindows([&](WindowTable& t) {
    auto it = std::find_if(t.windows.begin(), t.windows.end(), [&](const Window& w) { return w.id == IdOf(window); });
    if (it == t.windows.end() || !Same(it->owner, self)) return false;
    t.windows.erase(it);
    Prune(t);
    return true;
  });
}

bool NextWindowMessage(WindowMessage* message, int timeoutMilliseconds) {
  if (!message) return false;
  HostProcess self = CurrentHostProcess();
  return WaitForMachine(
      [&] {
        return ChangeWindows([&](WindowTable& t) {
          auto mine = [&](const Message& m) {
            const Window* w = FindWindowById(t, m.window);
            return w && Same(w->owner, self);
          };
          auto next = std::find_if(t.messages.begin(), t.messages.end(),
                                   [&](const Message& m) { return !m.taken && mine(m); });
          if (next == t.messages.end()) return false;
          for (Message& m : t.messages) {
            if (m.sent && m.taken && !m.replied && mine(m)) m.replied = true;  // taken before, never answered: 0
          }
          *message = WindowMessage{next->sequence, next->sent, ToHandle(next->window), next->message, next->wParam,
                                   next->lParam};
          if (next->sent) {
            next->taken = true;
          } else {
            t.messages.erase(next);
          }
          return true;
        });
      },
      timeoutMilliseconds, StateFolder());
}

void ReplyToMessage(const WindowMessage& message, win::LRESULT result) {
  if (!message.sent) return;
  ChangeWindows([&](WindowTable& t) {
    for (Message& m : t.messages) {
      if (m.sequence == message.sequence && m.taken && !m.replied) {
        m.replied = true;
        m.result = result;
        return true;
      }
    }
    return false;
  });
}

std::vector<WindowSummary> ListWindows() {
  WindowTable t;
  DecodeStateJson(WindowsFile(), [&](const json& doc) { t = ParseWindows(doc); });
  Prune(t);
  std::vector<WindowSummary> list;
  for (const Window& w : t.windows) list.push_back(WindowSummary{ToHandle(w.id), w.title, w.processId});
  return list;
}

}  // namespace platform

namespace win {

using platform::ChangeWindows;
using platform::IdOf;
using platform::WindowTable;

HWND FindWindowW(const wchar_t* className, const wchar_t* title) {
  if (className || !title) return nullptr;
  if (platform::ShouldFail("FindWindow", title)) return nullptr;
  for (const auto& w : platform::ListWindows()) {
    if (w.title == title) return w.window;
  }
  return nullptr;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::uint64_t sequence = 0;
  bool queued = ChangeWindows([&](WindowTable& t) {
    if (!platform::FindWindowById(t, IdOf(window))) return false;
    sequence = t.nextMessage++;
    platform::Message m;
    m.sequence = sequence;
    m.window = IdOf(window);
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.sent = true;
    m.sender = platform::CurrentHostProcess();
    t.messages.push_back(m);
    return true;
  });
  if (!queued) return 0;
  LRESULT result = 0;
  // Until the owner answers, or the message is gone with its window.
  platform::WaitForMachine(
      [&] {
        bool done = false;
        ChangeWindows([&](WindowTable& t) {
          auto it = std::find_if(t.messages.begin(), t.messages.end(),
                                 [&](const platform::Message& m) { return m.sequence == sequence; });
          if (it == t.messages.end()) {
            done = true;
            return false;
          }
          if (!it->replied) return false;
          result = it->result;
          t.messages.erase(it);
          done = true;
          return true;
        });
        return done;
      },
      platform::kWaitForever, platform::StateFolder());
  return result;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  bool queued = ChangeWindows([&](WindowTable& t) {
    if (!platform::FindWindowById(t, IdOf(window))) return false;
    platform::Message m;
    m.sequence = t.nextMessage++;
    m.window = IdOf(window);
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    t.messages.push_back(m);
    return true;
  });
  if (!queued) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL IsWindow(HWND window) {
  for (const auto& w : platform::ListWindows()) {
    if (w.window == window) return TRUE;
  }
  return FALSE;
}

}  // namespace win
