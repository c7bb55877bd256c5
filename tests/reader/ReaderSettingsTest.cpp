// The reader's settings as values: their bytes, their names, their words
// and their JSON form, which the command line, profiles and the record
// share.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reader/ReaderSettings.h"

namespace rdrconf {
namespace {

using ::testing::ElementsAre;
using Json = nlohmann::ordered_json;

TEST(ReaderSettings, BytesOfTheBlockAndBack) {
  EXPECT_EQ(ReaderSettings::Defaults().Block(), ReaderParameterBlock::Defaults());
  const ReaderSettings chosen{9, ReadingMode::kPassive, EnterKey::kNoEnter, true};
  EXPECT_EQ(chosen.Block(), (ReaderParameterBlock{9, 0, 0, 1, 0}));
  EXPECT_EQ(ReaderSettings::FromBlock(chosen.Block()), chosen);
  for (const ReaderParameterBlock& bad : {ReaderParameterBlock{13, 1, 1, 0, 0}, ReaderParameterBlock{4, 2, 1, 0, 0},
                                         ReaderParameterBlock{4, 1, 7, 0, 0}, ReaderParameterBlock{4, 1, 1, 2, 0}}) {
    EXPECT_EQ(ReaderSettings::FromBlock(bad), std::nullopt);
  }
}

TEST(ReaderSettings, FormatsAreNamedOnceForEveryone) {
  EXPECT_THAT(kCardNumberFormatNames,
              ElementsAre("6h", "8h", "10h", "5h10d", "6h10d", "8h10d", "10h10d", "2h10d+4h10d", "IC format 8",
                          "IC format 9", "IC format 10", "IC format 11", "IC format 12"));
  EXPECT_EQ(CardNumberFormatName(kDefaultCardNumberFormat), "6h10d");
  EXPECT_EQ(CardNumberFormatName(14), "format 14");
  for (int position = 0; position <= 12; ++position) {
    const auto p = static_cast<std::uint8_t>(position);
    EXPECT_EQ(ParseCardNumberFormat(CardNumberFormatName(p)), p);
    EXPECT_EQ(ParseCardNumberFormat(std::to_string(position)), p);
  }
  EXPECT_EQ(ParseCardNumberFormat("2H10D+4H10D"), 7);
  EXPECT_EQ(ParseCardNumberFormat("ic format 8"), 8);
  EXPECT_EQ(ParseCardNumberFormat("08"), 8);
  for (const char* text : {"13", "99", "123", "8h10", " 8h", "IC format 13", "type_8", ""}) {
    EXPECT_EQ(ParseCardNumberFormat(text), std::nullopt) << text;
  }
}

TEST(ReaderSettings, WordsForKnownAndUnknownBytes) {
  EXPECT_EQ(ReaderSettings::Defaults().Describe(), "format 6h10d (4), Active, Enter, power saving off");
  EXPECT_EQ(DescribeBlock({11, 0, 0, 1, 0}), "format IC format 11 (11), Passive, No-Enter, power saving on");
  // What an emulated reader may receive from a faulty sender.
  EXPECT_EQ(DescribeBlock({0xFF, 3, 4, 5, 0}), "format 255, mode 3, enter 4, power saving 5");
}

TEST(ReaderSettings, JsonFormGoesBothWays) {
  const ReaderSettings chosen{1, ReadingMode::kPassive, EnterKey::kNoEnter, true};
  EXPECT_EQ(chosen.ToJson(), Json::parse(R"({"format": "8h", "format_index": 1, "mode": "passive",
                                             "enter": false, "power_saving": true})"));
  for (const ReaderSettings& settings : {ReaderSettings{0, ReadingMode::kPassive, EnterKey::kNoEnter, false},
                                         ReaderSettings{12, ReadingMode::kActive, EnterKey::kEnter, true},
                                         ReaderSettings::Defaults()}) {
    EXPECT_EQ(ReaderSettings::FromJson(settings.ToJson()), settings);
  }
  // The record names the format by its position alone, a profile may name
  // it alone.
  EXPECT_EQ(ReaderSettings::FromJson(Json::parse(
                R"({"format_index": 5, "mode": "active", "enter": true, "power_saving": false})"))->format, 5);
  EXPECT_EQ(ReaderSettings::FromJson(Json::parse(
                R"({"format": "IC format 9", "mode": "active", "enter": true, "power_saving": false})"))->format, 9);
}

TEST(ReaderSettings, JsonThatDescribesNoSettingsIsRefusedWithTheReason) {
  const struct {
    const char* json;
    const char* why;
  } cases[] = {
      {R"({"format_index": -1, "mode": "active", "enter": true, "power_saving": false})", "out of range"},
      {R"({"format_index": 1.5, "mode": "active", "enter": true, "power_saving": false})", "whole number"},
      {R"({"format": "9h", "mode": "active", "enter": true, "power_saving": false})", "not a card-number format"},
      {R"({"format": "5", "mode": "active", "enter": true, "power_saving": false})", "not a card-number format"},
      {R"({"format": "8h", "format_index": 2, "mode": "active", "enter": true, "power_saving": false})",
       "different formats"},
      {R"({"format_index": 1, "mode": "Active", "enter": true, "power_saving": false})", "\"mode\""},
      {R"({"format_index": 1, "mode": "active", "enter": 1, "power_saving": false})", "\"enter\""},
      {R"({"format_index": 1, "mode": "active", "enter": true})", "\"power_saving\""},
      {R"({"mode": "active", "enter": true, "power_saving": false})", "no \"format\""},
      {R"([1, 1, 1, 0])", "not an object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    std::string why;
    EXPECT_EQ(ReaderSettings::FromJson(Json::parse(c.json), &why), std::nullopt);
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
  // Keys of a later version pass, unless the caller wants none.
  const Json extra = Json::parse(R"({"format_index": 1, "mode": "active", "enter": true, "power_saving": false,
                                     "beep": true})");
  EXPECT_NE(ReaderSettings::FromJson(extra), std::nullopt);
  std::string why;
  EXPECT_EQ(ReaderSettings::FromJson(extra, &why, true), std::nullopt);
  EXPECT_NE(why.find("unknown key \"beep\""), std::string::npos) << why;
}

}  // namespace
}  // namespace rdrconf
