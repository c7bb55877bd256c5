// The Win32 back-end of the dialog framework: the template as a real dialog,
// controls by id, data exchange, captions, the system menu, events, keys in
// the modal run, timers, the icon and the message box; and the settings
// window of ui/ running on it unchanged.
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
#include "i18n/Language.h"
#include "reader/CardReader.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/ScratchFolder.h"
#include "ui/LanguageDialog.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

constexpr int kList = 100;
constexpr int kCheck = 101;
constexpr int kButton = 102;
constexpr int kLabel = 103;
constexpr int kBox = 104;
constexpr int kOther = 105;

DialogTemplate TestTemplate(bool withDefaultButton) {
  DialogTemplate t;
  t.width = 200;
  t.height = 100;
  t.caption = "模板";
  t.fontFamily = "Calibri";
  t.fontPointSize = 14;
  t.boldFont = true;
  t.controls = {
      DropDownList(kList, {10, 10, 80, 60}, {"one", "two", "three"}),
      CheckBox(kCheck, {10, 30, 80, 10}, "check"),
      PushButton(kButton, {10, 50, 50, 14}, "press").Disabled(),
      Label(kLabel, {100, 10, 50, 8}, "a & b"),
      GroupBox(kBox, {5, 5, 190, 90}, "box"),
      PushButton(kOther, {70, 50, 40, 14}, "other").Hidden(),
  };
  if (withDefaultButton) t.controls.push_back(DefaultPushButton(kIdOk, {120, 50, 50, 14}, "save"));
  return t;
}

// Records every box instead of showing it.
class RecordingBoxes final : public MessageBoxService {
 public:
  void Show(DialogBase*, const std::string& text, const std::string& details) override {
    shown.push_back(details.empty() ? text : text + " | " + details);
  }
  std::vector<std::string> shown;
};

RecordingBoxes& Unwatched() {
  static RecordingBoxes boxes;
  return boxes;
}

// Records what the base dispatches, and exchanges two members.
class ProbeDialog : public DialogBase {
 public:
  explicit ProbeDialog(bool withDefaultButton = false, DialogBase* owner = nullptr)
      : DialogBase(TestTemplate(withDefaultButton), Unwatched(), owner) {}

  int list = 1;
  int check = 1;
  std::vector<std::string> events;
  std::function<void()> onInit;

  using DialogBase::EndDialog;

 protected:
  void DoDataExchange(DataExchange& exchange) override {
    exchange.ListIndex(kList, list);
    exchange.CheckState(kCheck, check);
  }
  void OnInitDialog() override {
    events.push_back("init");
    DialogBase::OnInitDialog();
    if (onInit) onInit();
  }
  void OnOK() override {
    events.push_back("ok");
    DialogBase::OnOK();
  }
  void OnCancel() override {
    events.push_back("cancel");
    DialogBase::OnCancel();
  }
  void OnCommand(int id) override {
    events.push_back("command " + std::to_string(id));
    DialogBase::OnCommand(id);
  }
  void OnListSelectionChange(int id) override { events.push_back("selection " + std::to_string(id)); }
  void OnCloseRequest() override {
    events.push_back("close");
    DialogBase::OnCloseRequest();
  }
  void OnSystemCommand(int id) override { events.push_back("system " + std::to_string(id)); }
  void OnEndDialog() override { events.push_back("end"); }
};

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

LONG StyleOf(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

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
  ProbeDialog dialog(true);
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
    explicit Plain(const DialogTemplate& t) : DialogBase(t, Unwatched()) {}
  } dialog(t);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(dialog.Window().Handle(), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW logical{};
  ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
  EXPECT_EQ(std::wstring(logical.lfFaceName).rfind(L"MS Shell Dlg", 0), 0u) << logical.lfFaceName;
  EXPECT_EQ(logical.lfWeight, FW_NORMAL);
}

TEST(Win32DialogTest, DropDownListsKeepTheirItemsInOrder) {
  ProbeDialog dialog;
  HWND const list = GetDlgItem(dialog.Window().Handle(), kList);
  EXPECT_EQ(dialog.ListItemCount(kList), 3);
  EXPECT_EQ(dialog.ListSelection(kList), -1) << "none selected at first";
  dialog.AddListItem(kList, "a-zero");
  dialog.AddListItem(kList, "\xE7\xAE\x80\xE4\xBD\x93");  // 简体, UTF-8
  EXPECT_EQ(dialog.ListItemCount(kList), 5);
  wchar_t text[32] = {};
  SendMessageW(list, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"a-zero") << "appended, not sorted";
  SendMessageW(list, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"\u7b80\u4f53");
  dialog.SelectListItem(kList, 4);
  EXPECT_EQ(dialog.ListSelection(kList), 4);
  dialog.DeleteListItem(kList, 4);
  dialog.DeleteListItem(kList, 0);
  EXPECT_EQ(dialog.ListItemCount(kList), 3);
  SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"two");
  dialog.SelectListItem(kList, 1);
  dialog.SelectListItem(kList, 7);
  EXPECT_EQ(dialog.ListSelection(kList), -1) << "past the end selects nothing";
  dialog.SelectListItem(kList, 2);
  dialog.SelectListItem(kList, -1);
  EXPECT_EQ(dialog.ListSelection(kList), -1);
  EXPECT_THROW(dialog.AddListItem(kCheck, "x"), std::logic_error);
  EXPECT_THROW(dialog.ListSelection(999), std::logic_error);
}

