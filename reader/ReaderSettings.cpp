#include "reader/ReaderSettings.h"

#include <algorithm>
#include <cctype>

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kActive[] = "active";
constexpr char kPassive[] = "passive";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A 0/1 byte by its two names, any other value by its number.
std::string Switch(std::uint8_t value, const char* on, const char* off, const char* field) {
  if (value == 1) return on;
  if (value == 0) return off;
  return std::string(field) + " " + std::to_string(value);
}

}  // namespace

std::string CardNumberFormatName(std::uint8_t position) {
  if (position < kCardNumberFormatNames.size()) return kCardNumberFormatNames[position];
  return "format " + std::to_string(position);
}

std::optional<std::uint8_t> ParseCardNumberFormat(const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 2 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (digits) {
    const int position = std::stoi(text);
    if (position <= kLastCardNumberFormat) return static_cast<std::uint8_t>(position);
    return std::nullopt;
  }
  const std::string wanted = Lower(text);
  for (std::uint8_t position = 0; position < kCardNumberFormatNames.size(); ++position) {
    if (Lower(kCardNumberFormatNames[position]) == wanted) return position;
  }
  return std::nullopt;
}

std::optional<ReaderSettings> ReaderSettings::FromBlock(const ReaderParameterBlock& block) {
  if (block.cardno_type > kLastCardNumberFormat || block.mode > 1 || block.enter > 1 || block.power_saving > 1) {
    return std::nullopt;
  }
  return ReaderSettings{block.cardno_type, static_cast<ReadingMode>(block.mode), static_cast<EnterKey>(block.enter),
                        block.power_saving == 1};
}

std::string ReaderSettings::Describe() const { return DescribeBlock(Block()); }

std::string DescribeBlock(const ReaderParameterBlock& block) {
  const std::string position = std::to_string(block.cardno_type);
  const std::string format = block.cardno_type <= kLastCardNumberFormat
                                 ? "format " + CardNumberFormatName(block.cardno_type) + " (" + position + ")"
                                 : "format " + position;
  return format + ", " + Switch(block.mode, "Active", "Passive", "mode") + ", " +
         Switch(block.enter, "Enter", "No-Enter", "enter") + ", " +
         Switch(block.power_saving, "power saving on", "power saving off", "power saving");
}

Json ReaderSettings::ToJson() const {
  return Json{{"format", CardNumberFormatName(format)},
              {"format_index", format},
              {"mode", mode == ReadingMode::kActive ? kActive : kPassive},
              {"enter", enter == EnterKey::kEnter},
              {"power_saving", powerSaving}};
}

std::optional<ReaderSettings> ReaderSettings::FromJson(const Json& json, std::string* why, bool strict,
                                                      std::string* key) {
  const auto refuse = [why, key](std::string reason, std::string at = {}) -> std::optional<ReaderSettings> {
    if (why) *why = std::move(reason);
    if (key) *key = std::move(at);
    return std::nullopt;
  };
  if (!json.is_object()) return refuse("the settings are not an object");
  if (strict) {
    for (const auto& [name, value] : json.items()) {
      if (name != "format" && name != "format_index" && name != "mode" && name != "enter" && name != "power_saving") {
        return refuse("unknown key \"" + name + "\" in the settings", name);
      }
    }
  }
  ReaderSettings settings;
  const auto name = json.find("format");
  const auto index = json.find("format_index");
  if (name == json.end() && index == json.end()) return refuse("the settings give no \"format\"");
  if (name != json.end()) {
    if (!name->is_string()) return refuse("\"format\" must be a format's name", "format");
    const std::optional<std::uint8_t> position = ParseCardNumberFormat(name->get<std::string>());
    if (!position || name->get<std::string>().find_first_not_of("0123456789") == std::string::npos) {
      return refuse("\"format\": \"" + name->get<std::string>() + "\" is not a card-number format", "format");
    }
    settings.format = *position;
  }
  if (index != json.end()) {
    if (!index->is_number_integer()) return refuse("\"format_index\" must be a whole number", "format_index");
    const auto position = index->get<long long>();
    if (position < 0 || position > kLastCardNumberFormat) {
      return refuse("\"format_index\": " + std::to_string(position) + " is out of range (0-12)", "format_index");
    }
    if (name != json.end() && position != settings.format) {
      return refuse("\"format\" and \"format_index\" name different formats", "format_index");
    }
    settings.format = static_cast<std::uint8_t>(position);
  }
  const auto mode = json.find("mode");
  if (mode == json.end()) return refuse("the settings give no \"mode\"");
  if (!mode->is_string() || (*mode != kActive && *mode != kPassive)) {
    return refuse("\"mode\" must be \"active\" or \"passive\"", "mode");
  }
  settings.mode = *mode == kActive ? ReadingMode::kActive : ReadingMode::kPassive;
  const auto enter = json.find("enter");
  if (enter == json.end()) return refuse("the settings give no \"enter\"");
  if (!enter->is_boolean()) return refuse("\"enter\" must be true or false", "enter");
  settings.enter = enter->get<bool>() ? EnterKey::kEnter : EnterKey::kNoEnter;
  const auto powerSaving = json.find("power_saving");
  if (powerSaving == json.end()) return refuse("the settings give no \"power_saving\"");
  if (!powerSaving->is_boolean()) return refuse("\"power_saving\" must be true or false", "power_saving");
  settings.powerSaving = powerSaving->get<bool>();
  return settings;
}

}  // namespace rdrconf
