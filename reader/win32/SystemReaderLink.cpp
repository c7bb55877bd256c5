#include "reader/SystemReaderLink.h"

#include "reader/win32/Win32HidHost.h"

namespace rdrconf {

// Windows gives a program no hidraw-like news of HID interfaces and no
// keyboard side it could hold for itself: the window then follows the
// listing, and the test scan and watch say they cannot run.
SystemReaderLink::SystemReaderLink() : host_(std::make_unique<Win32HidHost>()) {}

SystemReaderLink::~SystemReaderLink() = default;

HotplugSource* SystemReaderLink::Hotplug() { return nullptr; }

KeyboardSource* SystemReaderLink::Keyboard() { return nullptr; }

}  // namespace rdrconf