TEST(Win32DialogTest, DataExchangeGoesBothWays) {
  ProbeDialog dialog;
  dialog.list = 2;
  dialog.check = 1;
  dialog.UpdateData(false);
  EXPECT_EQ(dialog.ListSelection(kList), 2);
  EXPECT_TRUE(dialog.IsChecked(kCheck));
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog.Window().Handle(), kCheck), BM_GETCHECK, 0, 0), BST_CHECKED);

  dialog.SelectListItem(kList, 0);
  dialog.SetChecked(kCheck, false);
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.list, 0);
  EXPECT_EQ(dialog.check, 0);

  dialog.list = 9;  // no such item: nothing selected
  dialog.UpdateData(false);
  EXPECT_EQ(dialog.ListSelection(kList), -1);
  EXPECT_THROW(dialog.IsChecked(kList), std::logic_error);
}

TEST(Win32DialogTest, CaptionsArePlainTextFromUtf8OrGb18030) {
  ProbeDialog dialog;
  HWND const window = dialog.Window().Handle();
  dialog.SetWindowCaption("USB\xE8\xAF\xBB\xE5\x8D\xA1\xE5\x99\xA8\xE8\xBD\xAF\xE4\xBB\xB6");  // USB读卡器软件
  EXPECT_EQ(TextOf(window), L"USB\u8bfb\u5361\u5668\u8f6f\u4ef6");
  EXPECT_EQ(TextOf(GetDlgItem(window, kLabel)), L"a & b") << "a label shows '&' as it is";
  dialog.SetControlCaption(kButton, "Save & go");
  EXPECT_EQ(TextOf(GetDlgItem(window, kButton)), L"Save && go") << "'&' is no mnemonic";
  dialog.SetControlCaption(kBox, "<b>bold</b>");
  EXPECT_EQ(TextOf(GetDlgItem(window, kBox)), L"<b>bold</b>");
  dialog.SetControlCaption(kLabel, "\xB6\xC1\xBF\xA8");  // 读卡 in GB18030, no UTF-8
  EXPECT_EQ(TextOf(GetDlgItem(window, kLabel)), L"\u8bfb\u5361");
  EXPECT_THROW(dialog.SetControlCaption(kList, "x"), std::logic_error);
  EXPECT_THROW(dialog.SetControlCaption(999, "x"), std::logic_error);

  dialog.EnableControl(kButton);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kButton)));
  dialog.ShowControl(kOther);
  EXPECT_TRUE(StyleOf(GetDlgItem(window, kOther)) & WS_VISIBLE);
  dialog.ShowControl(kOther, false);
  EXPECT_FALSE(StyleOf(GetDlgItem(window, kOther)) & WS_VISIBLE);
}

TEST(Win32DialogTest, WindowMessagesReachTheDialogsHandlers) {
  ProbeDialog dialog;
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
  ProbeDialog dialog;
  dialog.AppendSystemMenuSeparator();
  dialog.AppendSystemMenuItem(kLanguageCommand, kLanguageMenuText);
  HMENU const menu = GetSystemMenu(dialog.Window().Handle(), FALSE);
  ASSERT_NE(menu, nullptr);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(kLanguageCommand));
  wchar_t text[32] = {};
  GetMenuStringW(menu, count - 1, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(text, L"Language");
  MENUITEMINFOW separator{};
  separator.cbSize = sizeof separator;
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(menu, count - 2, TRUE, &separator));
  EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
}

// Posts a key to the control that has the focus, as the keyboard would.
void PostKey(HWND window, WPARAM key) {
  HWND const focus = GetFocus();
  PostMessageW(focus != nullptr ? focus : window, WM_KEYDOWN, key, 1);
}

TEST(Win32DialogTest, ModalRunInitialisesOnceAndEndsWhenShownIfAsked) {
  ProbeDialog dialog;
  dialog.EndWhenShown();
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "end"}));
  EXPECT_FALSE(IsWindowVisible(dialog.Window().Handle()));
  dialog.EndWhenShown();
  dialog.DoModal();
  EXPECT_EQ(std::count(dialog.events.begin(), dialog.events.end(), "init"), 1);
}

TEST(Win32DialogTest, DialogThatEndsInItsInitialisationReturnsAtOnceUnshown) {
  ProbeDialog dialog;
  dialog.onInit = [&] { dialog.EndDialog(kIdOk); };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "end"}));
  EXPECT_FALSE(IsWindowVisible(dialog.Window().Handle()));
}

