// The OK button's start of the agent service (StartAgent of the service
// control), logged on failure by the service control itself.
#pragma once

bool StartAgentService();
