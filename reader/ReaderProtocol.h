#pragma once

#include <array>
#include <cstdint>

#include "reader/HidHost.h"
#include "reader/ReaderOutcome.h"

// The reader's protocol on an opened interface: the 8-byte frames carried in
// 9-byte feature reports, the command transfer, the notices and command 6
// with its parameter block. Each exchange gives its ExchangeOutcome: what
// happened and why. The operations that have always given a bool (a
// notice) or the command result 0/1/2 keep their names and their results,
// derived from that outcome in one place (reader/ReaderOutcome.h).
namespace rdrconf {

inline constexpr std::uint16_t kReaderVendorId = 0x1D57;
inline constexpr std::uint16_t kReaderProductId = 0xAC08;

// An opened interface of the reader, owned by whoever received it: it is
// closed by Close() or when the handle goes out of scope, whichever comes
// first. Besides an open interface a handle can hold two values that name
// none: the invalid handle (all bits set; "no reader available", what a
// search gives when it finds nothing) and the null handle (0), which every
// frame operation refuses without a request.
class ReaderHandle {
 public:
  static constexpr HidDeviceToken kInvalidValue = ~HidDeviceToken{0};

  ReaderHandle() noexcept = default;  // the null handle
  ReaderHandle(HidHost& host, HidDeviceToken device, HidInterfaceInfo interface);
  static ReaderHandle Invalid() noexcept;

  ~ReaderHandle();
  ReaderHandle(ReaderHandle&& other) noexcept;
  ReaderHandle& operator=(ReaderHandle&& other) noexcept;
  ReaderHandle(const ReaderHandle&) = delete;
  ReaderHandle& operator=(const ReaderHandle&) = delete;

  bool IsNull() const noexcept { return device_ == 0; }
  bool IsInvalid() const noexcept { return device_ == kInvalidValue; }
  bool IsOpen() const noexcept { return !IsNull() && !IsInvalid(); }
  // The interface as the listing showed it when it was opened.
  const HidInterfaceInfo& Interface() const noexcept { return interface_; }

  // Closes an open interface; the handle becomes null. Does nothing on a
  // null or invalid handle.
  void Close() noexcept;

  // The frame operations reach the interface through these; both only on
  // an open handle.
  bool SetFeature(const FeatureReport& report, HidError& error) const;
  int GetFeature(FeatureReport& report, HidError& error) const;

 private:
  HidHost* host_ = nullptr;
  HidDeviceToken device_ = 0;
  HidInterfaceInfo interface_;
};

// The 8 bytes of one feature report, without the report id.
using ReaderFrame = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t kControlFrameMark = 0x55;
inline constexpr std::uint8_t kCommandHeaderKind = 0x11;
inline constexpr std::uint8_t kFrameFiller = 0x63;
inline constexpr std::uint8_t kRefusalByte = 0xAA;
inline constexpr std::uint8_t kStatusByte = 0x02;
// Without an acknowledgement the reader is polled this often per chunk.
inline constexpr int kAcknowledgementReads = 5;
// Command 6 writes the parameter block; its chunks are not acknowledged.
inline constexpr std::uint8_t kWriteParametersCommand = 6;

// Sends one frame as the feature report 00 b0..b7. False for a null or
// invalid handle (no request is made) or when the request fails.
bool SendFrame(const ReaderHandle& handle, const ReaderFrame& frame, HidError* error = nullptr);

// Gets one feature report with report id 0 and copies its 8 frame bytes
// into frame. False for a null or invalid handle (no request), when the
// request fails or when the answer is shorter than a whole report; frame is
// then left as it was.
bool ReadFrame(const ReaderHandle& handle, ReaderFrame& frame, HidError* error = nullptr);

// Carries command `code` with `length` bytes of `data`: a header frame
// 55 11 cc ll 63 63 63 63, one answer, then the data in zero-filled 8-byte
// chunks, each acknowledged (55 11 cc ll) within five reads unless the code
// is 6. kFailed for a null data pointer, a failed request or a missing
// acknowledgement, kNoReader for a null or invalid handle, kRefused for a
// refusal (eight 0xAA), kStatus when an answer holds 0x02 in byte 4, kDone
// when every chunk went through.
ExchangeOutcome TransferCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data);
// The same as the command result: kCommandFailed, kCommandStatus or
// kCommandDone.
CommandResult SendReaderCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data);

// The settings record carried by command 6.
struct ReaderParameterBlock {
  std::uint8_t cardno_type = 4;   // position in the card-number format list
  std::uint8_t mode = 1;          // 1 Active, 0 Passive
  std::uint8_t enter = 1;         // 1 Enter after each number, 0 none
  std::uint8_t power_saving = 0;  // 1 on, 0 off
  std::uint8_t reserved = 0;

  static constexpr std::size_t kSize = 5;
  // The reader's defaults: 04 01 01 00 00.
  static constexpr ReaderParameterBlock Defaults() { return {}; }
  constexpr std::array<std::uint8_t, kSize> Bytes() const {
    return {cardno_type, mode, enter, power_saving, reserved};
  }
  friend constexpr bool operator==(const ReaderParameterBlock& a, const ReaderParameterBlock& b) {
    return a.cardno_type == b.cardno_type && a.mode == b.mode && a.enter == b.enter &&
           a.power_saving == b.power_saving && a.reserved == b.reserved;
  }
  friend constexpr bool operator!=(const ReaderParameterBlock& a, const ReaderParameterBlock& b) {
    return !(a == b);
  }
};

inline constexpr ReaderFrame kOpenNotice{0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
inline constexpr ReaderFrame kCloseNotice{0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};

// Each notice is one frame set and one answer got; the answer's content is
// not examined. kNoReader for a null or invalid handle, kFailed for a
// failed request, else kDone.
enum class Notice { kOpen, kClose };
ExchangeOutcome SendNotice(const ReaderHandle& handle, Notice notice);
// The same as a bool: whether the notice went through.
bool NotifyOpen(const ReaderHandle& handle);
bool NotifyClose(const ReaderHandle& handle);

// Command 6 with the five bytes of the block.
ExchangeOutcome WriteParameters(const ReaderHandle& handle, const ReaderParameterBlock& block);
// The same as the command result, with the block or the defaults.
CommandResult SetReaderConfig(const ReaderHandle& handle, const ReaderParameterBlock& block);
CommandResult RestoreReaderConfig(const ReaderHandle& handle);

}  // namespace rdrconf
