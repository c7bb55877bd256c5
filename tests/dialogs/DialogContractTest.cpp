// What every back-end of the dialog framework promises (dialogs/DialogBase.h),
// written once and run against each: Qt offscreen on Linux, Win32 under
// wine in the Windows build. What only one back-end has (its widgets or
// window classes, fonts, the real message box) is tested beside it, in
// qt/ and win32/.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialogs/DialogBase.h"
#include "tests/dialogs/WindowProbe.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/RecordingDialog.h"

namespace rdrconf::test {
namespace {

using namespace probe_id;
using Events = std::vector<std::string>;

// Runs `dialog` modally; `whileShown` runs once from the modal run.
int RunShown(RecordingDialog& dialog, std::function<void()> whileShown) {
  dialog.onInit = [&dialog, whileShown = std::move(whileShown)] { dialog.StartTimer(0, whileShown); };
  return dialog.DoModal();
}

TEST(DialogContractTest, ControlsAreMadeFromTheTemplateAndFoundById) {
  RecordingDialog dialog(true);
  EXPECT_EQ(ShownText(dialog, 0), "模板");
  for (const int id : {kList, kCheck, kButton, kLabel, kBox, kOther, kIdOk}) EXPECT_TRUE(dialog.HasControl(id)) << id;
  EXPECT_FALSE(dialog.HasControl(999));
  EXPECT_EQ(ShownText(dialog, kCheck), "check");
  EXPECT_EQ(ShownText(dialog, kLabel), "a & b");
  EXPECT_EQ(ShownText(dialog, kBox), "box");
  EXPECT_EQ(ShownText(dialog, kIdOk), "save");
  EXPECT_FALSE(IsControlEnabled(dialog, kButton)) << "created disabled";
  EXPECT_TRUE(IsControlEnabled(dialog, kCheck));
  EXPECT_FALSE(IsControlShown(dialog, kOther)) << "created hidden";
  EXPECT_TRUE(IsControlShown(dialog, kCheck));
  EXPECT_FALSE(IsWindowShown(dialog)) << "hidden until it runs";
  EXPECT_TRUE(dialog.events.empty()) << "initialised only when first shown";

  // An operation on a control of another kind, or on none, is a mistake of
  // the caller, said at once.
  EXPECT_THROW(dialog.AddListItem(kCheck, "x"), std::logic_error);
  EXPECT_THROW(dialog.ListSelection(999), std::logic_error);
  EXPECT_THROW(dialog.IsChecked(kList), std::logic_error);
  EXPECT_THROW(dialog.SetControlCaption(kList, "x"), std::logic_error);
  EXPECT_THROW(dialog.SetControlCaption(999, "x"), std::logic_error);
  EXPECT_THROW(dialog.SetControlName(999, "x"), std::logic_error);
}

TEST(DialogContractTest, DropDownListsKeepTheirItemsInOrder) {
  RecordingDialog dialog;
  EXPECT_EQ(dialog.ListItemCount(kList), 3);
  EXPECT_EQ(dialog.ListSelection(kList), -1) << "none selected at first";
  dialog.AddListItem(kList, "a-zero");
  dialog.AddListItem(kList, "\xE7\xAE\x80\xE4\xBD\x93");  // 简体
  EXPECT_EQ(dialog.ListItemCount(kList), 5);
  EXPECT_EQ(ListItemText(dialog, kList, 3), "a-zero") << "appended, not sorted";
  EXPECT_EQ(ListItemText(dialog, kList, 4), "简体");
  dialog.SelectListItem(kList, 4);
  EXPECT_EQ(dialog.ListSelection(kList), 4);
  dialog.DeleteListItem(kList, 4);
  dialog.DeleteListItem(kList, 0);
  EXPECT_EQ(dialog.ListItemCount(kList), 3);
  EXPECT_EQ(ListItemText(dialog, kList, 0), "two");
  dialog.SelectListItem(kList, 1);
  dialog.SelectListItem(kList, 7);
  EXPECT_EQ(dialog.ListSelection(kList), -1) << "past the end selects nothing";
  dialog.SelectListItem(kList, 2);
  dialog.SelectListItem(kList, -1);
  EXPECT_EQ(dialog.ListSelection(kList), -1);
}

TEST(DialogContractTest, DataExchangeMovesValuesBothWays) {
  RecordingDialog dialog;
  dialog.Initialise();  // the exchange to the controls: list 1, check 1
  EXPECT_EQ(dialog.ListSelection(kList), 1);
  EXPECT_TRUE(dialog.IsChecked(kCheck));

  dialog.SelectListItem(kList, -1);
  dialog.SetChecked(kCheck, false);
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.list, -1);
  EXPECT_EQ(dialog.check, 0);

  dialog.list = 2;
  dialog.check = 7;  // any nonzero value ticks the box
  dialog.UpdateData(false);
  EXPECT_EQ(dialog.ListSelection(kList), 2);
  EXPECT_TRUE(dialog.IsChecked(kCheck));
  dialog.UpdateData(true);
  EXPECT_EQ(dialog.check, 1);

