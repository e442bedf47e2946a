// Top-level windows on the system's windows. A window of this process is a
// hidden window on a thread of its own, which pumps its messages: the
// window's procedure hands WM_CLOSE and messages from WM_USER up to the
// process's queue, which NextWindowMessage takes from, and keeps a sender
// waiting until ReplyToMessage answers. The system's own messages get their
// default handling.
#include "platform/top_level_windows.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "platform/windows/windows_api.h"

namespace platform {

namespace {

constexpr wchar_t kWindowClass[] = L"BvlTopLevelWindow";
// Asks a window's thread to destroy it (only that thread may).
constexpr ::UINT kDestroyRequest = WM_APP + 0x3F00;

::HWND Native(win::HWND window) { return reinterpret_cast<::HWND>(window); }
win::HWND Wrapped(::HWND window) { return reinterpret_cast<win::HWND>(window); }

// This process's windows and the messages handed up from them.
struct WindowQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<::HWND, std::thread> windows;
  std::deque<WindowMessage> waiting;
  std::uint64_t nextSequence = 1;
  // The sent message taken last and not answered yet (0: none).
  std::uint64_t takenSent = 0;
  ::HWND takenSentWindow = nullptr;
  std::map<std::uint64_t, win::LRESULT> answers;
  std::map<::HWND, bool> closing;
};

// Never destroyed: window threads may still run when the program ends.
WindowQueue& Queue() {
  static WindowQueue* queue = new WindowQueue();
  return *queue;
}

bool HandedUp(::UINT message) { return message == WM_CLOSE || (message >= WM_USER && message != kDestroyRequest); }

::LRESULT CALLBACK WindowProcedure(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  if (message == kDestroyRequest) {
    ::DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  if (!HandedUp(message)) return ::DefWindowProcW(window, message, wParam, lParam);
  WindowQueue& queue = Queue();
  // Another thread's SendMessageW waits for this procedure's result.
  const bool sent = ::InSendMessage() != FALSE;
  std::unique_lock<std::mutex> lock(queue.mutex);
  if (queue.closing.count(window)) return 0;
  const std::uint64_t sequence = queue.nextSequence++;
  queue.waiting.push_back(WindowMessage{sequence, sent, Wrapped(window), message, wParam, lParam});
  queue.changed.notify_all();
  if (!sent) return 0;
  queue.changed.wait(lock, [&] { return queue.answers.count(sequence) || queue.closing.count(window); });
  auto answer = queue.answers.find(sequence);
  if (answer == queue.answers.end()) return 0;
  const win::LRESULT result = answer->second;
  queue.answers.erase(answer);
  return result;
}

void RegisterWindowClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    ::WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassW(&windowClass);
  });
}

// The window's thread: makes the window, then pumps its messages until it
// is destroyed. A WM_QUIT posted to the window is handed up like any message.
void RunWindow(const std::wstring& title, std::promise<::HWND>* made) {
  ::HWND window = ::CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  made->set_value(window);
  if (!window) return;
  ::MSG message;
  while (true) {
    const ::BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      if (message.hwnd != window || !::IsWindow(window)) break;
      WindowQueue& queue = Queue();
      std::lock_guard<std::mutex> guard(queue.mutex);
      queue.waiting.push_back(WindowMessage{queue.nextSequence++, false, Wrapped(window), WM_QUIT, message.wParam,
                                            message.lParam});
      queue.changed.notify_all();
      continue;
    }
    ::DispatchMessageW(&message);
  }
}

// Answers the sent message taken last, if it is still unanswered.
void AnswerTaken(WindowQueue& queue, win::LRESULT result) {
  if (queue.takenSent == 0) return;
  queue.answers[queue.takenSent] = result;
  queue.takenSent = 0;
  queue.takenSentWindow = nullptr;
  queue.changed.notify_all();
}

}  // namespace

win::HWND CreateTopLevelWindow(const std::wstring& title) {
  RegisterWindowClass();
  std::promise<::HWND> made;
  std::future<::HWND> window = made.get_future();
  std::thread thread(RunWindow, title, &made);
  const ::HWND created = window.get();
  if (!created) {
    thread.join();
    return nullptr;
  }
  WindowQueue& queue = Queue();
  std::lock_guard<std::mutex> guard(queue.mutex);
  queue.windows[created] = std::move(thread);
  return Wrapped(created);
}

bool DestroyTopLevelWindow(win::HWND window) {
  WindowQueue& queue = Queue();
  const ::HWND native = Native(window);
  std::thread thread;
  {
    std::lock_guard<std::mutex> guard(queue.mutex);
    auto it = queue.windows.find(native);
    if (it == queue.windows.end()) return false;  // not a window of this process
    thread = std::move(it->second);
    queue.windows.erase(it);
    // Its queued messages are dropped; their senders get 0.
    queue.closing[native] = true;
    for (auto m = queue.waiting.begin(); m != queue.waiting.end();) {
      m = Native(m->window) == native ? queue.waiting.erase(m) : std::next(m);
    }
    if (queue.takenSentWindow == native) {
      queue.takenSent = 0;
      queue.takenSentWindow = nullptr;
    }
    queue.changed.notify_all();
  }
  ::PostMessageW(native, kDestroyRequest, 0, 0);
  thread.join();
  std::lock_guard<std::mutex> guard(queue.mutex);
  queue.closing.erase(native);
  return true;
}

bool NextWindowMessage(WindowMessage* message, int timeoutMilliseconds) {
  if (!message) return false;
  WindowQueue& queue = Queue();
  std::unique_lock<std::mutex> lock(queue.mutex);
  // A sent message left unanswered is answered 0 now: its window's thread
  // waits for that answer before it can hand up the next message.
  AnswerTaken(queue, 0);
  auto ready = [&] { return !queue.waiting.empty(); };
  if (timeoutMilliseconds < 0) {
    queue.changed.wait(lock, ready);
  } else if (!queue.changed.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), ready)) {
    return false;
  }
  *message = queue.waiting.front();
  queue.waiting.pop_front();
  if (message->sent) {
    queue.takenSent = message->sequence;
    queue.takenSentWindow = Native(message->window);
  }
  return true;
}

void ReplyToMessage(const WindowMessage& message, win::LRESULT result) {
  if (!message.sent) return;
  WindowQueue& queue = Queue();
  std::lock_guard<std::mutex> guard(queue.mutex);
  if (queue.takenSent == message.sequence) AnswerTaken(queue, result);
}

namespace {

::BOOL CALLBACK AddWindow(::HWND window, ::LPARAM list) {
  wchar_t title[512] = {};
  if (::GetWindowTextW(window, title, 512) > 0) {
    ::DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    reinterpret_cast<std::vector<WindowSummary>*>(list)->push_back(WindowSummary{Wrapped(window), title, processId});
  }
  return TRUE;
}

}  // namespace

// The desktop's top-level windows that have a title.
std::vector<WindowSummary> ListWindows() {
  std::vector<WindowSummary> list;
  ::EnumWindows(AddWindow, reinterpret_cast<::LPARAM>(&list));
  return list;
}

}  // namespace platform

namespace win {

using platform::Native;
using platform::Wrapped;

HWND FindWindowW(const wchar_t* className, const wchar_t* title) { return Wrapped(::FindWindowW(className, title)); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageW(Native(window), message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(Native(window), message, wParam, lParam);
}

BOOL IsWindow(HWND window) { return ::IsWindow(Native(window)); }

}  // namespace win
