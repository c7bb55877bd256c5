#pragma once

#include "dialogs/MessageBox.h"
#include "reader/CardReader.h"
#include "reader/SystemReaderLink.h"

namespace rdrconf {

// The application object: owns the way to the reader and the message box
// that the windows are given, and holds the start-up step, which runs the
// settings window modally. The process ends when that window has closed.
// Where the system gives no hot-plug news (Windows), the window follows the
// listing; where it gives no keyboard side, there is no test scan.
class CRDRCONFApp {
 public:
  CRDRCONFApp();
  CRDRCONFApp(const CRDRCONFApp&) = delete;
  CRDRCONFApp& operator=(const CRDRCONFApp&) = delete;

  // Prepares the window services, runs the settings window and returns
  // false once it has ended: there is no event loop after it.
  bool InitInstance();

 private:
  SystemReaderLink link_;
  CardReader reader_;
  SystemMessageBox messageBoxes_;
};

// Application-wide settings of the toolkit: name, version. Called before
// the toolkit's application object exists.
void PrepareApplication();

// What every window relies on once the toolkit's application object
// exists: on Qt the window font's metric-compatible fallback and the
// application icon; on Win32 the common controls.
void PrepareWindows();

}  // namespace rdrconf
