#pragma once

#include "reader/HidHost.h"

struct udev;

namespace rdrconf {

// HidHost over hidapi's hidraw backend, listing the interfaces through
// libudev (the nodes, their ids, names and USB ports). An opened interface is held with an
// exclusive advisory lock on its device node (flock) until it is closed, so
// that a second program gets EWOULDBLOCK instead of sending its frames
// between ours.
class HidApiHost final : public HidHost {
 public:
  HidApiHost();
  ~HidApiHost() override;
  HidApiHost(const HidApiHost&) = delete;
  HidApiHost& operator=(const HidApiHost&) = delete;

  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError& error) override;
  bool MayOpen(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override;
  HidDeviceToken Open(const std::string& path, HidError& error) override;
  bool SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) override;
  int GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) override;
  void Close(HidDeviceToken device) override;

 private:
  bool initialised_ = false;
  struct udev* udev_ = nullptr;
};

}  // namespace rdrconf
