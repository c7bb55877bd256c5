#include "reader/HidApiHost.h"

#include <hidapi.h>

namespace rdrconf {
namespace {

hid_device* AsDevice(HidDeviceToken device) { return reinterpret_cast<hid_device*>(device); }

}  // namespace

HidApiHost::HidApiHost() : initialised_(hid_init() == 0) {}

HidApiHost::~HidApiHost() {
  if (initialised_) hid_exit();
}

std::optional<std::vector<HidInterfaceInfo>> HidApiHost::ListInterfaces() {
  if (!initialised_) return std::nullopt;
  std::vector<HidInterfaceInfo> interfaces;
  // hidapi answers both "nothing present" and "listing failed" with an empty
  // list; either way there is no reader to find.
  hid_device_info* const first = hid_enumerate(0, 0);
  for (const hid_device_info* info = first; info != nullptr; info = info->next) {
    interfaces.push_back({info->path ? info->path : "", info->vendor_id, info->product_id});
  }
  hid_free_enumeration(first);
  return interfaces;
}

HidDeviceToken HidApiHost::Open(const std::string& path) {
  if (!initialised_) return 0;
  return reinterpret_cast<HidDeviceToken>(hid_open_path(path.c_str()));
}

bool HidApiHost::SetFeature(HidDeviceToken device, const FeatureReport& report) {
  return hid_send_feature_report(AsDevice(device), report.data(), report.size()) >= 0;
}

bool HidApiHost::GetFeature(HidDeviceToken device, FeatureReport& report) {
  return hid_get_feature_report(AsDevice(device), report.data(), report.size()) >= 0;
}

void HidApiHost::Close(HidDeviceToken device) { hid_close(AsDevice(device)); }

}  // namespace rdrconf
