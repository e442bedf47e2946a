// bvlmqtt.exe's stand-in: the agent's MQTT client, which runs until its stop
// event "Global\BVL_STOP_MQTT_EVENT" is set.
#include "platform/files.h"
#include "platform/sync.h"
#include "stand_in_support.h"

int main() {
  win::HANDLE stop = win::CreateEventW(nullptr, win::TRUE, win::FALSE, L"Global\\BVL_STOP_MQTT_EVENT");
  if (!stop) return 1;
  stand_in::Log("bvlmqtt", L"MQTT client running");
  const bool stopped = stand_in::WaitWhileMachineExists(stop);
  if (stopped) stand_in::Log("bvlmqtt", L"MQTT client stopped");
  win::CloseHandle(stop);
  return 0;
}
