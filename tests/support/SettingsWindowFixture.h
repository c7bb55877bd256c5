#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <memory>
#include <string>

#include "i18n/Language.h"
#include "dialogs/qt/DialogWindow.h"
#include "reader/CardReader.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ScratchFolder.h"
#include "ui/SettingsWindow.h"

namespace rdrconf::test {

// A language file whose every text names its language and key (e.g.
// "zh:sys_success"), so a test sees where a text came from.
inline std::string LanguageFile(const std::string& language) {
  std::string file = "[language]\n";
  for (const char* key : ui_text::kCatalogueKeys) file += std::string(key) + "=" + language + ":" + key + "\n";
  for (const char* key : ui_text::kAddedKeys) file += std::string(key) + "=" + language + ":" + key + "\n";
  return file;
}

inline QString Text(const char* language, const char* key) {
  return QString::fromUtf8(language) + ':' + QString::fromUtf8(key);
}
// The same as the message boxes are given it: UTF-8.
inline std::string TextBytes(const char* language, const char* key) { return Text(language, key).toStdString(); }

// The settings window as a user drives it, in a scratch working folder
// holding both language files (no language choice stored: Chinese), over
// the host a test gives and a stand-in for the message box.
class SettingsWindowFixture : public ScratchFolderTest {
 protected:
  // `host` is used only once the window starts, so a derived fixture may
  // pass a member of its own.
  explicit SettingsWindowFixture(HidHost& host, HotplugSource* hotplug = nullptr,
                                 KeyboardSource* keyboard = nullptr)
      : reader(host, hotplug, keyboard) {}

  void SetUp() override {
    ScratchFolderTest::SetUp();
    WriteBytes("RDRCONF.zh-CN.ini", LanguageFile("zh"));
    WriteBytes("RDRCONF.en-US.ini", LanguageFile("en"));
  }

  void TearDown() override {
    window.reset();
    ScratchFolderTest::TearDown();
  }

  CRDRCONFNormalDlg& Start() {
    window = std::make_unique<CRDRCONFNormalDlg>(reader, boxes);
    window->Window().show();
    return *window;
  }

  template <typename T>
  T* Get(int controlId) const {
    return window->Window().ControlAs<T>(controlId);
  }

  // A user's choice in a drop-down list.
  void Choose(int listId, int position) {
    QComboBox* list = Get<QComboBox>(listId);
    list->setCurrentIndex(position);
    emit list->activated(position);
  }

  void Press(int buttonId) { Get<QPushButton>(buttonId)->click(); }

  test::FakeMessageBox boxes;
  CardReader reader;
  std::unique_ptr<CRDRCONFNormalDlg> window;
};

}  // namespace rdrconf::test
