#include "i18n/Language.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// windows.h names these after its own A/W functions; ours are meant.
#undef ReplaceFile
#undef WriteProfileString
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "i18n/ProfileFile.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf {
namespace {

using test::kWorkingChoiceFile;
using test::ReadBytes;
using test::WriteBytes;

// In a working folder that holds a language file, as the tool has always
// been run.
class LanguageTest : public test::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    WriteBytes("RDRCONF.zh-CN.ini", "[language]\n");
  }
};

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
    std::filesystem::remove(kWorkingChoiceFile);
    if (c.content != nullptr) WriteBytes(kWorkingChoiceFile, c.content);
    EXPECT_EQ(ReadLanguageChoice(), c.expected);
  }
}

TEST_F(LanguageTest, SavedChoiceIsReadBack) {
  ASSERT_TRUE(SaveLanguageChoice("en-US"));
  EXPECT_EQ(ReadBytes(kWorkingChoiceFile), "[config]\nlanguage=en-US\n");
  EXPECT_EQ(ReadLanguageChoice(), "en-US");

  ASSERT_TRUE(SaveLanguageChoice("zh-CN"));
  EXPECT_EQ(ReadBytes(kWorkingChoiceFile), "[config]\nlanguage=zh-CN\n");
  EXPECT_EQ(ReadLanguageChoice(), "zh-CN");
}

TEST_F(LanguageTest, FailedSaveIsReported) {
  std::filesystem::create_directory(kWorkingChoiceFile);
  EXPECT_FALSE(SaveLanguageChoice("en-US"));
  EXPECT_TRUE(std::filesystem::is_directory(kWorkingChoiceFile));
}

TEST_F(LanguageTest, SelectedCodeNamesTheCurrentLanguageFile) {
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.zh-CN.ini");
  SelectLanguageFile("en-US");
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.en-US.ini");
  SelectLanguageFile("zh-CN");
  EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.zh-CN.ini");
}

TEST_F(LanguageTest, TextsComeFromTheCurrentFileReadOncePerSelection) {
  WriteBytes("RDRCONF.zh-CN.ini", "[language]\nsys_success=成功\n[other]\nsys_failed=x\n");
  WriteBytes("RDRCONF.en-US.ini", "[language]\nsys_success=Done\n");

  SelectLanguageFile("zh-CN");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "成功");
  EXPECT_EQ(LoadUiText(ui_text::kSysFailed), "");  // only section "language" counts

  // The file is read once: a change shows only once it is selected anew.
  WriteBytes("RDRCONF.zh-CN.ini", "[language]\nsys_success=已完成\n");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "成功");
  SelectLanguageFile("zh-CN");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "已完成");

  SelectLanguageFile("en-US");
  EXPECT_EQ(LoadUiText(ui_text::kSysSuccess), "Done");
}

TEST_F(LanguageTest, MissingTextsAreEmptyButAddedOnesAndAMissingFileFallBackToEnglish) {
  WriteBytes("RDRCONF.zh-CN.ini", "[language]\nsys_success=成功\n");
  SelectLanguageFile("zh-CN");
  EXPECT_EQ(LoadUiText(ui_text::kSysFailed), "") << "a key the file has always had shows empty";
  EXPECT_EQ(LoadUiText(ui_text::kReasonBusy), BuiltInText(ui_text::kReasonBusy));
  EXPECT_FALSE(BuiltInText(ui_text::kReasonBusy).empty());

  // No file to read at all: never blank labels.
  std::filesystem::remove("RDRCONF.zh-CN.ini");
  SelectLanguageFile("zh-CN");
  EXPECT_FALSE(TextCatalogue::Instance().Loaded());
  for (const char* key : ui_text::kCatalogueKeys) {
    EXPECT_EQ(LoadUiText(key), BuiltInText(key)) << key;
    EXPECT_FALSE(LoadUiText(key).empty()) << key;
  }
  EXPECT_EQ(LoadUiText(ui_text::kFormTitle), "USB Card Reader Settings");
}

