// JSON from files anyone may have written: nesting is refused one level past
// what the caller's format needs, without building the deep value, and a
// text that is not JSON is refused saying what is wrong and where, without
// echoing the file's bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "reader/BoundedJson.h"

namespace rdrconf {
namespace {

using ::testing::HasSubstr;

TEST(BoundedJsonTest, NestingUpToTheLimitIsTakenAndOneLevelMoreIsRefused) {
  const struct {
    const char* text;
    int depth;  // how deep its objects and arrays nest
  } cases[] = {
      {"7", 0}, {"\"[[[\"", 0}, {"{}", 1}, {"[1, 2]", 1}, {R"({"a": [1]})", 2}, {"[[], [[]]]", 3},
      {R"({"a": {"b": [{"c": null}]}})", 4}, {R"([{"x": 1}, {"y": {"z": []}}])", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string problem = "left over";
    const std::optional<nlohmann::ordered_json> taken = ParseBoundedJson(c.text, c.depth, problem);
    ASSERT_TRUE(taken.has_value()) << problem;
    EXPECT_EQ(*taken, nlohmann::ordered_json::parse(c.text));
    EXPECT_EQ(problem, "");
    if (c.depth == 0) continue;
    EXPECT_FALSE(ParseBoundedJson(c.text, c.depth - 1, problem).has_value());
    EXPECT_EQ(problem, "it nests objects and arrays deeper than " + std::to_string(c.depth - 1) + " levels");
  }
}

TEST(BoundedJsonTest, KeysKeepTheOrderTheyWereWrittenIn) {
  std::string problem;
  EXPECT_EQ(ParseBoundedJson(R"({"b": 1, "a": {"d": 2, "c": 3}})", 2, problem)->dump(),
            R"({"b":1,"a":{"d":2,"c":3}})");
}

// A hundred thousand levels (200 KB) overflowed the stack of a Release
// build when they were built and then written out.
TEST(BoundedJsonTest, DeepTextIsRefusedWithoutOverflowingTheStack) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  std::string problem;
  EXPECT_FALSE(ParseBoundedJson(deep, 8, problem).has_value());
  EXPECT_EQ(problem, "it nests objects and arrays deeper than 8 levels");
  std::string objects;
  for (int level = 0; level < 20000; ++level) objects += "{\"a\": ";
  objects += "1" + std::string(20000, '}');
  EXPECT_FALSE(ParseBoundedJson(objects, 8, problem).has_value());
  EXPECT_EQ(problem, "it nests objects and arrays deeper than 8 levels");
}

TEST(BoundedJsonTest, TextThatIsNotJsonIsRefusedSayingWhatAndWhere) {
  std::string problem;
  EXPECT_FALSE(ParseBoundedJson("{\"version\": 1,}", 4, problem).has_value());
  EXPECT_EQ(problem,
            "it is not valid JSON: syntax error while parsing object key - unexpected '}'; expected string "
            "literal (at line 1, column 15)");
  EXPECT_FALSE(ParseBoundedJson("{\n  \"settings\": [1 2]\n}", 4, problem).has_value());
  EXPECT_EQ(problem,
            "it is not valid JSON: syntax error while parsing array - unexpected number literal; expected ']' (at "
            "line 2, column 18)");
  EXPECT_FALSE(ParseBoundedJson("{} {}", 4, problem).has_value());
  EXPECT_THAT(problem, HasSubstr("expected end of input"));

  // The file's own bytes stay out of the message: it reaches a terminal.
  for (const std::string& text : {std::string("\x1b]52;c;aGk=\x07"), std::string("\"\xff\x1b[2J\""),
                                  std::string("[1, \x9b" "31m]")}) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_FALSE(ParseBoundedJson(text, 4, problem).has_value());
    EXPECT_THAT(problem, HasSubstr("it is not valid JSON: "));
    EXPECT_TRUE(std::all_of(problem.begin(), problem.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        << problem;
  }
}

// A message points a person at the value at fault, in the file as they
// wrote it: through strings holding brackets, escaped keys, arrays, and
// Chinese text counted as characters, not bytes.
TEST(JsonValueOffsetTest, FindsTheValueAndItsLineAndColumn) {
  const std::string text =
      "{\"note\": \"a } ] \\\" tricky\",\n \"r\\u0065aders\": [7, {\"名\": \"读卡器\", \"mode\": \"Active\"}]}";
  const auto at = [&](const std::vector<std::string>& path, bool ofKey = false) {
    const TextPosition position = PositionOf(text, JsonValueOffset(text, path, ofKey));
    return std::to_string(position.line) + ":" + std::to_string(position.column);
  };
  EXPECT_EQ(at({}), "1:1");
  EXPECT_EQ(at({"readers", "0"}), "2:19");
  EXPECT_EQ(at({"readers", "1", "mode"}), "2:43");
  EXPECT_EQ(at({"readers", "1", "mode"}, true), "2:35");
  EXPECT_EQ(at({"readers", "1", "名"}), "2:28");
  EXPECT_EQ(at({"readers", "1", "missing"}), "2:22") << "the nearest value on the way";
  EXPECT_EQ(at({"readers", "9"}), "2:18");

  std::size_t offset = 0;
  std::string problem;
  EXPECT_FALSE(ParseBoundedJson("{\n  \"a\": [1 2]\n}", 4, problem, &offset).has_value());
  EXPECT_EQ(problem.find("(at line"), std::string::npos) << "the place is given apart";
  const TextPosition position = PositionOf("{\n  \"a\": [1 2]\n}", offset);
  EXPECT_EQ(position.line, 2u);
  EXPECT_EQ(position.column, 11u);  // the "2" that the parser did not expect
}

}  // namespace
}  // namespace rdrconf
