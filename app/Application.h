#pragma once

namespace rdrconf {

// The application object: holds the start-up step, which runs the settings
// window modally. The process ends when that window has closed.
class CRDRCONFApp {
 public:
  CRDRCONFApp();
  CRDRCONFApp(const CRDRCONFApp&) = delete;
  CRDRCONFApp& operator=(const CRDRCONFApp&) = delete;

  // Prepares the window services, runs the settings window and returns
  // false once it has ended: there is no event loop after it.
  bool InitInstance();
};

// Application-wide settings of the toolkit: name, version, the window
// font's metric-compatible fallback. Called before the QApplication exists.
void PrepareApplication();

}  // namespace rdrconf