#ifndef _WIN32
TEST_F(LanguageTest, SpecialFilesCountAsMissingAndNeverBlock) {
  // A FIFO in a language file's place would hold open() until a writer came.
  std::filesystem::remove("RDRCONF.zh-CN.ini");
  ASSERT_EQ(mkfifo("RDRCONF.zh-CN.ini", 0644), 0);
  ASSERT_EQ(mkfifo(kWorkingChoiceFile, 0644), 0);
  WriteBytes("RDRCONF.en-US.ini", "[language]\nform_title=English\n");

  EXPECT_EQ(ReadLanguageChoice(), kChineseCode) << "an unreadable choice file is a missing one";
  SelectLanguageFile(kChineseCode);
  EXPECT_FALSE(TextCatalogue::Instance().Loaded());
  EXPECT_EQ(LoadUiText(ui_text::kFormTitle), BuiltInText(ui_text::kFormTitle));
  EXPECT_FALSE(SaveLanguageChoice(kEnglishCode)) << "a special file is never replaced";
  EXPECT_EQ(std::filesystem::status(kWorkingChoiceFile).type(), std::filesystem::file_type::fifo);
}
#endif

class RecordingTarget : public CaptionTarget {
 public:
  void SetWindowCaption(const std::string& utf8) override { calls.emplace_back("window", utf8); }
  void SetCaptionOf(std::string_view key, const std::string& utf8) override {
    calls.emplace_back(std::string(key), utf8);
  }

  std::vector<std::pair<std::string, std::string>> calls;
};

TEST_F(LanguageTest, MainWindowGetsItsNineTextsInOrder) {
  WriteBytes("RDRCONF.zh-CN.ini",
             "[language]\nform_title=T\nbox_reader=B\nlbl_card_type=C\nlbl_cardno_type=N\n"
             "lbl_mode=M\nlbl_enter=E\nbtn_pending=P\nbtn_set_config=S\nbtn_restore_config=R\n");
  RecordingTarget window;
  ApplyMainWindowTexts(window);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"window", "T"},
      {"box_reader", "B"},
      {"lbl_card_type", "C"},
      {"lbl_cardno_type", "N"},
      {"lbl_mode", "M"},
      {"lbl_enter", "E"},
      {"btn_pending", "P"},
      {"btn_set_config", "S"},
      {"btn_restore_config", "R"},
  };
  EXPECT_EQ(window.calls, expected);
}

TEST_F(LanguageTest, MainWindowTextsAreSetEmptyWhenTheFileLacksThem) {
  RecordingTarget window;
  ApplyMainWindowTexts(window);
  ASSERT_EQ(window.calls.size(), 9u);
  for (const auto& [target, text] : window.calls) EXPECT_EQ(text, "") << target;
}

// Where the files are when the working folder holds none: each step of the
// lookup, for a package installed in the system and a user's own copies.
class LanguagePlacesTest : public test::ScratchFolderTest {
 protected:
  std::string Make(const std::string& relative, const std::string& content) {
    const std::filesystem::path path = folder_ / relative;
    std::filesystem::create_directories(path.parent_path());
    WriteBytes(path.string(), content);
    return path.string();
  }
  std::string Scratch(const std::string& relative) const { return (folder_ / relative).string(); }
};

TEST_F(LanguagePlacesTest, WorkingFolderWithALanguageFileIsUsedAsItAlwaysWas) {
  Make("share/rdrconf/RDRCONF.en-US.ini", "[language]\n");
  WriteBytes("RDRCONF.en-US.ini", "[language]\n");
  const LanguagePlaces places = LanguagePlaces::Find();
  EXPECT_TRUE(places.workingFolder);
  EXPECT_EQ(places.choiceFile, "./RDRCONF.config");
  EXPECT_EQ(LanguageFilePath(kEnglishCode), "./RDRCONF.en-US.ini");
  EXPECT_EQ(LanguageFilePath(kChineseCode), "./RDRCONF.zh-CN.ini") << "even where it is missing";
}

