#pragma once

#include <cstdint>

#include "reader/HidHost.h"

namespace rdrconf {

inline constexpr std::uint16_t kReaderVendorId = 0x1D57;
inline constexpr std::uint16_t kReaderProductId = 0xAC08;

// An opened interface of the reader, owned by whoever received it: it is
// closed by Close() or when the handle goes out of scope, whichever comes
// first. Besides an open interface a handle can hold two values that name
// none: the invalid handle (all bits set; "no reader available", what
// OpenReader gives when it finds nothing) and the null handle (0), which
// every frame operation refuses without a request.
class ReaderHandle {
 public:
  static constexpr HidDeviceToken kInvalidValue = ~HidDeviceToken{0};

  ReaderHandle() noexcept = default;  // the null handle
  ReaderHandle(HidHost& host, HidDeviceToken device) noexcept;
  static ReaderHandle Invalid() noexcept;

  ~ReaderHandle();
  ReaderHandle(ReaderHandle&& other) noexcept;
  ReaderHandle& operator=(ReaderHandle&& other) noexcept;
  ReaderHandle(const ReaderHandle&) = delete;
  ReaderHandle& operator=(const ReaderHandle&) = delete;

  bool IsNull() const noexcept { return device_ == 0; }
  bool IsInvalid() const noexcept { return device_ == kInvalidValue; }
  bool IsOpen() const noexcept { return !IsNull() && !IsInvalid(); }

  // Closes an open interface; the handle becomes null. Does nothing on a
  // null or invalid handle.
  void Close() noexcept;

  // Frame transfer reaches the interface through these; both only on an
  // open handle.
  bool SetFeature(const FeatureReport& report) const;
  bool GetFeature(FeatureReport& report) const;

 private:
  HidHost* host_ = nullptr;
  HidDeviceToken device_ = 0;
};

// Searches the current host's HID interfaces, in listing order, for the
// first one that carries the reader's vendor and product id and can be
// opened. Interfaces with other ids are never opened, and a matching
// interface that will not open is passed over: an ordinary user cannot open
// most HID interfaces, and that must not hide a usable reader behind them.
// Gives the invalid handle when no reader is found or the listing fails.
ReaderHandle OpenReader();

}  // namespace rdrconf
