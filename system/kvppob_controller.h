// The installer's side of the process-protection driver kvppob: its service
// entry with the minifilter instance values (DriverInstall, DriverDelete) and
// the controller that switches the driver's registry protection through its
// control device.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "system/pause.h"

// The device "\\.\kvppob", opened at construction and again before a request
// whenever it is not open; closed by the destructor.
class KvppobController {
 public:
  // Opens the device; logs "Cannot Open kvppob Driver" when it cannot.
  KvppobController();
  ~KvppobController();
  KvppobController(const KvppobController&) = delete;
  KvppobController& operator=(const KvppobController&) = delete;

  // True when the driver accepted the request; false when the device cannot
  // be opened (no log line) or the driver refused it (logged with the error).
  bool SetRegProtectON();
  bool SetRegProtectOFF();

  bool IsOpen() const { return m_device != win::INVALID_HANDLE_VALUE; }

 private:
  // The debug line of a refused request, built from the platform's error.
  using FailureLine = std::wstring (*)(win::DWORD error);

  bool Open();
  bool Send(win::DWORD controlCode, FailureLine failureLine);

  win::HANDLE m_device = win::INVALID_HANDLE_VALUE;
};

// Creates the driver's service "kvppob" (kernel driver, boot start), writes its
// minifilter instance values and starts it, waiting up to 20 s. True when the
// service entry was created, whether or not the driver then started. When the
// service exists already the failure is logged with its error (1073) as
// before, and what a half-done earlier installation may have left out is
// completed: the missing instance values are written and a stopped driver
// is started; the result is still false.
bool DriverInstall(const Pause& pause = RealPause());
// Stops the driver (waiting up to 20 s) and deletes its service entry. False
// only when the service control manager could not be opened.
bool DriverDelete(const Pause& pause = RealPause());
