#include "app/Application.h"

#include <cstdlib>

#include "ui/SettingsWindow.h"

namespace rdrconf {

#ifdef _WIN32
CRDRCONFApp::CRDRCONFApp() : reader_(host_) {}
#else
CRDRCONFApp::CRDRCONFApp() : reader_(host_, &monitor_, &keyboard_) {}
#endif

bool CRDRCONFApp::InitInstance() {
  PrepareWindows();

  CRDRCONFNormalDlg settingsWindow(reader_, messageBoxes_);
  // For start-up measurements and installation checks: the window ends as
  // soon as it has been shown, so a process's life time is its start-up.
  if (std::getenv("RDRCONF_QUIT_WHEN_SHOWN") != nullptr) settingsWindow.EndWhenShown();
  // However the window ends, the program ends with it.
  settingsWindow.DoModal();
  return false;
}

}  // namespace rdrconf
