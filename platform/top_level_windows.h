// Top-level windows of the simulated machine's programs, found by title from
// any process, with a message queue: SendMessageW waits until the owning
// program has handled the message (or the window or its program is gone). A
// window goes away when its program destroys it or ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win {

struct WindowObject;
using HWND = WindowObject*;  // the machine-wide window id, not a pointer
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

// Null when no window of the machine has exactly that title (class names are
// not modelled: `className` must be null).
HWND FindWindowW(const wchar_t* className, const wchar_t* title);
// Delivers the message to the window's program and waits for its result; 0
// when the window does not exist or its program ends before answering.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);

}  // namespace win

namespace platform {

// For programs of the machine that own a window (the agent's stand-ins): a
// top-level window of this process with the given title.
win::HWND CreateTopLevelWindow(const std::wstring& title);
bool DestroyTopLevelWindow(win::HWND window);

// One message taken from this process's windows' queues.
struct WindowMessage {
  win::HWND window = nullptr;
  win::UINT message = 0;
  win::WPARAM wParam = 0;
  win::LPARAM lParam = 0;
};
// Waits up to `timeoutMilliseconds` (-1: for ever) for a message to a window
// of this process; false on timeout. A sent message must be answered with
// ReplyToMessage before the next one is taken (the sender waits for it).
bool NextWindowMessage(WindowMessage* message, int timeoutMilliseconds);
void ReplyToMessage(const WindowMessage& message, win::LRESULT result);

// For inspection: the machine's windows with their titles and owners.
struct WindowSummary {
  win::HWND window = nullptr;
  std::wstring title;
  win::DWORD processId = 0;
};
std::vector<WindowSummary> ListWindows();

}  // namespace platform
