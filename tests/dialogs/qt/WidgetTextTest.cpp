#include "dialogs/qt/WidgetText.h"

#include <gtest/gtest.h>

#include <QStringDecoder>
#include <string>

namespace rdrconf {
namespace {

TEST(WidgetTextTest, Gb18030DecoderIsAvailable) {
  EXPECT_TRUE(QStringDecoder("GB18030").isValid());
}

TEST(WidgetTextTest, DecodesUtf8AndFallsBackToGb18030) {
  const struct {
    const char* name;
    std::string bytes;
    QString expected;
  } cases[] = {
      {"empty", "", QString()},
      {"ASCII", "Save", QStringLiteral("Save")},
      {"UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", QStringLiteral(u"中文")},
      {"UTF-8 outside the basic plane", "\xF0\x9F\x98\x80", QStringLiteral(u"\U0001F600")},
      {"GB18030", "\xD6\xD0\xCE\xC4", QStringLiteral(u"中文")},
      {"GB18030 with ASCII", "IC \xB8\xF1\xCA\xBD 8", QStringLiteral(u"IC 格式 8")},
      {"GB18030 four-byte sequence", "\x94\x39\xFC\x36", QStringLiteral(u"\U0001F600")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToWidgetText(c.bytes), c.expected);
  }
}

}  // namespace
}  // namespace rdrconf
