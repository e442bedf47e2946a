// Top-level windows on the real system: a window of another process found by
// its title, answering a sent message and closed by a posted one; and a
// window of this process whose messages are taken and answered by the
// program, the way the agent's stand-in does it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/process.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"
#include "windows/platform/child_program.h"

#include "platform/windows/windows_api.h"

namespace {

TEST(TopLevelWindowTest, WindowOfAnotherProcessIsFoundAnsweredAndClosed) {
  const std::wstring title = windows_tests::UniqueName(L"BvlTestWindow");
  const win::DWORD child =
      platform::StartProcess(windows_tests::ChildProgram(), windows_tests::ChildCommand(L"window " + title));
  ASSERT_NE(child, 0u);
  win::HWND window = nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!(window = win::FindWindowW(nullptr, title.c_str())) && std::chrono::steady_clock::now() < deadline) {
    win::Sleep(50);
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(win::SendMessageW(window, WM_USER + 70, 0, 0), 71);
  const auto windows = platform::ListWindows();
  auto listed = std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w.window == window; });
  ASSERT_NE(listed, windows.end());
  EXPECT_EQ(listed->title, title);
  EXPECT_EQ(listed->processId, child);

  EXPECT_TRUE(win::PostMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(platform::WaitForProcess(child, 30000), std::optional<win::DWORD>(0));
  EXPECT_FALSE(win::IsWindow(window));
  EXPECT_FALSE(win::PostMessageW(window, WM_USER, 0, 0));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(TopLevelWindowTest, OwnWindowHandsUpPostedAndSentMessagesAndReleasesSendersWhenDestroyed) {
  win::HWND window = platform::CreateTopLevelWindow(windows_tests::UniqueName(L"BvlOwnWindow"));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(win::PostMessageW(window, WM_USER + 1, 5, 6));
  platform::WindowMessage message;
  ASSERT_TRUE(platform::NextWindowMessage(&message, 30000));
  EXPECT_FALSE(message.sent);
  EXPECT_EQ(message.window, window);
  EXPECT_EQ(message.message, static_cast<win::UINT>(WM_USER + 1));
  EXPECT_EQ(message.wParam, 5u);
  EXPECT_EQ(message.lParam, 6);

  win::LRESULT answered = -1;
  std::thread sender([&] { answered = win::SendMessageW(window, WM_USER + 2, 0, 0); });
  ASSERT_TRUE(platform::NextWindowMessage(&message, 30000));
  EXPECT_TRUE(message.sent);
  EXPECT_EQ(message.message, static_cast<win::UINT>(WM_USER + 2));
  platform::ReplyToMessage(message, 77);
  sender.join();
  EXPECT_EQ(answered, 77);

  // A message taken and never answered: the sender gets 0 when the window goes.
  std::thread unanswered([&] { answered = win::SendMessageW(window, WM_USER + 3, 0, 0); });
  ASSERT_TRUE(platform::NextWindowMessage(&message, 30000));
  EXPECT_TRUE(platform::DestroyTopLevelWindow(window));
  unanswered.join();
  EXPECT_EQ(answered, 0);
  EXPECT_FALSE(win::IsWindow(window));
  EXPECT_FALSE(platform::DestroyTopLevelWindow(window));
  EXPECT_FALSE(platform::NextWindowMessage(&message, 0));
}

}  // namespace
