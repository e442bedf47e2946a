// Top-level windows across processes: found by title, SendMessageW waits for
// the owner's answer, and a window goes when its program destroys it or ends.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"
#include "support/machine_programs.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

class TopLevelWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kProgram, "testwindow")); }

  // Starts the window program and waits until its window exists.
  DWORD StartWindowProgram(const std::wstring& title) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"Global\\WINDOW_READY");
    DWORD id = platform::StartProcess(kProgram, L"agent.exe \"" + title + L"\" Global\\WINDOW_READY");
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    CloseHandle(ready);
    return id;
  }

  static constexpr const wchar_t* kProgram = L"C:\\Program Files\\brimvale\\agent.exe";
  testing_support::ScopedMachine machine_;
};

TEST_F(TopLevelWindowTest, SendMessageReachesAWindowOfAnotherProcessAndWaitsForItsAnswer) {
  EXPECT_EQ(FindWindowW(nullptr, L"BrimvaleAgent.exe"), nullptr);
  DWORD program = StartWindowProgram(L"BrimvaleAgent.exe");
  HWND window = FindWindowW(nullptr, L"BrimvaleAgent.exe");
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(FindWindowW(nullptr, L"BrimvaleAgent"), nullptr) << "the whole title must match";
  EXPECT_EQ(FindWindowW(L"SomeClass", L"BrimvaleAgent.exe"), nullptr);
  auto windows = platform::ListWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].processId, program);
  EXPECT_EQ(SendMessageW(window, 0x401, 40, 2), 42);
  EXPECT_EQ(SendMessageW(window, 0x401, 7, -3), 4);
}

TEST_F(TopLevelWindowTest, CloseMessageEndsTheProgramAndItsWindow) {
  DWORD program = StartWindowProgram(L"BrimvaleAgent.exe");
  HWND window = FindWindowW(nullptr, L"BrimvaleAgent.exe");
  EXPECT_EQ(SendMessageW(window, WM_USER + 70, 0, 0), 0);
  // The window was destroyed before the answer reached us.
  EXPECT_EQ(FindWindowW(nullptr, L"BrimvaleAgent.exe"), nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(platform::WaitForProcess(program, 10000), 0u);
  EXPECT_EQ(SendMessageW(window, 0x401, 1, 1), 0) << "no window, no answer";
  EXPECT_FALSE(PostMessageW(window, 0x401, 1, 1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(TopLevelWindowTest, SenderIsReleasedWhenTheProgramEndsWithoutAnswering) {
  DWORD program = StartWindowProgram(L"BrimvaleAgent.exe");
  HWND window = FindWindowW(nullptr, L"BrimvaleAgent.exe");
  EXPECT_EQ(SendMessageW(window, 0x402, 5, 5), 0);
  EXPECT_EQ(platform::WaitForProcess(program, 10000), 4u);
  EXPECT_EQ(FindWindowW(nullptr, L"BrimvaleAgent.exe"), nullptr);
}

TEST_F(TopLevelWindowTest, WindowGoesWhenItsProgramIsTerminated) {
  DWORD program = StartWindowProgram(L"BrimvaleAgent.exe");
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, program);
  ASSERT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_EQ(FindWindowW(nullptr, L"BrimvaleAgent.exe"), nullptr);
  EXPECT_TRUE(platform::ListWindows().empty());
}

TEST_F(TopLevelWindowTest, PostedMessagesQueueAndSentOnesAreAnsweredWithinOneProcess) {
  HWND window = platform::CreateTopLevelWindow(L"Local window");
  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 1, 2));
  platform::WindowMessage message;
  ASSERT_TRUE(platform::NextWindowMessage(&message, 1000));
  EXPECT_FALSE(message.sent);
  EXPECT_EQ(message.message, WM_CLOSE);
  EXPECT_EQ(message.wParam, 1u);
  EXPECT_EQ(message.lParam, 2);
  EXPECT_FALSE(platform::NextWindowMessage(&message, 0)) << "a posted message is taken once";

  // Sent from another thread of this process: the answer comes back.
  LRESULT answer = 0;
  std::thread sender([&] { answer = SendMessageW(window, 0x401, 3, 4); });
  ASSERT_TRUE(platform::NextWindowMessage(&message, 10000));
  EXPECT_TRUE(message.sent);
  platform::ReplyToMessage(message, 77);
  sender.join();
  EXPECT_EQ(answer, 77);

  // A fault hides the window once; its owner destroys it once.
  platform::InjectFault({"FindWindow", L"Local window", ERROR_ACCESS_DENIED, 1});
  EXPECT_EQ(FindWindowW(nullptr, L"Local window"), nullptr);
  EXPECT_EQ(FindWindowW(nullptr, L"Local window"), window);
  EXPECT_TRUE(platform::DestroyTopLevelWindow(window));
  EXPECT_FALSE(platform::DestroyTopLevelWindow(window));
}

}  // namespace
