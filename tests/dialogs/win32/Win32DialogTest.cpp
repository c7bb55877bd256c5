// The Win32 back-end of the dialog framework, beside the contract that every
// back-end keeps (../DialogContractTest.cpp): the template as a real dialog
// of window classes and styles in dialog units with its font, the window
// messages it answers, the real system menu, the owner of a modal child, the
// icon, the message box, and the order in which Windows names controls for
// screen readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogs/AppIcon.h"
#include "dialogs/DialogBase.h"
#include "dialogs/MessageBox.h"
#include "dialogs/win32/DialogWindow.h"
#include "tests/support/RecordingDialog.h"
#include "tests/support/Win32Window.h"

namespace rdrconf {
namespace {

using namespace test::probe_id;
using test::ClassOf;
using test::RecordingDialog;
using test::StyleOf;
using test::TextOf;
using test::UnwatchedBoxes;

// A control's place in the dialog's client area, in pixels.
RECT PlaceOf(HWND dialog, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT Pixels(HWND dialog, const DialogUnitRect& units) {
  RECT rect{units.x, units.y, units.x + units.width, units.y + units.height};
  MapDialogRect(dialog, &rect);
  return rect;
}

TEST(Win32DialogTest, TemplateBecomesARealDialogInDialogUnitsWithItsFont) {
  RecordingDialog dialog(true);
  HWND const window = dialog.Window().Handle();
  EXPECT_EQ(TextOf(window), L"\u6a21\u677f");
  EXPECT_FALSE(IsWindowVisible(window)) << "hidden until the modal run";
  EXPECT_TRUE(StyleOf(window) & WS_SYSMENU);

  struct Expected {
    int id;
    const wchar_t* windowClass;
    LONG typeMask;
    LONG type;
  };
  const Expected controls[] = {
      {kList, L"ComboBox", 0x3, CBS_DROPDOWNLIST},    {kCheck, L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX},
      {kButton, L"Button", BS_TYPEMASK, BS_PUSHBUTTON}, {kLabel, L"Static", SS_NOPREFIX, SS_NOPREFIX},
      {kBox, L"Button", BS_TYPEMASK, BS_GROUPBOX},      {kIdOk, L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.id);
    HWND const control = GetDlgItem(window, c.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), c.windowClass), 0) << ClassOf(control).c_str();
    EXPECT_EQ(StyleOf(control) & c.typeMask, c.type);
    EXPECT_TRUE(dialog.HasControl(c.id));
  }
  EXPECT_FALSE(dialog.HasControl(999));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kButton)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kOther)) || (StyleOf(GetDlgItem(window, kOther)) & WS_VISIBLE));
  EXPECT_TRUE(StyleOf(GetDlgItem(window, kCheck)) & WS_VISIBLE);

  // Places in dialog units, as the dialog's font makes them pixels; a
  // drop-down list is as high as closed, its template height being that of
  // the opened list.
  const RECT label = PlaceOf(window, GetDlgItem(window, kLabel));
  const RECT labelExpected = Pixels(window, {100, 10, 50, 8});
  EXPECT_EQ(label.left, labelExpected.left);
  EXPECT_EQ(label.top, labelExpected.top);
  EXPECT_EQ(label.right, labelExpected.right);
  EXPECT_EQ(label.bottom, labelExpected.bottom);
  const RECT list = PlaceOf(window, GetDlgItem(window, kList));
  const RECT listExpected = Pixels(window, {10, 10, 80, 60});
  EXPECT_EQ(list.left, listExpected.left);
  EXPECT_EQ(list.right, listExpected.right);
  EXPECT_LT(list.bottom, listExpected.bottom);

  // The template's font: Calibri, 14 points, bold.
  const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW logical{};
  ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
  EXPECT_STREQ(logical.lfFaceName, L"Calibri");
  EXPECT_EQ(logical.lfWeight, FW_BOLD);
  HDC const screen = GetDC(nullptr);
  EXPECT_EQ(logical.lfHeight, -MulDiv(14, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
}

TEST(Win32DialogTest, TemplateWithoutAFaceTakesTheDesktopsDialogFont) {
  DialogTemplate t;
  t.width = 100;
  t.height = 40;
  t.caption = "Language";
  t.fontPointSize = 8;
  t.controls = {DefaultPushButton(kIdOk, {10, 10, 50, 14}, "Save")};
  class Plain : public DialogBase {
   public:
    explicit Plain(const DialogTemplate& t) : DialogBase(t, UnwatchedBoxes()) {}
  } dialog(t);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog.Window().Handle(), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW logical{};
  ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
  EXPECT_EQ(std::wstring(logical.lfFaceName).rfind(L"MS Shell Dlg", 0), 0u) << logical.lfFaceName;
  EXPECT_EQ(logical.lfWeight, FW_NORMAL);
}

// What the contract reads as shown text, in the window's own text: a
// button's '&' doubled (Windows would take it as a mnemonic), a label's as
// it is (its style reads no mnemonics).
TEST(Win32DialogTest, CaptionsKeepTheirAmpersandsOutOfTheMnemonics) {
  RecordingDialog dialog;
  HWND const window = dialog.Window().Handle();
  EXPECT_EQ(TextOf(GetDlgItem(window, kLabel)), L"a & b");
  EXPECT_TRUE(StyleOf(GetDlgItem(window, kLabel)) & SS_NOPREFIX);
  dialog.SetControlCaption(kButton, "Save & go");
  EXPECT_EQ(TextOf(GetDlgItem(window, kButton)), L"Save && go");
  dialog.SetControlCaption(kBox, "R&D");
  EXPECT_EQ(TextOf(GetDlgItem(window, kBox)), L"R&&D");
}

TEST(Win32DialogTest, WindowMessagesReachTheDialogsHandlers) {
  RecordingDialog dialog;
  HWND const window = dialog.Window().Handle();
  const auto command = [&](int id, int code) {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  };
  command(kButton, BN_CLICKED);
  command(kCheck, BN_CLICKED);  // a check box's click is no command
  command(kList, CBN_SELCHANGE);
  command(kList, CBN_DROPDOWN);
  SendMessageW(window, WM_SYSCOMMAND, 256, 0);
  SendMessageW(window, WM_SYSCOMMAND, 256 | 0x3, 0);
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"command 102", "selection 100", "system 256", "system 259",
                                                     "close", "cancel", "end"}));
}

