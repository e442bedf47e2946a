// The exception handler and its handler thread.
#include "crash/exception_handler.h"

#include <cstdio>
#include <cstdlib>

#include "crash/dump_file.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/rpc_uuid.h"
#include "platform/sync.h"

namespace kvdump {
namespace {

// The armed handler: the process's filter and pure virtual call handler are
// plain functions, so they find it here.
std::atomic<ExceptionHandler*> g_current{nullptr};

// Ends the calling thread's part in a crash that another thread handles:
// the process ends when that handling is over.
[[noreturn]] void WaitForever() {
  while (true) {
    win::Sleep(win::INFINITE);
  }
}

}  // namespace

ExceptionHandler::ExceptionHandler(const std::wstring& dumpPath, FilterCallback filter, MinidumpCallback callback,
                                   void* callbackContext, int handlerTypes, std::uint64_t, const wchar_t*,
                                   const void*)
    : m_dumpPath(dumpPath),
      m_filter(filter),
      m_callback(std::move(callback)),
      m_callbackContext(callbackContext),
      m_handlerTypes(handlerTypes) {
  // The process's record is read now: at a crash the machine's process
  // table may be the very thing that is broken.
  win::GetCurrentProcessId();
  m_thread = platform::Thread::Start(kHandlerThreadStackBytes, [this] { HandlerThreadLoop(); });
  g_current = this;
  if (m_handlerTypes & HANDLER_EXCEPTION) m_previousFilter = win::SetUnhandledExceptionFilter(HandleException);
  if (m_handlerTypes & HANDLER_INVALID_PARAMETER) {
    m_previousInvalidParameter = win::_set_invalid_parameter_handler(HandleInvalidParameter);
  }
  if (m_handlerTypes & HANDLER_PURECALL) m_previousPurecall = win::_set_purecall_handler(HandlePureVirtualCall);
}

ExceptionHandler::~ExceptionHandler() {
  if (m_handlerTypes & HANDLER_PURECALL) win::_set_purecall_handler(m_previousPurecall);
  if (m_handlerTypes & HANDLER_INVALID_PARAMETER) win::_set_invalid_parameter_handler(m_previousInvalidParameter);
  if (m_handlerTypes & HANDLER_EXCEPTION) win::SetUnhandledExceptionFilter(m_previousFilter);
  ExceptionHandler* self = this;
  g_current.compare_exchange_strong(self, nullptr);
  if (m_thread) {
    m_quit = true;
    m_start.Post();
    m_thread.reset();
  }
}

std::wstring ExceptionHandler::DumpFilePath(const std::wstring& folder, const std::wstring& minidumpId) {
  std::wstring path = folder;
  win::PathAppendW(&path, minidumpId + L".dmp");
  return path;
}

std::wstring ExceptionHandler::NewMinidumpId() {
  win::GUID id;
  win::UuidCreate(&id);
  wchar_t text[40];
  std::swprintf(text, 40, L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", id.Data1, id.Data2, id.Data3,
                id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                id.Data4[7]);
  return text;
}

win::LONG ExceptionHandler::HandleException(win::EXCEPTION_POINTERS* exception) {
  ExceptionHandler* handler = g_current.load();
  if (handler == nullptr) return win::EXCEPTION_CONTINUE_SEARCH;
  return handler->WriteMinidumpOnHandlerThread(exception, nullptr) ? win::EXCEPTION_EXECUTE_HANDLER
                                                                   : win::EXCEPTION_CONTINUE_SEARCH;
}

void ExceptionHandler::HandlePureVirtualCall() {
  minidump::AssertionInfo assertion{};
  assertion.type = minidump::kAssertionPureVirtualCall;
  ReportAssertion(&assertion, win::STATUS_NONCONTINUABLE_EXCEPTION, 3);
}

void ExceptionHandler::HandleInvalidParameter(const wchar_t* expression, const wchar_t* function,
                                              const wchar_t* file, unsigned int line, std::uintptr_t) {
  minidump::AssertionInfo assertion{};
  assertion.type = minidump::kAssertionInvalidParameter;
  // The runtime's texts, cut to the record's fields (a release runtime gives none).
  const auto copy = [](const wchar_t* text, char16_t (&field)[128]) {
    for (std::size_t i = 0; text != nullptr && text[i] != L'\0' && i + 1 < 128; ++i) {
      field[i] = static_cast<char16_t>(text[i]);
    }
  };
  copy(expression, assertion.expression);
  copy(function, assertion.function);
  copy(file, assertion.file);
  assertion.line = line;
  ReportAssertion(&assertion, win::STATUS_INVALID_PARAMETER, 4);
}

void ExceptionHandler::ReportAssertion(minidump::AssertionInfo* assertion, win::DWORD code, win::DWORD parameters) {
  ExceptionHandler* handler = g_current.load();
  if (handler != nullptr) {
    // An exception record for the calling thread, so that the dump reads
    // like any other crash: the assertion's texts and line as its parameters.
    win::EXCEPTION_RECORD record;
    win::CONTEXT context;
    win::RtlCaptureContext(&context);
    record.ExceptionCode = code;
    record.ExceptionFlags = win::EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = platform::ContextInstructionPointer(context);
    record.NumberParameters = parameters;
    record.ExceptionInformation[0] = reinterpret_cast<win::ULONG_PTR>(&assertion->expression);
    record.ExceptionInformation[1] = reinterpret_cast<win::ULONG_PTR>(&assertion->file);
    record.ExceptionInformation[2] = assertion->line;
    if (parameters > 3) record.ExceptionInformation[3] = reinterpret_cast<win::ULONG_PTR>(&assertion->function);
    win::EXCEPTION_POINTERS pointers{&record, &context};
    handler->WriteMinidumpOnHandlerThread(&pointers, assertion);
  }
  // The report was made (or could not be); the process ends as a crash,
  // never with a success exit.
  std::abort();
}

bool ExceptionHandler::WriteMinidumpOnHandlerThread(win::EXCEPTION_POINTERS* exception,
                                                    minidump::AssertionInfo* assertion) {
  const win::DWORD self = win::GetCurrentThreadId();
  if (!m_thread || self == m_thread->Id()) return false;  // a fault while writing a dump
  win::DWORD idle = 0;
  if (!m_busyThread.compare_exchange_strong(idle, self)) {
    if (idle == self) return false;  // this thread faulted again while handing over
    WaitForever();
  }
  m_requestingThread = self;
  m_exception = exception;
  m_assertion = assertion;
  m_start.Post();
  m_finish.WaitFor(kHandlingLimitMilliseconds);
  return true;
}

void ExceptionHandler::HandlerThreadLoop() {
  while (true) {
    m_start.Wait();
    if (m_quit) return;
    m_result = WriteMinidumpWithException(m_requestingThread, m_exception, m_assertion);
    m_finish.Post();
  }
}

bool ExceptionHandler::WriteMinidumpWithException(win::DWORD requestingThread, win::EXCEPTION_POINTERS* exception,
                                                  minidump::AssertionInfo* assertion) {
  if (m_filter != nullptr && !m_filter(m_callbackContext, exception, assertion)) return false;
  const std::wstring id = NewMinidumpId();
  bool success = WriteDumpFile(DumpFilePath(m_dumpPath, id), requestingThread, exception, assertion);
  if (m_callback) {
    success = m_callback(m_dumpPath.c_str(), id.c_str(), m_callbackContext, exception, assertion, success);
  }
  return success;
}

}  // namespace kvdump
