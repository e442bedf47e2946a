// Stopping a running agent before the rollback removes it: its service, its
// window process and its MQTT client are asked to stop, then ended.
#include "engine/engine_texts.h"
#include "engine/install_engine.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

const wchar_t* const kAgentWindowTitle = L"BrimvaleAgent.exe";
constexpr win::UINT kCloseAgentMessage = win::WM_USER + 70;  // 0x446
constexpr win::DWORD kWindowCloseWait = 1000;

// Sets the named stop event when some process holds it.
void SignalStopEvent(const wchar_t* name, const wchar_t* line) {
  win::HANDLE event = win::OpenEventW(win::EVENT_ALL_ACCESS, win::FALSE, name);
  if (!event) return;
  LogDebugLine(line);
  win::SetEvent(event);
  win::CloseHandle(event);
}

}  // namespace

win::BOOL InstallEngine::StopRunningAgent() {
  SignalStopEvent(L"Global\\BVL_STOP_SVC_EVENT", engine_texts::kServiceStopSignalled);
  kvutil::KVSystem::TerminateProcessesByName(L"bvlsvc.exe");

  if (win::HWND window = win::FindWindowW(nullptr, kAgentWindowTitle)) {
    win::SendMessageW(window, kCloseAgentMessage, 0, 0);
  }
  m_sleep(kWindowCloseWait);
  if (!win::FindWindowW(nullptr, kAgentWindowTitle)) kvutil::KVSystem::TerminateProcessesByName(L"BrimvaleAgent.exe");

  SignalStopEvent(L"Global\\BVL_STOP_MQTT_EVENT", engine_texts::kMqttStopSignalled);
  kvutil::KVSystem::TerminateProcessesByName(L"bvlmqtt.exe");
  return win::TRUE;
}
