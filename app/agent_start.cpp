// The agent service's start, through the service control when this build has
// it (system/service_control.h).
#include "app/agent_start.h"

#include "platform/debug_output.h"

#ifdef BVL_HAVE_SERVICE_CONTROL
#include "system/service_control.h"

bool StartAgentService() { return StartAgent(); }
#else
bool StartAgentService() {
  win::OutputDebugStringW(L"[brimvale] StartAgent Fail");
  return false;
}
#endif
