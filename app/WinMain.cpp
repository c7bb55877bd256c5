#include <windows.h>

#include "app/Application.h"

// The tool reads no command line; the process ends when the settings
// window has closed.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  rdrconf::PrepareApplication();
  rdrconf::CRDRCONFApp app;
  app.InitInstance();
  return 0;
}
