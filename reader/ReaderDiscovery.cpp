#include "reader/ReaderDiscovery.h"

#include <utility>

namespace rdrconf {

ReaderHandle::ReaderHandle(HidHost& host, HidDeviceToken device) noexcept
    : host_(&host), device_(device) {}

ReaderHandle ReaderHandle::Invalid() noexcept {
  ReaderHandle handle;
  handle.device_ = kInvalidValue;
  return handle;
}

ReaderHandle::~ReaderHandle() { Close(); }

ReaderHandle::ReaderHandle(ReaderHandle&& other) noexcept
    : host_(std::exchange(other.host_, nullptr)), device_(std::exchange(other.device_, 0)) {}

ReaderHandle& ReaderHandle::operator=(ReaderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    host_ = std::exchange(other.host_, nullptr);
    device_ = std::exchange(other.device_, 0);
  }
  return *this;
}

void ReaderHandle::Close() noexcept {
  if (!IsOpen()) return;
  host_->Close(device_);
  host_ = nullptr;
  device_ = 0;
}

bool ReaderHandle::SetFeature(const FeatureReport& report) const {
  return IsOpen() && host_->SetFeature(device_, report);
}

bool ReaderHandle::GetFeature(FeatureReport& report) const {
  return IsOpen() && host_->GetFeature(device_, report);
}

ReaderHandle OpenReader() {
  HidHost& host = CurrentHidHost();
  const auto interfaces = host.ListInterfaces();
  if (!interfaces) return ReaderHandle::Invalid();
  for (const HidInterfaceInfo& info : *interfaces) {
    if (info.vendorId != kReaderVendorId || info.productId != kReaderProductId) continue;
    if (const HidDeviceToken device = host.Open(info.path); device != 0) {
      return ReaderHandle(host, device);
    }
  }
  return ReaderHandle::Invalid();
}

}  // namespace rdrconf