#ifdef _WIN32
// Windows: %APPDATA%\rdrconf for the user's copies and the choice, then the
// program's own folder (where the zip puts the shipped files).
std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program(path, length);
  return program.substr(0, program.find_last_of("\\/") + 1);
}

TEST_F(LanguagePlacesTest, FilesComeFromTheUsersAppDataThenFromTheProgramsFolder) {
  const LanguagePlaces places = LanguagePlaces::Find();
  EXPECT_FALSE(places.workingFolder);
  EXPECT_EQ(places.textFolders, (std::vector<std::string>{Scratch("appdata") + "\\rdrconf\\", ProgramFolder()}));
  EXPECT_EQ(places.choiceFile, Scratch("appdata") + "\\rdrconf\\RDRCONF.config");
  EXPECT_EQ(LanguageFilePath(kEnglishCode), Scratch("appdata") + "\\rdrconf\\RDRCONF.en-US.ini")
      << "the first folder when none holds it";

  const std::string own = Make("appdata/rdrconf/RDRCONF.en-US.ini", "[language]\n");
  EXPECT_EQ(std::filesystem::path(LanguageFilePath(kEnglishCode)), std::filesystem::path(own));
}

TEST_F(LanguagePlacesTest, ChoiceIsKeptInTheUsersAppData) {
  EXPECT_EQ(ReadLanguageChoice(), kChineseCode);
  ASSERT_TRUE(SaveLanguageChoice(kEnglishCode)) << "its folders are made";
  EXPECT_EQ(ReadBytes(Scratch("appdata/rdrconf/RDRCONF.config")), "[config]\nlanguage=en-US\n");
  EXPECT_EQ(ReadLanguageChoice(), kEnglishCode);
  EXPECT_FALSE(std::filesystem::exists(kWorkingChoiceFile)) << "nothing lands in the working folder";

  // A relative or missing %APPDATA% gives nowhere to keep it.
  environment_.Set("APPDATA", "relative");
  EXPECT_EQ(LanguagePlaces::Find().choiceFile, "");
  EXPECT_FALSE(SaveLanguageChoice(kEnglishCode));
  EXPECT_FALSE(std::filesystem::exists("relative"));
  environment_.Set("APPDATA", nullptr);
  EXPECT_EQ(LanguagePlaces::Find().textFolders, std::vector<std::string>{ProgramFolder()});
}
#else
TEST_F(LanguagePlacesTest, FilesComeFromTheUsersDataFolderThenFromEachSystemFolder) {
  environment_.Set("XDG_DATA_DIRS", (Scratch("first") + ":relative:" + Scratch("second")).c_str());
  const std::string shippedChinese = Make("second/rdrconf/RDRCONF.zh-CN.ini", "[language]\n");
  Make("second/rdrconf/RDRCONF.en-US.ini", "[language]\n");
  const std::string shippedEnglish = Make("first/rdrconf/RDRCONF.en-US.ini", "[language]\n");

  const LanguagePlaces places = LanguagePlaces::Find();
  EXPECT_FALSE(places.workingFolder);
  EXPECT_EQ(places.textFolders, (std::vector<std::string>{Scratch("home/.local/share/rdrconf/"),
                                                          Scratch("first/rdrconf/"),
                                                          Scratch("second/rdrconf/")}));
  EXPECT_EQ(LanguageFilePath(kChineseCode), shippedChinese);
  EXPECT_EQ(LanguageFilePath(kEnglishCode), shippedEnglish) << "the first system folder wins";

  // A user's edited copy wins over the shipped one, file by file.
  const std::string own = Make("home/.local/share/rdrconf/RDRCONF.en-US.ini", "[language]\n");
  EXPECT_EQ(LanguageFilePath(kEnglishCode), own);
  EXPECT_EQ(LanguageFilePath(kChineseCode), shippedChinese);

  // XDG_DATA_HOME, when absolute, stands for ~/.local/share.
  environment_.Set("XDG_DATA_HOME", Scratch("data").c_str());
  const std::string elsewhere = Make("data/rdrconf/RDRCONF.en-US.ini", "[language]\n");
  EXPECT_EQ(LanguageFilePath(kEnglishCode), elsewhere);
}

