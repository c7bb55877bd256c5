#pragma once

#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace rdrconf {

// A HID interface appearing or going: what udev tells of a hidraw node.
struct HotplugEvent {
  enum class Action { kAdded, kRemoved, kOther } action = Action::kOther;
  std::string path;  // the node, "/dev/hidraw3"
};

// News of HID interfaces coming and going. A caller waits until
// Descriptor() is readable (in its event loop) and then takes the events.
class HotplugSource {
 public:
  virtual ~HotplugSource() = default;
  // Readable while events wait; -1 when there is no news to be had.
  virtual int Descriptor() const = 0;
  // The events that arrived since the last call, in order; never blocks.
  virtual std::vector<HotplugEvent> TakeEvents() = 0;
};

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
