// kvdump::ExceptionHandler: the in-process exception handler. It takes the
// process's unhandled exceptions and pure virtual calls, and on its own
// handler thread asks the filter, writes the minidump into the dump folder
// under a new GUID name and calls the minidump callback, while the thread
// that crashed waits. One crash is handled per process; a thread that faults
// meanwhile waits, and a fault of the handler thread itself ends the process
// at once.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "crash/minidump_format.h"
#include "platform/exception_dispatch.h"
#include "platform/threads.h"

namespace kvdump {

class ExceptionHandler {
 public:
  // Asked on the handler thread before a dump is written; false: no dump.
  using FilterCallback = bool (*)(void* context, win::EXCEPTION_POINTERS* exception,
                                  minidump::AssertionInfo* assertion);
  // Called after the dump was written (or failed, `succeeded` false).
  using MinidumpCallback = std::function<bool(const wchar_t* dumpPath, const wchar_t* minidumpId, void* context,
                                              win::EXCEPTION_POINTERS* exception, minidump::AssertionInfo* assertion,
                                              bool succeeded)>;

  enum HandlerType {
    HANDLER_NONE = 0,
    HANDLER_EXCEPTION = 1 << 0,
    HANDLER_INVALID_PARAMETER = 1 << 1,
    HANDLER_PURECALL = 1 << 2,
    HANDLER_ALL = HANDLER_EXCEPTION | HANDLER_INVALID_PARAMETER | HANDLER_PURECALL,
  };

  // The stack of the handler thread.
  static constexpr std::size_t kHandlerThreadStackBytes = 64 * 1024;
  // How long the crashed thread waits for the dump and its callback (the
  // upload among them) before the process ends anyway.
  static constexpr long long kHandlingLimitMilliseconds = 150 * 1000;

  // `dumpPath` is a Windows folder. `pipeName` names an out-of-process crash
  // server; this platform has none, so dumps are always written in process.
  ExceptionHandler(const std::wstring& dumpPath, FilterCallback filter, MinidumpCallback callback,
                   void* callbackContext, int handlerTypes, std::uint64_t dumpType, const wchar_t* pipeName,
                   const void* customInfo);
  // Restores the handlers that were in place before and ends the handler thread.
  ~ExceptionHandler();
  ExceptionHandler(const ExceptionHandler&) = delete;
  ExceptionHandler& operator=(const ExceptionHandler&) = delete;

  // The dump file of a dump id in `folder`: the id with ".dmp".
  static std::wstring DumpFilePath(const std::wstring& folder, const std::wstring& minidumpId);
  // A new dump id: a random GUID, lowercase, in the form
  // "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x".
  static std::wstring NewMinidumpId();

 private:
  static win::LONG HandleException(win::EXCEPTION_POINTERS* exception);
  static void HandlePureVirtualCall();
  static void HandleInvalidParameter(const wchar_t* expression, const wchar_t* function, const wchar_t* file,
                                     unsigned int line, std::uintptr_t reserved);
  // Reports a runtime's assertion (a pure virtual call, an invalid
  // parameter) as an exception `code` of the calling thread whose parameters
  // are the assertion's expression, file, line and, with four, function; then
  // ends the process as abort() does.
  [[noreturn]] static void ReportAssertion(minidump::AssertionInfo* assertion, win::DWORD code,
                                           win::DWORD parameters);
  // Runs on the crashed thread: hands the crash to the handler thread and
  // waits. False when this thread must not be handled (see the class).
  bool WriteMinidumpOnHandlerThread(win::EXCEPTION_POINTERS* exception, minidump::AssertionInfo* assertion);
  void HandlerThreadLoop();
  bool WriteMinidumpWithException(win::DWORD requestingThread, win::EXCEPTION_POINTERS* exception,
                                  minidump::AssertionInfo* assertion);

  std::wstring m_dumpPath;
  FilterCallback m_filter;
  MinidumpCallback m_callback;
  void* m_callbackContext;
  int m_handlerTypes;

  win::LPTOP_LEVEL_EXCEPTION_FILTER m_previousFilter = nullptr;
  win::_purecall_handler m_previousPurecall = nullptr;
  win::_invalid_parameter_handler m_previousInvalidParameter = nullptr;

  platform::Semaphore m_start;
  platform::Semaphore m_finish;
  std::atomic<bool> m_quit{false};
  std::atomic<win::DWORD> m_busyThread{0};  // the thread whose crash is being handled
  win::DWORD m_requestingThread = 0;
  win::EXCEPTION_POINTERS* m_exception = nullptr;
  minidump::AssertionInfo* m_assertion = nullptr;
  bool m_result = false;
  std::unique_ptr<platform::Thread> m_thread;
};

}  // namespace kvdump
