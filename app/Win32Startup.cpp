// Start-up on Win32: what the window services need before the first window.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/Application.h"

namespace rdrconf {

// The program's name and version are in its version record (rdrconf.rc);
// its manifest asks for the version-6 common controls, for the rights of
// the user who starts it and declares it DPI-aware.
void PrepareApplication() {}

void PrepareWindows() {
  // Every class of the common controls, as the tool always registered them
  // (only the drop-down lists, buttons and labels are used).
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = 0xFF;
  InitCommonControlsEx(&controls);
}

}  // namespace rdrconf
