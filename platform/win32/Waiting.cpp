#include "platform/Waiting.h"

#include <windows.h>

// Windows gives the command line neither a keyboard side nor news of
// readers plugged in, so nothing waits on a descriptor there.
namespace rdrconf::platform {

WaitResult WaitReadable(int, int, int) { return WaitResult::kGone; }

bool Pause(int, int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
  return true;
}

bool StopRequested(int) { return false; }

int PrepareCommandLineProcess() {
  // What the command line prints is UTF-8 (serial numbers, paths, the
  // record's texts).
  SetConsoleOutputCP(CP_UTF8);
  return -1;
}

}  // namespace rdrconf::platform
