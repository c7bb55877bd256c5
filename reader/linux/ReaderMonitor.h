#pragma once

#include <vector>

#include "reader/Hotplug.h"

struct udev;
struct udev_monitor;

namespace rdrconf {

// HotplugSource from udev's events for the hidraw subsystem: no polling,
// nothing opened, nothing sent.
class ReaderMonitor final : public HotplugSource {
 public:
  ReaderMonitor();
  ~ReaderMonitor() override;
  ReaderMonitor(const ReaderMonitor&) = delete;
  ReaderMonitor& operator=(const ReaderMonitor&) = delete;

  // False when udev's events cannot be had (no udev, in a container); the
  // caller then learns of changes only when it lists the readers anew.
  bool IsWatching() const { return monitor_ != nullptr; }
  int Descriptor() const override;
  std::vector<HotplugEvent> TakeEvents() override;

 private:
  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
};

}  // namespace rdrconf
