// Wide text and UTF-8, whatever the width of wchar_t (UTF-16 on Windows,
// code points elsewhere) and whatever the locale.
#include <gtest/gtest.h>

#include "platform/Text.h"

namespace rdrconf::platform {
namespace {

TEST(Text, RoundTripsEveryPlaneAndReplacesWhatIsNoCharacter) {
  const std::string text = "RDR-\xC3\x84" "1 \xE8\xAF\xBB\xE5\x8D\xA1\xE5\x99\xA8 \xF0\x9F\x98\x80";  // Ä, 读卡器, 😀
  EXPECT_EQ(Utf8(Wide(text)), text);
  EXPECT_EQ(Wide(text).size(), sizeof(wchar_t) == 2 ? 13u : 12u);  // a surrogate pair where wchar_t is 16-bit
  EXPECT_EQ(Utf8(L""), "");

  // Bytes that start no character, a character cut short, an encoding too
  // long for its value and a surrogate written as UTF-8 each become U+FFFD.
  EXPECT_EQ(Wide("a\xFF" "b"), (std::wstring{L'a', 0xFFFD, L'b'}));
  EXPECT_EQ(Wide("\xE8\xAF"), (std::wstring{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Wide("\xC0\xAF"), (std::wstring{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Wide("\xED\xA0\x80"), (std::wstring{0xFFFD, 0xFFFD, 0xFFFD}));
  // An unpaired surrogate from the system.
  EXPECT_EQ(Utf8(std::wstring{L'x', static_cast<wchar_t>(0xD800)}), "x\xEF\xBF\xBD");
}

}  // namespace
}  // namespace rdrconf::platform
