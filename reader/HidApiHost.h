#pragma once

#include "reader/HidHost.h"

namespace rdrconf {

// HidHost over hidapi's hidraw backend.
class HidApiHost final : public HidHost {
 public:
  HidApiHost();
  ~HidApiHost() override;
  HidApiHost(const HidApiHost&) = delete;
  HidApiHost& operator=(const HidApiHost&) = delete;

  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces() override;
  HidDeviceToken Open(const std::string& path) override;
  bool SetFeature(HidDeviceToken device, const FeatureReport& report) override;
  bool GetFeature(HidDeviceToken device, FeatureReport& report) override;
  void Close(HidDeviceToken device) override;

 private:
  bool initialised_ = false;
};

}  // namespace rdrconf