TEST(Win32DialogTest, EscapeCancelsAndEnterGoesToTheDefaultButton) {
  {
    ProbeDialog dialog(true);
    dialog.onInit = [&] { dialog.StartTimer(0, [&] { PostKey(dialog.Window().Handle(), VK_ESCAPE); }); };
    EXPECT_EQ(dialog.DoModal(), kIdCancel);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "cancel", "end"}));
  }
  {
    ProbeDialog dialog(true);
    dialog.onInit = [&] {
      dialog.SelectListItem(kList, 2);
      dialog.StartTimer(0, [&] { PostKey(dialog.Window().Handle(), VK_RETURN); });
    };
    EXPECT_EQ(dialog.DoModal(), kIdOk);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "command 1", "ok", "end"}));
    EXPECT_EQ(dialog.list, 2) << "OK took the controls' values";
  }
  {
    // No default button: Enter is the OK command itself.
    ProbeDialog dialog(false);
    dialog.onInit = [&] { dialog.StartTimer(0, [&] { PostKey(dialog.Window().Handle(), VK_RETURN); }); };
    EXPECT_EQ(dialog.DoModal(), kIdOk);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "ok", "end"}));
  }
  {
    // The focused push button is pressed, not the default one.
    ProbeDialog dialog(true);
    dialog.onInit = [&] {
      dialog.EnableControl(kButton);
      dialog.StartTimer(0, [&] {
        SetFocus(GetDlgItem(dialog.Window().Handle(), kButton));
        PostKey(dialog.Window().Handle(), VK_RETURN);
        dialog.StartTimer(0, [&] { dialog.EndDialog(kIdCancel); });
      });
    };
    dialog.DoModal();
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"init", "command 102", "end"}));
  }
}

TEST(Win32DialogTest, OwnerStaysDisabledWhileItsModalChildRuns) {
  ProbeDialog owner;
  bool ownerEnabledDuringChild = true;
  owner.onInit = [&] {
    owner.StartTimer(0, [&] {
      ProbeDialog child(false, &owner);
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

TEST(Win32DialogTest, TimersFireOnceUnlessStoppedAndEndWithTheDialog) {
  ProbeDialog dialog;
  int fired = 0;
  int stoppedFired = 0;
  dialog.onInit = [&] {
    const int stopped = dialog.StartTimer(0, [&] { ++stoppedFired; });
    dialog.StopTimer(stopped);
    dialog.StartTimer(0, [&] {
      ++fired;
      // Started from inside a timer: runs as well.
      dialog.StartTimer(0, [&] {
        ++fired;
        dialog.StartTimer(60000, [&] { ++fired; });  // outlived by the dialog
        dialog.EndDialog(kIdOk);
      });
    });
  };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(stoppedFired, 0);
}

TEST(Win32DialogTest, DescriptorsCannotBeWatched) {
  ProbeDialog dialog;
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

  ProbeDialog dialog;
  dialog.SetIcon(icon);
  HWND const window = dialog.Window().Handle();
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)), icons->bigIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icons->smallIcon);
}

// The real box, read and dismissed from a timer of its owner, which keeps
// running while the box's own loop does.
TEST(Win32DialogTest, MessageBoxIsOwnedByTheWindowWithAnEmptyTitleOneButtonAndNoIcon) {
  ProbeDialog dialog;
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

// The settings window of ui/ on this back-end, in an empty folder: no
// reader (the in-memory host has none), no language file (the built-in
// English texts), and the Language item of its system menu.
using Win32SettingsWindowTest = test::ScratchFolderTest;

TEST_F(Win32SettingsWindowTest, StartsWithTheBuiltInTextsAndTheLanguageItem) {
  test::FakeHidHost host;
  CardReader reader(host);
  RecordingBoxes boxes;
  CRDRCONFNormalDlg window(reader, boxes);
  window.EndWhenShown();
  window.DoModal();
  HWND const handle = window.Window().Handle();
  EXPECT_EQ(FromWindowText(TextOf(handle)), BuiltInText(ui_text::kFormTitle));
  EXPECT_EQ(FromWindowText(TextOf(GetDlgItem(handle, settings_id::kSetConfig))), BuiltInText(ui_text::kBtnSetConfig));
  EXPECT_EQ(window.ListItemCount(settings_id::kCardnoType), 13) << "eight fixed formats and five for IC cards";
  EXPECT_EQ(window.ListSelection(settings_id::kCardnoType), kDefaultCardNumberFormat);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(handle, settings_id::kSetConfig)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(handle, settings_id::kTestScan))) << "no keyboard side on Windows";
  HMENU const menu = GetSystemMenu(handle, FALSE);
  EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 1), static_cast<UINT>(kLanguageCommand));
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace rdrconf
