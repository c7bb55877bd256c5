#include "i18n/Language.h"

#include <gtest/gtest.h>

#include <QStringDecoder>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "i18n/ProfileFile.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf {
namespace {

using test::ReadBytes;
using test::ScratchFolderTest;
using test::WriteBytes;
using LanguageTest = ScratchFolderTest;

TEST_F(LanguageTest, StoredChoiceIsChineseOnlyWhenMissingOrExactlyZhCn) {
  const struct {
    const char* name;
    const char* content;  // nullptr: no file
    const char* expected;
  } cases[] = {
      {"no file", nullptr, "zh-CN"},
      {"no section", "[other]\nlanguage=en-US\n", "zh-CN"},
      {"no key", "[config]\nlang=en-US\n", "zh-CN"},
      {"zh-CN", "[config]\nlanguage=zh-CN\n", "zh-CN"},
      {"zh-CN with blanks and quotes", "[CONFIG]\r\n  Language = \"zh-CN\" \r\n", "zh-CN"},
      {"en-US", "[config]\nlanguage=en-US\n", "en-US"},
      {"other case", "[config]\nlanguage=ZH-CN\n", "en-US"},
      {"other language", "[config]\nlanguage=fr-FR\n", "en-US"},
      {"empty value", "[config]\nlanguage=\n", "en-US"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(kLanguageChoiceFile);
    if (c.content != nullptr) WriteBytes(kLanguageChoiceFile, c.content);
    EXPECT_EQ(ReadLanguageChoice(), c.expected);
  }
}

TEST_F(LanguageTest, SavedChoiceIsReadBack) {
  ASSERT_TRUE(SaveLanguageChoice("en-US"));
  EXPECT_EQ(ReadBytes(kLanguageChoiceFile), "[config]\nlanguage=en-US\n");
  EXPECT_EQ(ReadLanguageChoice(), "en-US");

  ASSERT_TRUE(SaveLanguageChoice("zh-CN"));
  EXPECT_EQ(ReadBytes(kLanguageChoiceFile), "[config]\nlanguage=zh-CN\n");
  EXPECT_EQ(ReadLanguageChoice(), "zh-CN");
}

TEST_F(LanguageTest, FailedSaveIsReported) {
  std::filesystem::create_directory(kLanguageChoiceFile);
  EXPECT_FALSE(SaveLanguageChoice("en-US"));
  EXPECT_TRUE(std::filesystem::is_directory(kLanguageChoiceFile));
}

TEST_F(LanguageTest, SelectedCodeNamesTheCurrentLanguageFile) {
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.zh-CN.ini");
  SelectLanguageFile("en-US");
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.en-US.ini");
  SelectLanguageFile("zh-CN");
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.zh-CN.ini");
}

TEST_F(LanguageTest, TextsComeFromTheCurrentFileReadAnewEachTime) {
  WriteBytes("RDRCONF.zh-CN.ini", "[language]\nsys_success=成功\n[other]\nsys_failed=x\n");
  WriteBytes("RDRCONF.en-US.ini", "[language]\nsys_success=Done\n");

  SelectLanguageFile("zh-CN");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "成功");
  EXPECT_EQ(LoadUiText(ui_text::kSysFailed), "");  // only section "language" counts

  WriteBytes("RDRCONF.zh-CN.ini", "[language]\nsys_success=已完成\n");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "已完成");

  SelectLanguageFile("en-US");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "Done");

  std::filesystem::remove("RDRCONF.en-US.ini");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "");
}

class RecordingTarget : public CaptionTarget {
 public:
  static constexpr int kWindow = -1;

  void SetWindowCaption(const std::string& utf8) override { calls.emplace_back(kWindow, utf8); }
  void SetControlCaption(int id, const std::string& utf8) override { calls.emplace_back(id, utf8); }

  std::vector<std::pair<int, std::string>> calls;
};

TEST_F(LanguageTest, MainWindowGetsItsNineTextsInOrder) {
  WriteBytes("RDRCONF.zh-CN.ini",
             "[language]\nform_title=T\nbox_reader=B\nlbl_card_type=C\nlbl_cardno_type=N\n"
             "lbl_mode=M\nlbl_enter=E\nbtn_pending=P\nbtn_set_config=S\nbtn_restore_config=R\n");
  RecordingTarget window;
  ApplyMainWindowTexts(window);
  const std::vector<std::pair<int, std::string>> expected = {
      {RecordingTarget::kWindow, "T"},
      {1062, "B"},
      {1061, "C"},
      {1063, "N"},
      {1064, "M"},
      {1065, "E"},
      {1000, "P"},
      {1049, "S"},
      {1016, "R"},
  };
  EXPECT_EQ(window.calls, expected);
}

TEST_F(LanguageTest, MainWindowTextsAreSetEmptyWithoutALanguageFile) {
  RecordingTarget window;
  ApplyMainWindowTexts(window);
  const std::vector<std::pair<int, std::string>> expected = {
      {RecordingTarget::kWindow, ""},
      {1062, ""},
      {1061, ""},
      {1063, ""},
      {1064, ""},
      {1065, ""},
      {1000, ""},
      {1049, ""},
      {1016, ""},
  };
  EXPECT_EQ(window.calls, expected);
}

// The shipped language files, read from the source tree.
class ShippedLanguageFileTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::string Path() const {
    return std::string(RDRCONF_LANG_DIR) + "/RDRCONF." + GetParam() + ".ini";
  }
};

TEST_P(ShippedLanguageFileTest, HoldsEveryKeyAndNothingElse) {
  const std::string bytes = ReadBytes(Path());
  ASSERT_FALSE(bytes.empty()) << Path();
  EXPECT_NE(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark";
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString decoded =
      utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  EXPECT_FALSE(utf8.hasError()) << "UTF-8 throughout";

  for (const char* key : ui_text::kAllKeys) {
    const std::string text = ReadProfileString(Path(), kUiTextSection, key, "");
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_LT(text.size(), kProfileValueLimit) << key;
  }
  // One line for the section, one per key: no unknown or repeated keys.
  EXPECT_EQ(decoded.count(QLatin1Char('\n')),
            1 + static_cast<qsizetype>(std::size(ui_text::kAllKeys)));
  EXPECT_EQ(decoded.count(QLatin1Char('=')), static_cast<qsizetype>(std::size(ui_text::kAllKeys)));
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedLanguageFileTest, ::testing::Values("zh-CN", "en-US"));

TEST(ShippedChineseFileTest, KeepsTheWindowsOriginalCaptions) {
  const std::string path = std::string(RDRCONF_LANG_DIR) + "/RDRCONF.zh-CN.ini";
  const std::pair<const char*, const char*> captions[] = {
      {ui_text::kFormTitle, "USB读卡器软件"},
      {ui_text::kBoxReader, "读卡器选项"},
      {ui_text::kLblCardType, "卡类型："},
      {ui_text::kLblCardnoType, "卡号类型："},
      {ui_text::kLblMode, "模式："},
      {ui_text::kLblEnter, "回车："},
      {ui_text::kBtnPending, "省电模式（笔记本启用）"},
      {ui_text::kBtnSetConfig, "设置参数"},
      {ui_text::kBtnRestoreConfig, "恢复默认参数"},
  };
  for (const auto& [key, caption] : captions) {
    EXPECT_EQ(ReadProfileString(path, kUiTextSection, key, ""), caption) << key;
  }
}

}  // namespace
}  // namespace rdrconf
