#include "app/Application.h"

#include <cstdlib>

#include "ui/SettingsWindow.h"

namespace rdrconf {

CRDRCONFApp::CRDRCONFApp() : reader_(link_.Host(), link_.Hotplug(), link_.Keyboard()) {}

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