  dialog.list = 9;  // no such item: nothing selected
  dialog.UpdateData(false);
  EXPECT_EQ(dialog.ListSelection(kList), -1);
}

// A language file is not trusted to hold markup or mnemonics: every text
// shows as the characters it holds. A file made on another desktop may be
// GB18030 rather than UTF-8.
TEST(DialogContractTest, CaptionsShowTheirTextsAsPlainText) {
  RecordingDialog dialog;
  dialog.SetWindowCaption("USB\xE8\xAF\xBB\xE5\x8D\xA1\xE5\x99\xA8");  // USB读卡器
  EXPECT_EQ(ShownText(dialog, 0), "USB读卡器");
  dialog.SetControlCaption(kButton, "Save & go");
  EXPECT_EQ(ShownText(dialog, kButton), "Save & go");
  dialog.SetControlCaption(kCheck, "R&D");
  EXPECT_EQ(ShownText(dialog, kCheck), "R&D");
  dialog.SetControlCaption(kBox, "<b>bold</b> & more");
  EXPECT_EQ(ShownText(dialog, kBox), "<b>bold</b> & more");
  dialog.SetControlCaption(kLabel, "<img src=\"/dev/zero\">");
  EXPECT_EQ(ShownText(dialog, kLabel), "<img src=\"/dev/zero\">");
  dialog.SetControlCaption(kLabel, "\xB6\xC1\xBF\xA8");  // 读卡 in GB18030, no UTF-8
  EXPECT_EQ(ShownText(dialog, kLabel), "读卡");
  dialog.SetControlCaption(kLabel, "");
  EXPECT_EQ(ShownText(dialog, kLabel), "");

  dialog.EnableControl(kButton);
  EXPECT_TRUE(IsControlEnabled(dialog, kButton));
  dialog.ShowControl(kOther);
  EXPECT_TRUE(IsControlShown(dialog, kOther));
  dialog.ShowControl(kOther, false);
  EXPECT_FALSE(IsControlShown(dialog, kOther));
}

TEST(DialogContractTest, ModalRunInitialisesOnceAndEndsWhenShownIfAsked) {
  RecordingDialog dialog;
  dialog.EndWhenShown();
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(dialog.events, (Events{"init", "end"}));
  EXPECT_FALSE(IsWindowShown(dialog));
  dialog.EndWhenShown();
  dialog.DoModal();
  EXPECT_EQ(dialog.events, (Events{"init", "end", "end"})) << "initialised once";
}

TEST(DialogContractTest, DialogThatEndsInItsInitialisationReturnsAtOnceUnshown) {
  RecordingDialog dialog;
  bool shown = true;
  dialog.onInit = [&] {
    dialog.EndDialog(kIdOk);
    shown = IsWindowShown(dialog);
  };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.events, (Events{"init", "end"}));
  EXPECT_FALSE(shown);
  EXPECT_FALSE(IsWindowShown(dialog));
}

TEST(DialogContractTest, EscapeCancelsAndEnterPressesTheFocusedOrTheDefaultButton) {
  {
    RecordingDialog dialog(true);
    EXPECT_EQ(RunShown(dialog, [&] { Press(dialog, Key::kEscape); }), kIdCancel);
    EXPECT_EQ(dialog.events, (Events{"init", "cancel", "end"}));
  }
  {
    RecordingDialog dialog(true);
    const int result = RunShown(dialog, [&] {
      dialog.SelectListItem(kList, 2);
      Press(dialog, Key::kEnter);
    });
    EXPECT_EQ(result, kIdOk);
    EXPECT_EQ(dialog.events, (Events{"init", "command 1", "ok", "end"})) << "the default button's command";
    EXPECT_EQ(dialog.list, 2) << "OK took the controls' values";
  }
  {
    RecordingDialog dialog(false);
    EXPECT_EQ(RunShown(dialog, [&] { Press(dialog, Key::kEnter); }), kIdOk);
    EXPECT_EQ(dialog.events, (Events{"init", "ok", "end"})) << "no default button: the OK command itself";
  }
  {
    RecordingDialog dialog(true);
    RunShown(dialog, [&] {
      dialog.EnableControl(kButton);
      Focus(dialog, kButton);
      Press(dialog, Key::kKeypadEnter);
      dialog.StartTimer(0, [&] { dialog.EndDialog(kIdCancel); });
    });
    EXPECT_EQ(dialog.events, (Events{"init", "command 102", "end"})) << "the focused button, not the default one";
  }
}

TEST(DialogContractTest, CloseBoxAndSystemMenuReachTheirHandlers) {
  {
    RecordingDialog dialog;
    EXPECT_EQ(RunShown(dialog, [&] { PressCloseBox(dialog); }), kIdCancel);
    EXPECT_EQ(dialog.events, (Events{"init", "close", "cancel", "end"}));
    EXPECT_FALSE(IsWindowShown(dialog));
  }
  {
    RecordingDialog dialog;
    dialog.AppendSystemMenuSeparator();
    dialog.AppendSystemMenuItem(256, "Language");
    RunShown(dialog, [&] {
      ChooseSystemMenuItem(dialog, 256);
      dialog.EndDialog(kIdCancel);
    });
    EXPECT_EQ(dialog.events, (Events{"init", "system 256", "end"}));
  }
}

TEST(DialogContractTest, UserChoiceInAListIsReportedButProgrammaticSelectionIsNot) {
  RecordingDialog dialog;
  RunShown(dialog, [&] {
    dialog.SelectListItem(kList, 0);
    Choose(dialog, kList, 2);
    dialog.EndDialog(kIdCancel);
  });
  EXPECT_EQ(dialog.events, (Events{"init", "selection 100", "end"}));
  EXPECT_EQ(dialog.ListSelection(kList), 2);
}

TEST(DialogContractTest, TimersFireOnceUnlessStoppedAndEndWithTheDialog) {
  RecordingDialog dialog;
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

TEST(DialogContractTest, MessageBoxGoesThroughTheServiceTheWindowWasGiven) {
  FakeMessageBox boxes;
  RecordingDialog dialog(false, boxes);
  dialog.MessageBox("\xE5\xAE\x8C\xE6\x88\x90", "why");  // 完成
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].owner, &dialog);
  EXPECT_EQ(boxes.Boxes()[0].text, "完成");
  EXPECT_EQ(boxes.Boxes()[0].details, "why");
}

}  // namespace
}  // namespace rdrconf::test
