// What a screen reader calls each control of the two windows, in both
// languages, with the shipped language files: the accessibility interfaces
// that Qt hands on to AT-SPI (tests/app/accessible_names_test.sh reads the
// same over AT-SPI from the running program).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "dialogs/qt/DialogWindow.h"
#include "i18n/Language.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/LanguageDialog.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

namespace id = settings_id;

struct Names {
  const char* language;
  // The settings window's controls that take the focus, in tab order.
  std::vector<std::pair<int, QString>> settings;
  QString languageList;
  QString save;
};

const Names kChinese{kChineseCode,
                     {{id::kCardType, "卡类型"},
                      {id::kCardnoType, "卡号类型"},
                      {id::kMode, "模式"},
                      {id::kEnter, "回车"},
                      {id::kPowerSaving, "省电模式（笔记本启用）"},
                      {id::kSetConfig, "设置参数"},
                      {id::kRestoreConfig, "恢复默认参数"},
                      {id::kReaderPicker, "读卡器"},
                      {id::kTestScan, "测试刷卡"}},
                     "语言",
                     "保存"};
const Names kEnglish{kEnglishCode,
                     {{id::kCardType, "Card type"},
                      {id::kCardnoType, "Format"},
                      {id::kMode, "Mode"},
                      {id::kEnter, "Enter"},
                      {id::kPowerSaving, "Power saving (for laptops)"},
                      {id::kSetConfig, "Apply"},
                      {id::kRestoreConfig, "Defaults"},
                      {id::kReaderPicker, "Reader"},
                      {id::kTestScan, "Test a card"}},
                     "Language",
                     "Save"};

// Test names and failures show the language.
void PrintTo(const Names& names, std::ostream* out) { *out << names.language; }

// The label whose text names each list.
const std::map<int, int> kLabelOf = {{id::kCardType, id::kLblCardType},
                                     {id::kCardnoType, id::kLblCardnoType},
                                     {id::kMode, id::kLblMode},
                                     {id::kEnter, id::kLblEnter}};

QAccessibleInterface* AccessibleOf(const DialogBase& dialog, int id) {
  return QAccessible::queryAccessibleInterface(dialog.Window().Control(id));
}

std::vector<QObject*> LabelsOf(QAccessibleInterface* control) {
  std::vector<QObject*> labels;
  for (const auto& relation : control->relations(QAccessible::Label)) labels.push_back(relation.first->object());
  return labels;
}

// Two readers, so that the picker shows; the shipped language files in the
// working folder, and the language chosen.
class AccessibleNamesTest : public test::SettingsWindowFixture, public ::testing::WithParamInterface<Names> {
 protected:
  AccessibleNamesTest() : SettingsWindowFixture(host) {}

  void SetUp() override {
    SettingsWindowFixture::SetUp();
    for (const char* code : {kChineseCode, kEnglishCode}) {
      const std::string file = std::string("RDRCONF.") + code + ".ini";
      test::WriteBytes(file, test::ReadBytes(std::string(RDRCONF_LANG_DIR) + "/" + file));
    }
    test::WriteBytes("RDRCONF.config", std::string("[config]\nlanguage=") + GetParam().language + "\n");
    host.AddReader("/dev/hidraw1", "A1");
    host.AddReader("/dev/hidraw2", "B2");
  }

  test::FakeHidHost host;
};

TEST_P(AccessibleNamesTest, EveryControlThatTakesTheFocusHasItsName) {
  Start();
  ASSERT_TRUE(Get<QComboBox>(id::kReaderPicker)->isVisible()) << "two readers: the picker shows";
  for (const auto& [control, name] : GetParam().settings) {
    SCOPED_TRACE(control);
    QAccessibleInterface* accessible = AccessibleOf(*window, control);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), name);
    const auto label = kLabelOf.find(control);
    if (label != kLabelOf.end()) {
      EXPECT_EQ(accessible->role(), QAccessible::ComboBox);
      EXPECT_EQ(LabelsOf(accessible), std::vector<QObject*>{window->Window().Control(label->second)});
      EXPECT_EQ(accessible->text(QAccessible::Value), Get<QComboBox>(control)->currentText()) << "the value, apart";
    } else {
      EXPECT_TRUE(LabelsOf(accessible).empty()) << "named by a text of its own";
    }
  }

  // The status line is read as it shows; the test scan's result is a
  // notification, announced whenever it is given a text.
  QAccessibleInterface* status = AccessibleOf(*window, id::kStatus);
  EXPECT_FALSE(status->text(QAccessible::Name).isEmpty());
  EXPECT_EQ(status->text(QAccessible::Name), Get<QLabel>(id::kStatus)->text());
  EXPECT_EQ(AccessibleOf(*window, id::kScanResult)->role(), QAccessible::Notification);

  CAboutDlg languageDialog(boxes, window.get());
  languageDialog.Window().show();
  QAccessibleInterface* list = AccessibleOf(languageDialog, kLanguageListId);
  EXPECT_EQ(list->text(QAccessible::Name), GetParam().languageList);
  EXPECT_EQ(list->text(QAccessible::Value),
            std::string(GetParam().language) == kChineseCode ? QStringLiteral("简体中文") : QStringLiteral("English"));
  EXPECT_EQ(AccessibleOf(languageDialog, kIdOk)->text(QAccessible::Name), GetParam().save);
}

INSTANTIATE_TEST_SUITE_P(Languages, AccessibleNamesTest, ::testing::Values(kChinese, kEnglish),
                         [](const ::testing::TestParamInfo<Names>& info) {
                           return std::string(info.param.language) == kChineseCode ? "Chinese" : "English";
                         });

}  // namespace
}  // namespace rdrconf
