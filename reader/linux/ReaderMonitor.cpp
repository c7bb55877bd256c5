#include "reader/linux/ReaderMonitor.h"

#include <libudev.h>

#include <cstring>

namespace rdrconf {

ReaderMonitor::ReaderMonitor() : udev_(udev_new()) {
  if (udev_ == nullptr) return;
  // "udev" events come after udev's rules have run, so the node's access
  // rights are already those the rules give.
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ == nullptr) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
}

ReaderMonitor::~ReaderMonitor() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

int ReaderMonitor::Descriptor() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

std::vector<HotplugEvent> ReaderMonitor::TakeEvents() {
  std::vector<HotplugEvent> events;
  if (monitor_ == nullptr) return events;
  // The monitor's socket does not block: receiving ends when it is empty.
  while (udev_device* device = udev_monitor_receive_device(monitor_)) {
    HotplugEvent event;
    const char* action = udev_device_get_action(device);
    if (action != nullptr && std::strcmp(action, "add") == 0) event.action = HotplugEvent::Action::kAdded;
    if (action != nullptr && std::strcmp(action, "remove") == 0) event.action = HotplugEvent::Action::kRemoved;
    if (const char* node = udev_device_get_devnode(device)) event.path = node;
    events.push_back(std::move(event));
    udev_device_unref(device);
  }
  return events;
}

}  // namespace rdrconf
