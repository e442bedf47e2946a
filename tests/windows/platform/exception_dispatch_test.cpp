// Structured exceptions and crash points of the Windows program: every way a
// crash point crashes reaches the unhandled-exception filter with the
// exception's record and the thread's x86 registers, and the process then
// ends with the exception's code. Each crash happens in a child process (this
// program run again, crashing while it starts).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/crash_points.h"
#include "platform/exception_dispatch.h"
#include "windows/platform/child_process.h"

namespace {

// ---- The child: with BVL_CRASH_REPORT naming a file, the filter and the
// pure virtual call handler are installed and the crash point
// "ExceptionTest" is passed while the program starts (BVL_CRASH_POINT arms it).

testing_windows::ReportFile* g_report = nullptr;

void Report(const char* line) { g_report->Write(line); }

// After a stack overflow the filter runs on what is left of the thread's
// stack: it formats into a static buffer by hand and writes with the
// system's calls alone.
char g_line[512];
std::size_t g_length = 0;

void Append(const char* text) {
  while (*text && g_length + 1 < sizeof g_line) g_line[g_length++] = *text++;
  g_line[g_length] = '\0';
}

void AppendHex(std::uint64_t value) {
  char digits[17];
  int count = 0;
  do {
    digits[count++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0);
  while (count > 0 && g_length + 1 < sizeof g_line) g_line[g_length++] = digits[--count];
  Append(" ");
}

win::LONG ReportingFilter(win::EXCEPTION_POINTERS* exception) {
  const win::EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  const win::CONTEXT& context = *exception->ContextRecord;
  g_length = 0;
  Append("code ");
  AppendHex(record.ExceptionCode);
  Append("address ");
  AppendHex(record.ExceptionAddress);
  Append("ip ");
  AppendHex(platform::ContextInstructionPointer(context));
  Append("sp ");
  AppendHex(platform::ContextStackPointer(context));
  Append("flags ");
  AppendHex(context.ContextFlags);
  Append("parameters ");
  AppendHex(record.NumberParameters);
  AppendHex(record.ExceptionInformation[0]);
  AppendHex(record.ExceptionInformation[1]);
  Append("thread ");
  AppendHex(win::GetCurrentThreadId());
  Append("\n");
  Report(g_line);
  return win::EXCEPTION_EXECUTE_HANDLER;
}

void ReportingPurecallHandler() { Report("purecall\n"); }

[[maybe_unused]] const bool g_crashChild = [] {
  const char* path = std::getenv("BVL_CRASH_REPORT");
  if (path == nullptr) return false;
  static testing_windows::ReportFile report(path);
  g_report = &report;
  char line[64];
  std::snprintf(line, sizeof line, "main %lx\n", static_cast<unsigned long>(win::GetCurrentThreadId()));
  Report(line);
  win::SetUnhandledExceptionFilter(ReportingFilter);
  win::_set_purecall_handler(ReportingPurecallHandler);
  platform::CrashIfInjected(L"ExceptionTest");
  Report("not crashed\n");
  return true;
}();

// ---- The parent.

struct Crash {
  long exitCode = 0;
  std::string report;
  unsigned long mainThread = 0;
  unsigned long code = 0, flags = 0, parameters = 0, thread = 0;
  unsigned long long address = 0, ip = 0, sp = 0, p0 = 0, p1 = 0;
};

Crash RunCrashChild(const std::wstring& arming) {
  const std::string report = "crash-report-" + std::to_string(std::rand()) + ".txt";
  std::remove(report.c_str());
  Crash crash;
  crash.exitCode = testing_windows::RunThisProgram(
      {{L"BVL_CRASH_REPORT", std::wstring(report.begin(), report.end())}, {L"BVL_CRASH_POINT", arming}});
  std::ifstream in(report);
  std::stringstream text;
  text << in.rdbuf();
  crash.report = text.str();
  in.close();
  std::remove(report.c_str());
  std::sscanf(crash.report.c_str(), "main %lx", &crash.mainThread);
  const std::size_t at = crash.report.find("code ");
  if (at != std::string::npos) {
    std::sscanf(crash.report.c_str() + at, "code %lx address %llx ip %llx sp %llx flags %lx parameters %lx %llx %llx thread %lx",
                &crash.code, &crash.address, &crash.ip, &crash.sp, &crash.flags, &crash.parameters, &crash.p0,
                &crash.p1, &crash.thread);
  }
  return crash;
}

TEST(ExceptionDispatch, AnInvalidAccessReachesTheFilterWithTheFaultsRecordAndRegisters) {
  const Crash crash = RunCrashChild(L"ExceptionTest");  // no way named: an invalid access
  ASSERT_NE(crash.code, 0u) << crash.report;
  EXPECT_EQ(crash.code, platform::crash_way::kInvalidAccess);
  EXPECT_EQ(crash.parameters, 2u);
  EXPECT_EQ(crash.p0, 1u);  // a write
  EXPECT_EQ(crash.p1, platform::kInvalidAccessAddress);
  // The context is the faulting thread's, at the faulting instruction.
  EXPECT_EQ(crash.ip, crash.address);
  EXPECT_NE(crash.sp, 0u);
  EXPECT_EQ(crash.flags & platform::kContextProcessorFlag, platform::kContextProcessorFlag);
  EXPECT_EQ(crash.thread, crash.mainThread);
  EXPECT_EQ(static_cast<unsigned long>(crash.exitCode), crash.code);
}

struct WayRow {
  const char* name;
  win::DWORD way;
  win::DWORD code;  // what the filter sees
};

class CrashWays : public ::testing::TestWithParam<WayRow> {};

TEST_P(CrashWays, ReachTheFilterAndEndTheProcess) {
  const WayRow& row = GetParam();
  if (row.way == platform::crash_way::kStackOverflow && sizeof(void*) == 8 && testing_windows::RunningUnderWine()) {
    // Wine finds no room below a 64-bit thread's guard page to place the
    // overflow's exception and ends the process with exit code 0 instead;
    // Windows dispatches it. The 32-bit program's row and the simulated
    // machine's crash tests show the overflow reaching the filter.
    GTEST_SKIP() << "Wine cannot dispatch a 64-bit program's stack overflow";
  }
  const Crash crash = RunCrashChild(L"exceptiontest:" + std::to_wstring(row.way));
  EXPECT_EQ(crash.code, row.code) << crash.report;
  EXPECT_EQ(crash.report.find("not crashed"), std::string::npos) << crash.report;
  EXPECT_NE(crash.exitCode, 0);
  if (row.way == platform::crash_way::kUncaughtException) {
    EXPECT_EQ(crash.p0, 0x19930520u);  // the C++ runtime's magic number
  }
  if (row.way == platform::crash_way::kPureVirtualCall) {
    EXPECT_EQ(crash.report.find("purecall"), crash.report.find('\n') + 1) << "the handler first";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CrashWays,
    ::testing::Values(WayRow{"UncaughtException", platform::crash_way::kUncaughtException, win::EXCEPTION_CPP},
                      WayRow{"Abort", platform::crash_way::kAbort, win::STATUS_FATAL_APP_EXIT},
                      // The handler returns, so the call ends the process by abort().
                      WayRow{"PureVirtualCall", platform::crash_way::kPureVirtualCall, win::STATUS_FATAL_APP_EXIT},
                      WayRow{"StackOverflow", platform::crash_way::kStackOverflow, win::EXCEPTION_STACK_OVERFLOW}),
    [](const ::testing::TestParamInfo<WayRow>& info) { return std::string(info.param.name); });

TEST(ExceptionDispatch, APointThatIsNotArmedReturns) {
  const Crash crash = RunCrashChild(L"SomewhereElse");
  EXPECT_EQ(crash.exitCode, 0);
  EXPECT_NE(crash.report.find("not crashed"), std::string::npos) << crash.report;
  EXPECT_EQ(crash.report.find("code "), std::string::npos) << crash.report;
}

// A call that stays a call (no jump in its place), so that the capture's
// caller is this function.
__attribute__((noinline, optimize("no-optimize-sibling-calls"))) void Capture(win::CONTEXT* context) {
  win::RtlCaptureContext(context);
}

TEST(ExceptionDispatch, CapturedRegistersAreTheCallersOwn) {
  win::CONTEXT context{};
  volatile int local = 0;
  Capture(&context);
  EXPECT_EQ(context.ContextFlags & platform::kContextProcessorFlag, platform::kContextProcessorFlag);
  const std::uint64_t sp = platform::ContextStackPointer(context);
  const auto here = reinterpret_cast<std::uintptr_t>(&local);
  EXPECT_LT(sp, here);
  EXPECT_GT(sp + 4096, here);
  // The instruction pointer lies just after the call (x86) or in the
  // capturing code itself (x64).
  const std::uint64_t ip = platform::ContextInstructionPointer(context);
  const auto caller = reinterpret_cast<std::uintptr_t>(&Capture);
  const auto capture = reinterpret_cast<std::uintptr_t>(&win::RtlCaptureContext);
  EXPECT_TRUE((ip > caller && ip < caller + 64) || (ip > capture && ip < capture + 256))
      << std::hex << ip << " is neither in the caller at " << caller << " nor in the capture at " << capture;
}

TEST(ExceptionDispatch, InstallingAFilterReturnsThePreviousOne) {
  EXPECT_EQ(win::SetUnhandledExceptionFilter(ReportingFilter), nullptr);
  EXPECT_EQ(win::SetUnhandledExceptionFilter(nullptr), ReportingFilter);
  EXPECT_EQ(win::_set_purecall_handler(ReportingPurecallHandler), nullptr);
  EXPECT_EQ(win::_set_purecall_handler(nullptr), ReportingPurecallHandler);
}

}  // namespace
