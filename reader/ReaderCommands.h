#pragma once

#include <array>
#include <cstdint>

#include "reader/FrameTransfer.h"

namespace rdrconf {

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
};

inline constexpr ReaderFrame kOpenNotice{0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
inline constexpr ReaderFrame kCloseNotice{0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};

// Each notice is one frame set and one answer got; the answer's content is
// not examined. False for a null or invalid handle or a failed request.
bool NotifyOpen(const ReaderHandle& handle);
bool NotifyClose(const ReaderHandle& handle);

// Command 6 with the five bytes of the block (or of the defaults).
CommandResult SetReaderConfig(const ReaderHandle& handle, const ReaderParameterBlock& block);
CommandResult RestoreReaderConfig(const ReaderHandle& handle);

}  // namespace rdrconf
