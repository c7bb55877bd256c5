// The windows of ui/ on the Win32 back-end, under wine: the settings window
// starts as on Linux, and its controls stand in the order from which
// Windows names them for screen readers and moves the focus with Tab.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/win32/DialogWindow.h"
#include "i18n/Language.h"
#include "reader/CardReader.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/Win32Window.h"
#include "ui/LanguageDialog.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

namespace id = settings_id;
using test::IsClass;
using test::TextOf;

// The window's controls in z-order, which is the template's order.
std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
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
  EXPECT_EQ(window->ListSelection(id::kCardnoType), kDefaultCardNumberFormat);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Handle(), id::kSetConfig)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Handle(), id::kTestScan))) << "no keyboard side on Windows";
  HMENU const menu = GetSystemMenu(Handle(), FALSE);
  EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 1), static_cast<UINT>(kLanguageCommand));
  EXPECT_TRUE(boxes.Boxes().empty());
}

// Windows calls a list by the static text right before it in z-order (wine
// calls it by its own text, so the order is what can be checked here); the
// lists without one are named through the accessibility API, which wine
// lacks, and which must then fail quietly.
TEST_F(Win32SettingsWindowTest, EachListStandsRightAfterTheLabelThatNamesIt) {
  Start();
  const struct {
    int list;
    int label;
    const char* key;
  } named[] = {{id::kCardType, id::kLblCardType, ui_text::kLblCardType},
               {id::kCardnoType, id::kLblCardnoType, ui_text::kLblCardnoType},
               {id::kMode, id::kLblMode, ui_text::kLblMode},
               {id::kEnter, id::kLblEnter, ui_text::kLblEnter}};
  for (const auto& n : named) {
    SCOPED_TRACE(n.key);
    HWND const before = GetWindow(GetDlgItem(Handle(), n.list), GW_HWNDPREV);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(GetDlgCtrlID(before), n.label);
    EXPECT_TRUE(IsClass(before, L"Static"));
    EXPECT_EQ(FromWindowText(TextOf(before)), BuiltInText(n.key));
  }
  HWND const beforePicker = GetWindow(GetDlgItem(Handle(), id::kReaderPicker), GW_HWNDPREV);
  EXPECT_FALSE(IsClass(beforePicker, L"Static")) << "the picker is named by the API, not by the status line";
  EXPECT_NO_THROW(window->SetControlName(id::kReaderPicker, "Reader"));
}

// Tab moves through the controls that take the focus in z-order: the
// options first, then the additions.
TEST_F(Win32SettingsWindowTest, TabOrderIsTheOptionsThenTheAdditions) {
  Start();
  std::vector<int> tabStops;
  for (HWND child : Children(Handle())) {
    if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) tabStops.push_back(GetDlgCtrlID(child));
  }
  EXPECT_EQ(tabStops, (std::vector<int>{id::kCardType, id::kCardnoType, id::kMode, id::kEnter, id::kPowerSaving,
                                        id::kSetConfig, id::kRestoreConfig, id::kReaderPicker, id::kTestScan}));
}

// Nothing names the language dialog's list but the accessibility API (its
// name is set as the dialog starts, which wine refuses quietly).
TEST_F(Win32SettingsWindowTest, TheLanguageDialogsListHasNoLabelBeforeIt) {
  Start();
  CAboutDlg dialog(boxes, window.get());
  dialog.EndWhenShown();
  dialog.DoModal();
  HWND const list = GetDlgItem(dialog.Window().Handle(), kLanguageListId);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(GetWindow(list, GW_HWNDPREV), nullptr) << "the first control";
}

}  // namespace
}  // namespace rdrconf