TEST_F(LanguagePlacesTest, WithoutDataFoldersTheSystemDefaultsAreSearched) {
  environment_.Set("XDG_DATA_DIRS", nullptr);
  const LanguagePlaces places = LanguagePlaces::Find();
  ASSERT_EQ(places.textFolders.size(), 3u);
  EXPECT_EQ(places.textFolders[1], "/usr/local/share/rdrconf/");
  EXPECT_EQ(places.textFolders[2], "/usr/share/rdrconf/");
}

TEST_F(LanguagePlacesTest, ChoiceIsKeptInTheUsersConfigurationFolder) {
  Make("share/rdrconf/RDRCONF.en-US.ini", "[language]\nform_title=Shipped\n");
  EXPECT_EQ(ReadLanguageChoice(), kChineseCode);
  ASSERT_TRUE(SaveLanguageChoice(kEnglishCode)) << "its folders are made";
  EXPECT_EQ(ReadBytes(Scratch("home/.config/rdrconf/RDRCONF.config")), "[config]\nlanguage=en-US\n");
  EXPECT_EQ(ReadLanguageChoice(), kEnglishCode);
  EXPECT_FALSE(std::filesystem::exists(kWorkingChoiceFile)) << "nothing lands in the working folder";

  SelectLanguageFile(ReadLanguageChoice());
  EXPECT_EQ(LoadUiText(ui_text::kFormTitle), "Shipped");

  environment_.Set("XDG_CONFIG_HOME", Scratch("config").c_str());
  EXPECT_EQ(ReadLanguageChoice(), kChineseCode);
  ASSERT_TRUE(SaveLanguageChoice(kEnglishCode));
  EXPECT_EQ(ReadBytes(Scratch("config/rdrconf/RDRCONF.config")), "[config]\nlanguage=en-US\n");

  // Relative values are ignored, and without HOME there is nowhere to keep it.
  environment_.Set("XDG_CONFIG_HOME", "relative");
  environment_.Set("HOME", "home");
  EXPECT_EQ(LanguagePlaces::Find().choiceFile, "");
  EXPECT_FALSE(SaveLanguageChoice(kEnglishCode));
  EXPECT_FALSE(std::filesystem::exists("relative"));
}

#endif

// UTF-8 throughout, checked without a conversion library.
bool IsUtf8(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
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
  EXPECT_TRUE(IsUtf8(bytes));

  std::vector<const char*> keys(std::begin(ui_text::kCatalogueKeys), std::end(ui_text::kCatalogueKeys));
  keys.insert(keys.end(), std::begin(ui_text::kAddedKeys), std::end(ui_text::kAddedKeys));
  for (const char* key : keys) {
    const std::string text = ReadProfileString(Path(), kUiTextSection, key, "");
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_LT(text.size(), kProfileValueLimit) << key;
  }
  // One line for the section, one per key: no unknown or repeated keys.
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + static_cast<long>(keys.size()));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '='), static_cast<long>(keys.size()));
}

TEST(BuiltInTextTest, IsTheShippedEnglishFile) {
  const std::string path = std::string(RDRCONF_LANG_DIR) + "/RDRCONF.en-US.ini";
  for (const char* key : ui_text::kCatalogueKeys) {
    EXPECT_EQ(BuiltInText(key), ReadProfileString(path, kUiTextSection, key, "")) << key;
  }
  EXPECT_EQ(BuiltInText("no_such_key"), "");
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
