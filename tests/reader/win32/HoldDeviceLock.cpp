// A second program for the tests of the Windows HID host: takes the lock of
// one device path as an exchange of ours does, says so, and holds it until
// it is told to let go (or is ended, which lets go as well).
//   hold_device_lock <device path> <ready event> <release event>
#include <windows.h>

#include <cstdio>
#include <optional>

#include "reader/win32/Win32HidHost.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hold_device_lock <device path> <ready event> <release event>\n");
    return 2;
  }
  const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (ready == nullptr || release == nullptr) {
    std::fprintf(stderr, "hold_device_lock: cannot open the events (Windows error %lu)\n", GetLastError());
    return 3;
  }
  rdrconf::HidError error;
  std::optional<rdrconf::DeviceLock> lock = rdrconf::DeviceLock::Take(argv[1], error);
  if (!lock) {
    std::fprintf(stderr, "hold_device_lock: %s\n", error.text.c_str());
    return 4;
  }
  SetEvent(ready);
  WaitForSingleObject(release, INFINITE);
  return 0;
}
