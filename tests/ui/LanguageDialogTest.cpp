#include "ui/LanguageDialog.h"
#include "dialogs/qt/DialogWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <set>
#include <filesystem>
#include <string>

#include "i18n/Language.h"
#include "i18n/ProfileFile.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/FakeMessageBox.h"

namespace rdrconf {
namespace {

constexpr char kChoiceFile[] = "./RDRCONF.config";

using test::ReadBytes;
using test::WriteBytes;

class LanguageDialogTest : public test::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    // Simplified Chinese is in effect; the English file must never be read.
    WriteBytes("RDRCONF.zh-CN.ini",
               "[language]\nsystem_ok=保存\nsystem_restart=重新启动后生效\nsys_failed=保存失败\n");
    WriteBytes("RDRCONF.en-US.ini",
               "[language]\nsystem_ok=Save\nsystem_restart=Restart\nsys_failed=Failed\n");
    SelectLanguageFile(kChineseCode);
  }

  static QComboBox* List(CAboutDlg& dialog) { return dialog.Window().ControlAs<QComboBox>(kLanguageListId); }
  static QPushButton* SaveButton(CAboutDlg& dialog) { return dialog.Window().ControlAs<QPushButton>(kIdOk); }

  test::FakeMessageBox boxes_;
};

TEST_F(LanguageDialogTest, OpensWithTheStoredChoiceSelected) {
  const struct {
    const char* name;
    const char* stored;  // nullptr: no language-choice file
    int index;
  } cases[] = {
      {"no file", nullptr, 0},
      {"zh-CN", "[config]\nlanguage=zh-CN\n", 0},
      {"en-US", "[config]\nlanguage=en-US\n", 1},
      {"other case", "[config]\nlanguage=ZH-CN\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(kChoiceFile);
    if (c.stored != nullptr) WriteBytes(kChoiceFile, c.stored);
    CAboutDlg dialog(boxes_);
    dialog.Window().show();
    EXPECT_EQ(dialog.Window().windowTitle(), QStringLiteral("Language"));
    ASSERT_EQ(List(dialog)->count(), 2);
    EXPECT_EQ(List(dialog)->itemText(0), QStringLiteral("简体中文"));
    EXPECT_EQ(List(dialog)->itemText(1), QStringLiteral("English"));
    EXPECT_EQ(List(dialog)->currentIndex(), c.index);
    EXPECT_EQ(SaveButton(dialog)->text(), QStringLiteral("保存"));
    EXPECT_TRUE(SaveButton(dialog)->isDefault());
    dialog.Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog.Window()));
    EXPECT_EQ(QApplication::focusWidget(), List(dialog)) << "the list is the first tab stop";
  }
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(LanguageDialogTest, SaveStoresTheChoiceAndShowsTheNoticeInTheLanguageInEffect) {
  const struct {
    const char* name;
    const char* stored;  // nullptr: no language-choice file
    int pick;            // -1: no selection
    const char* written;
  } cases[] = {
      {"English chosen", nullptr, 1, "en-US"},
      {"unchanged choice is still saved", nullptr, 0, "zh-CN"},
      {"Chinese chosen", "; mine\n[config]\nlanguage=en-US\n", 0, "zh-CN"},
      {"no selection means English", "[config]\nlanguage=zh-CN\n", -1, "en-US"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(kChoiceFile);
    if (c.stored != nullptr) WriteBytes(kChoiceFile, c.stored);
    boxes_.Clear();
    CAboutDlg dialog(boxes_);
    dialog.Window().show();
    List(dialog)->setCurrentIndex(c.pick);
    QTest::mouseClick(SaveButton(dialog), Qt::LeftButton);

    EXPECT_EQ(ReadProfileString(kChoiceFile, "config", "language", ""), c.written);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"重新启动后生效"});
    ASSERT_FALSE(boxes_.Boxes().empty());
    EXPECT_EQ(boxes_.Boxes()[0].owner, &dialog);
    EXPECT_EQ(dialog.Window().result(), kIdOk);
    EXPECT_FALSE(dialog.Window().isVisible());
    EXPECT_EQ(TextCatalogue::Instance().Path(), "./RDRCONF.zh-CN.ini");
  }
}

TEST_F(LanguageDialogTest, EnterSaves) {
  CAboutDlg dialog(boxes_);
  dialog.Window().show();
  List(dialog)->setCurrentIndex(1);
  List(dialog)->setFocus();
  QTest::keyClick(List(dialog), Qt::Key_Return);

  EXPECT_EQ(ReadBytes(kChoiceFile), "[config]\nlanguage=en-US\n");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"重新启动后生效"});
  EXPECT_EQ(dialog.Window().result(), kIdOk);
  EXPECT_FALSE(dialog.Window().isVisible());
}

TEST_F(LanguageDialogTest, EscAndTheCloseBoxStoreNothing) {
  const std::string stored = "[config]\r\nlanguage=zh-CN\r\n";
  for (const bool useCloseBox : {false, true}) {
    SCOPED_TRACE(useCloseBox ? "close box" : "Esc");
    WriteBytes(kChoiceFile, stored);
    CAboutDlg dialog(boxes_);
    dialog.Window().show();
    List(dialog)->setCurrentIndex(1);
    if (useCloseBox) {
      dialog.Window().close();
    } else {
      QTest::keyClick(List(dialog), Qt::Key_Escape);
    }
    EXPECT_EQ(ReadBytes(kChoiceFile), stored);
    EXPECT_EQ(dialog.Window().result(), kIdCancel);
    EXPECT_FALSE(dialog.Window().isVisible());
  }
  std::filesystem::remove(kChoiceFile);
  {
    CAboutDlg dialog(boxes_);
    dialog.Window().show();
    QTest::keyClick(List(dialog), Qt::Key_Escape);
  }
  EXPECT_FALSE(std::filesystem::exists(kChoiceFile)) << "no file is created";
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(LanguageDialogTest, FailedSaveIsReportedAndTheDialogStaysOpen) {
  const std::string stored = "; written by hand\n[config]\nlanguage=zh-CN\n";
  WriteBytes(kChoiceFile, stored);
  CAboutDlg dialog(boxes_);
  dialog.Window().show();
  List(dialog)->setCurrentIndex(1);
  {
    test::FileSizeLimit limit(8);
    QTest::mouseClick(SaveButton(dialog), Qt::LeftButton);
  }
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"保存失败"});
  EXPECT_TRUE(dialog.Window().isVisible());
  EXPECT_EQ(ReadBytes(kChoiceFile), stored);
  EXPECT_EQ(FolderEntries(),
            (std::set<std::string>{"RDRCONF.config", "RDRCONF.en-US.ini", "RDRCONF.zh-CN.ini"}));

  // Once the file can be written again, Save goes through.
  QTest::mouseClick(SaveButton(dialog), Qt::LeftButton);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"保存失败", "重新启动后生效"}));
  EXPECT_EQ(ReadBytes(kChoiceFile), "; written by hand\n[config]\nlanguage=en-US\n");
  EXPECT_EQ(dialog.Window().result(), kIdOk);
}

}  // namespace
}  // namespace rdrconf
