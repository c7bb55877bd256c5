#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/ReaderProtocol.h"

// The card-number formats as the command line names them: the eight fixed
// names ("6h" ... "2h10d+4h10d"), and for the IC-only positions 8-12 the
// English texts that ship with the program ("IC format 8" ...), so that a
// script means the same format whatever language the window shows.
namespace rdrconf::cli {

// The name of position `position`; "format N" beyond the list.
std::string FormatName(std::uint8_t position);

// Every name, in list order (position 0 first).
std::vector<std::string> FormatNames();

// The position that `text` names: a number 0-12 or a name, compared
// without regard to case. std::nullopt when it names none.
std::optional<std::uint8_t> ParseFormat(const std::string& text);

// "format 8h10d (5), Active, Enter, power saving off".
std::string DescribeSettings(const ReaderParameterBlock& block);

// The settings object of the JSON output: {"format": "8h10d",
// "format_index": 5, "mode": "active", "enter": true, "power_saving": false}.
nlohmann::ordered_json SettingsObject(const ReaderParameterBlock& block);

}  // namespace rdrconf::cli
