// The windows of ui/ on the Win32 back-end, under wine: the settings window
// starts as on Linux.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialogs/win32/DialogWindow.h"
#include "i18n/Language.h"
#include "reader/CardReader.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ScratchFolder.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

namespace id = settings_id;

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// In an empty folder: no reader (the in-memory host has none), no language
// file (the built-in English texts).
class Win32SettingsWindowTest : public test::ScratchFolderTest {
 protected:
  Win32SettingsWindowTest() : reader(host) {}

  CRDRCONFNormalDlg& Start() {
    window = std::make_unique<CRDRCONFNormalDlg>(reader, boxes);
    window->EndWhenShown();
    window->DoModal();
    return *window;
  }
  HWND Handle() const { return window->Window().Handle(); }

  test::FakeHidHost host;
  CardReader reader;
  test::FakeMessageBox boxes;
  std::unique_ptr<CRDRCONFNormalDlg> window;
};

TEST_F(Win32SettingsWindowTest, StartsWithTheBuiltInTextsAndTheLanguageItem) {
  Start();
  EXPECT_EQ(FromWindowText(TextOf(Handle())), BuiltInText(ui_text::kFormTitle));
  EXPECT_EQ(FromWindowText(TextOf(GetDlgItem(Handle(), id::kSetConfig))), BuiltInText(ui_text::kBtnSetConfig));
  EXPECT_EQ(window->ListItemCount(id::kCardnoType), 13) << "eight fixed formats and five for IC cards";
  EXPECT_EQ(window->ListSelection(id::kCardnoType), kDefaultCardnoFormat);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Handle(), id::kSetConfig)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Handle(), id::kTestScan))) << "no keyboard side on Windows";
  HMENU const menu = GetSystemMenu(Handle(), FALSE);
  EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 1), static_cast<UINT>(kLanguageCommand));
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
}  // namespace rdrconf
