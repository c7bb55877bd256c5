#pragma once

#include <array>
#include <cstdint>

namespace rdrconf {

// The card-number format list: the reader receives only the position of
// the chosen entry (cardno_type of the parameter block). Positions 0-7 have
// fixed names, the same in every language; positions 8-12 exist for IC
// cards only and are named by the language files (keys "type_8" ...
// "type_12").
inline constexpr std::array<const char*, 8> kFixedCardNumberFormats{
    "6h", "8h", "10h", "5h10d", "6h10d", "8h10d", "10h10d", "2h10d+4h10d"};
inline constexpr std::uint8_t kFirstIcOnlyFormat = 8;
inline constexpr std::uint8_t kLastCardNumberFormat = 12;

constexpr bool IsIcOnlyFormat(std::uint8_t position) {
  return position >= kFirstIcOnlyFormat && position <= kLastCardNumberFormat;
}

}  // namespace rdrconf
