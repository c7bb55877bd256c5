#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "reader/ReaderProtocol.h"

// The reader's settings in one place: what command 6 writes, as values
// rather than bytes, with the device's own names for them. The window's
// translated labels stay in the language files; these names are facts about
// the reader, the same in every language, for the command line, profiles,
// the record and logs.
namespace rdrconf {

// The card-number format list: the reader receives only the position of the
// chosen entry. Positions 8-12 exist for IC cards only.
inline constexpr std::array<const char*, 13> kCardNumberFormatNames{
    "6h",          "8h",          "10h",          "5h10d",        "6h10d",
    "8h10d",       "10h10d",      "2h10d+4h10d",  "IC format 8",  "IC format 9",
    "IC format 10", "IC format 11", "IC format 12"};
inline constexpr std::uint8_t kFixedCardNumberFormats = 8;  // positions 0-7, for every card
inline constexpr std::uint8_t kFirstIcOnlyFormat = 8;
inline constexpr std::uint8_t kLastCardNumberFormat = 12;
inline constexpr std::uint8_t kDefaultCardNumberFormat = 4;  // "6h10d"

constexpr bool IsIcOnlyFormat(std::uint8_t position) {
  return position >= kFirstIcOnlyFormat && position <= kLastCardNumberFormat;
}

// "6h10d" for position 4; "format 14" for a position the reader does not
// have.
std::string CardNumberFormatName(std::uint8_t position);

// The position that `text` names: a number 0-12 or a name, compared without
// regard to case.
std::optional<std::uint8_t> ParseCardNumberFormat(const std::string& text);

// The reading mode: the byte is 1 for Active, 0 for Passive.
enum class ReadingMode : std::uint8_t { kPassive = 0, kActive = 1 };
// Whether an Enter follows each number: the byte is 1 for Enter.
enum class EnterKey : std::uint8_t { kNoEnter = 0, kEnter = 1 };

struct ReaderSettings {
  std::uint8_t format = kDefaultCardNumberFormat;
  ReadingMode mode = ReadingMode::kActive;
  EnterKey enter = EnterKey::kEnter;
  bool powerSaving = false;

  // The reader's defaults: 6h10d, Active, Enter, power saving off.
  static constexpr ReaderSettings Defaults() { return {}; }
  // The settings that a block carries; std::nullopt when a byte is out of
  // range.
  static std::optional<ReaderSettings> FromBlock(const ReaderParameterBlock& block);

  // The 5-byte block of command 6.
  constexpr ReaderParameterBlock Block() const {
    return {format, static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(enter),
            static_cast<std::uint8_t>(powerSaving ? 1 : 0), 0};
  }

  // "format 8h10d (5), Active, Enter, power saving off".
  std::string Describe() const;

  // {"format": "8h10d", "format_index": 5, "mode": "active", "enter": true,
  //  "power_saving": false}: the form of the command line's JSON, of
  // profiles and of the record.
  nlohmann::ordered_json ToJson() const;
  // The settings such an object describes. The format may be given by its
  // name ("format"), its position ("format_index") or both, which must then
  // agree; other keys are refused when `strict`. std::nullopt, and `why`
  // says what is wrong, when it describes none; `key` then names the key
  // whose value is at fault (empty: the object itself, or a key missing).
  static std::optional<ReaderSettings> FromJson(const nlohmann::ordered_json& json, std::string* why = nullptr,
                                                bool strict = false, std::string* key = nullptr);

  friend constexpr bool operator==(const ReaderSettings& a, const ReaderSettings& b) {
    return a.format == b.format && a.mode == b.mode && a.enter == b.enter && a.powerSaving == b.powerSaving;
  }
  friend constexpr bool operator!=(const ReaderSettings& a, const ReaderSettings& b) { return !(a == b); }
};

// The words of a block that may hold any bytes (what an emulated reader
// received): known values by name, others by their number.
std::string DescribeBlock(const ReaderParameterBlock& block);

}  // namespace rdrconf
