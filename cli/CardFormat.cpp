#include "cli/CardFormat.h"

#include <algorithm>
#include <cctype>

#include "i18n/Language.h"
#include "reader/CardNumberFormats.h"
#include "reader/SettingsRecord.h"

namespace rdrconf::cli {
namespace {

// The language keys of positions 8-12.
constexpr const char* kIcOnlyFormatKeys[] = {ui_text::kType8, ui_text::kType9, ui_text::kType10,
                                             ui_text::kType11, ui_text::kType12};
static_assert(std::size(kIcOnlyFormatKeys) == kLastCardNumberFormat - kFirstIcOnlyFormat + 1);

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string FormatName(std::uint8_t position) {
  if (position < kFixedCardNumberFormats.size()) return kFixedCardNumberFormats[position];
  if (IsIcOnlyFormat(position)) return BuiltInText(kIcOnlyFormatKeys[position - kFirstIcOnlyFormat]);
  return "format " + std::to_string(position);
}

std::vector<std::string> FormatNames() {
  std::vector<std::string> names;
  for (int position = 0; position <= kLastCardNumberFormat; ++position) {
    names.push_back(FormatName(static_cast<std::uint8_t>(position)));
  }
  return names;
}

std::optional<std::uint8_t> ParseFormat(const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 2 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (digits) {
    const int position = std::stoi(text);
    if (position <= kLastCardNumberFormat) return static_cast<std::uint8_t>(position);
    return std::nullopt;
  }
  const std::vector<std::string> names = FormatNames();
  const auto found = std::find_if(names.begin(), names.end(),
                                  [&](const std::string& name) { return Lower(name) == Lower(text); });
  if (found == names.end()) return std::nullopt;
  return static_cast<std::uint8_t>(found - names.begin());
}

std::string DescribeSettings(const ReaderParameterBlock& block) {
  return "format " + FormatName(block.cardno_type) + " (" + std::to_string(block.cardno_type) + "), " +
         (block.mode == 1 ? "Active" : "Passive") + ", " + (block.enter == 1 ? "Enter" : "No-Enter") +
         ", power saving " + (block.power_saving == 1 ? "on" : "off");
}

nlohmann::ordered_json SettingsObject(const ReaderParameterBlock& block) {
  nlohmann::ordered_json settings{{"format", FormatName(block.cardno_type)}};
  settings.update(SettingsJson(block));
  return settings;
}

}  // namespace rdrconf::cli
