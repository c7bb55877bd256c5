#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rdrconf {

// A feature report on the wire: the report id (always 0 here) followed by
// the 8 bytes of one frame.
inline constexpr std::size_t kFeatureReportSize = 9;
using FeatureReport = std::array<std::uint8_t, kFeatureReportSize>;

// One HID interface as the host lists it.
struct HidInterfaceInfo {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

// Names one opened interface of a host. 0 never names an open interface.
using HidDeviceToken = std::uintptr_t;

// The little the reader link needs from a HID layer. The real one sits on
// hidapi; tests put an in-memory host in its place.
class HidHost {
 public:
  virtual ~HidHost() = default;

  // The interfaces present now, in the host's listing order; std::nullopt
  // when the listing itself fails.
  virtual std::optional<std::vector<HidInterfaceInfo>> ListInterfaces() = 0;
  // Opens an interface by path; 0 when it cannot be opened.
  virtual HidDeviceToken Open(const std::string& path) = 0;
  // Sets one feature report; report[0] is the report id.
  virtual bool SetFeature(HidDeviceToken device, const FeatureReport& report) = 0;
  // Gets one feature report; report[0] names the report id wanted and the
  // rest is filled in on success.
  virtual bool GetFeature(HidDeviceToken device, FeatureReport& report) = 0;
  virtual void Close(HidDeviceToken device) = 0;
};

// The process-wide host that OpenReader searches: hidapi unless replaced.
HidHost& CurrentHidHost();

// Replaces the process-wide host (nullptr puts hidapi back) and returns the
// host that was replaced, nullptr when that was the hidapi default.
HidHost* SetCurrentHidHost(HidHost* host);

// Puts a host in place for the lifetime of the object, then restores the
// previous one.
class ScopedHidHost {
 public:
  explicit ScopedHidHost(HidHost& host) : previous_(SetCurrentHidHost(&host)) {}
  ~ScopedHidHost() { SetCurrentHidHost(previous_); }
  ScopedHidHost(const ScopedHidHost&) = delete;
  ScopedHidHost& operator=(const ScopedHidHost&) = delete;

 private:
  HidHost* previous_;
};

}  // namespace rdrconf
