// Crash points of the simulated machine: armed by an injected fault of
// operation "Crash" whose error is the way to crash.
#include "platform/crash_points.h"

#include <string>

#include "platform/common/crash_ways.h"
#include "platform/sim/machine/faults.h"

namespace platform {

void CrashIfInjected(const wchar_t* point) {
  const std::wstring name = point;
  if (!ShouldFail("Crash", name)) return;
  CrashInWay(win::GetLastError(), name);
}

}  // namespace platform
