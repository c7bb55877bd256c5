#pragma once

#include <memory>

#include "reader/CardScan.h"
#include "reader/HidHost.h"
#include "reader/Hotplug.h"

namespace rdrconf {

// The way to this system's readers, as the window and the command line
// both use it: the HID host (hidapi's hidraw host on Linux, the HID class
// services on Windows) and, where the system has them, the news of readers
// plugged in and out (udev) and the reader's keyboard side (evdev), for
// the test scan. Windows has neither of the last two. Each back-end
// (reader/linux, reader/win32) defines how its parts are made; the news and
// the keyboard side are made at their first use, so that a command that
// needs neither pays for neither.
class SystemReaderLink {
 public:
  SystemReaderLink();
  ~SystemReaderLink();
  SystemReaderLink(const SystemReaderLink&) = delete;
  SystemReaderLink& operator=(const SystemReaderLink&) = delete;

  HidHost& Host() { return *host_; }
  // Null where the system has none.
  HotplugSource* Hotplug();
  KeyboardSource* Keyboard();

 private:
  std::unique_ptr<HidHost> host_;
  std::unique_ptr<HotplugSource> hotplug_;
  std::unique_ptr<KeyboardSource> keyboard_;
};

}  // namespace rdrconf
