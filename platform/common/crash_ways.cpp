// The crashes that CrashIfInjected performs.
#include "platform/common/crash_ways.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "platform/crash_points.h"

namespace platform {
namespace {

__attribute__((noinline)) void WriteToInvalidAddress() {
  volatile unsigned long long address = kInvalidAccessAddress;
  *reinterpret_cast<volatile int*>(static_cast<std::uintptr_t>(address)) = 1;
}

// The point's name in the exception's message; the names are ASCII, and any
// other character shows as '?'.
[[noreturn]] __attribute__((noinline)) void ThrowInjected(const std::wstring& point) {
  std::string name;
  for (wchar_t c : point) name += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  throw std::runtime_error("crash injected at " + name);
}

// Thrown through a function that lets no exception out: the runtime ends
// the process there, whatever handlers the callers have.
__attribute__((noinline)) void ThrowUncaught(const std::wstring& point) noexcept { ThrowInjected(point); }

// GCC would otherwise turn the call below into a direct one (clang keeps
// it virtual behind the volatile pointer and knows no such option).
#if defined(__GNUC__) && !defined(__clang__)
#define BVL_NO_DEVIRTUALIZE , optimize("no-devirtualize", "no-devirtualize-speculatively")
#else
#define BVL_NO_DEVIRTUALIZE
#endif

// A base class whose constructor calls a function that only the derived
// class defines: during construction the object is still a base object.
struct Shape {
  Shape() { Describe(); }
  virtual ~Shape() = default;
  // Through a pointer the compiler cannot see through, so that the call goes
  // through the object's table of virtual functions as it does at run time.
  __attribute__((noinline BVL_NO_DEVIRTUALIZE)) void Describe() {
    Shape* volatile self = this;
    self->Area();
  }
  virtual double Area() = 0;
};
struct Square : Shape {
  double Area() override { return 1.0; }
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

}  // namespace

void CrashInWay(win::DWORD way, const std::wstring& point) {
  switch (way) {
    case crash_way::kUncaughtException:
      ThrowUncaught(point);
      break;
    case crash_way::kAbort:
      std::abort();
    case crash_way::kPureVirtualCall: {
      Square square;
      (void)square;
      break;
    }
    case crash_way::kInvalidParameter:
      ReportInvalidParameter();
      break;
    case crash_way::kStackOverflow: {
      volatile int sink = Recurse(0);
      (void)sink;
      break;
    }
    default:
      WriteToInvalidAddress();
      break;
  }
  std::abort();  // not reached: every way ends the process
}

}  // namespace platform
