#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace rdrconf {

// A feature report on the wire: the report id (always 0 here) followed by
// the 8 bytes of one frame.
inline constexpr std::size_t kFeatureReportSize = 9;
using FeatureReport = std::array<std::uint8_t, kFeatureReportSize>;

// One HID interface as the host lists it. All of it comes from the listing:
// nothing is opened to learn it.
struct HidInterfaceInfo {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string serialNumber;
  std::string manufacturer;
  std::string product;
  std::string usbPort;  // bus and port path of the USB device, "1-1.4"; empty off USB
  int interfaceNumber = -1;
};

// Why a request of the host failed, as the system said it: its error number
// (0 when it gave none) and its text.
using HidError = platform::SystemError;

// Names one opened interface of a host. 0 never names an open interface.
using HidDeviceToken = std::uintptr_t;

// The little the reader link needs from a HID layer. The real one sits on
// hidapi; tests put an in-memory host in its place. Every request that can
// fail says why in `error`.
class HidHost {
 public:
  virtual ~HidHost() = default;

  // The interfaces present now, in the host's listing order; std::nullopt
  // when the listing itself fails.
  virtual std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError& error) = 0;
  // Whether this user may open the interface, judged from its permissions
  // alone: nothing is opened and nothing is sent.
  virtual bool MayOpen(const std::string& path) = 0;
  // Whether another program holds the interface for an exchange right now
  // (see Open), judged without opening it.
  virtual bool HeldByAnotherProgram(const std::string& path) = 0;
  // Opens an interface for one exchange and keeps it to this program until
  // Close: another program that opens it meanwhile fails with EWOULDBLOCK,
  // so that the frames of two programs never interleave. 0 when the
  // interface cannot be opened.
  virtual HidDeviceToken Open(const std::string& path, HidError& error) = 0;
  // Sets one feature report; report[0] is the report id.
  virtual bool SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) = 0;
  // Gets one feature report; report[0] names the report id wanted. Gives
  // the number of bytes the device delivered, report id included, or -1.
  virtual int GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) = 0;
  virtual void Close(HidDeviceToken device) = 0;
};

}  // namespace rdrconf
