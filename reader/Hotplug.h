#pragma once

#include <string>
#include <vector>

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

}  // namespace rdrconf