TEST(Win32DialogTest, SystemMenuGetsTheItemsAppended) {
  RecordingDialog dialog;
  dialog.AppendSystemMenuSeparator();
  dialog.AppendSystemMenuItem(256, "Language");
  HMENU const menu = GetSystemMenu(dialog.Window().Handle(), FALSE);
  ASSERT_NE(menu, nullptr);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), 256u);
  wchar_t text[32] = {};
  GetMenuStringW(menu, count - 1, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"Language");
  MENUITEMINFOW separator{};
  separator.cbSize = sizeof separator;
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(menu, count - 2, TRUE, &separator));
  EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
}

TEST(Win32DialogTest, OwnerStaysDisabledWhileItsModalChildRuns) {
  RecordingDialog owner;
  bool ownerEnabledDuringChild = true;
  owner.onInit = [&] {
    owner.StartTimer(0, [&] {
      RecordingDialog child(false, UnwatchedBoxes(), &owner);
      child.onInit = [&] {
        child.StartTimer(0, [&] {
          ownerEnabledDuringChild = IsWindowEnabled(owner.Window().Handle()) != 0;
          child.EndDialog(kIdOk);
        });
      };
      EXPECT_EQ(child.DoModal(), kIdOk);
      EXPECT_TRUE(IsWindowEnabled(owner.Window().Handle())) << "enabled again once the child ended";
      owner.EndDialog(kIdCancel);
    });
  };
  owner.DoModal();
  EXPECT_FALSE(ownerEnabledDuringChild);
}

TEST(Win32DialogTest, DescriptorsCannotBeWatched) {
  RecordingDialog dialog;
  EXPECT_THROW(dialog.WatchDescriptor(3, [] {}), std::logic_error);
  EXPECT_NO_THROW(dialog.StopWatching(3));
}

TEST(Win32DialogTest, ApplicationIconComesFromTheProgramsIconGroup) {
  const IconHandle icon = LoadAppIcon();
  ASSERT_FALSE(icon.IsNull());
  const Win32Icon* const icons = ToWin32Icon(icon);
  ASSERT_NE(icons, nullptr);
  ASSERT_NE(icons->bigIcon, nullptr);
  ASSERT_NE(icons->smallIcon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icons->smallIcon, &info));
  BITMAP bitmap{};
  GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
  EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXSMICON));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  RecordingDialog dialog;
  dialog.SetIcon(icon);
  HWND const window = dialog.Window().Handle();
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)), icons->bigIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icons->smallIcon);
}

// The real box, read and dismissed from a timer of its owner, which keeps
// running while the box's own loop does.
TEST(Win32DialogTest, MessageBoxIsOwnedByTheWindowWithAnEmptyTitleOneButtonAndNoIcon) {
  RecordingDialog dialog;
  SystemMessageBox boxes;
  HWND const owner = dialog.Window().Handle();
  HWND box = nullptr;
  HWND boxOwner = nullptr;
  std::wstring title = L"(none)";
  std::wstring text;
  int buttons = 0;
  bool icon = true;
  dialog.StartTimer(0, [&] {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
          if (GetWindow(window, GW_OWNER) == nullptr) return TRUE;
          *reinterpret_cast<HWND*>(found) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;
    boxOwner = GetWindow(box, GW_OWNER);
    title = TextOf(box);
    text = TextOf(GetDlgItem(box, 0xFFFF));
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0) ++buttons;
    }
    icon = GetDlgItem(box, 20) != nullptr && IsWindowVisible(GetDlgItem(box, 20));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  boxes.Show(&dialog, "Written & done", "details <b>here</b>");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(boxOwner, owner);
  EXPECT_EQ(title, L"");
  EXPECT_EQ(text, L"Written & done\n\ndetails <b>here</b>");
  EXPECT_EQ(buttons, 1);
  EXPECT_FALSE(icon);
}

}  // namespace
}  // namespace rdrconf
