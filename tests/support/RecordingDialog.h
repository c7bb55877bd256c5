#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialogs/DialogBase.h"
#include "tests/support/FakeMessageBox.h"

namespace rdrconf::test {

// The controls of the dialog-base tests' template.
namespace probe_id {
inline constexpr int kList = 100;    // items "one", "two", "three"
inline constexpr int kCheck = 101;   // "check"
inline constexpr int kButton = 102;  // "press", created disabled
inline constexpr int kLabel = 103;   // "a & b"
inline constexpr int kBox = 104;     // "box", around the others
inline constexpr int kOther = 105;   // "other", a push button created hidden
}  // namespace probe_id

// One control of each kind, in the settings window's font; with
// `withDefaultButton` also a default push button "save" with the OK
// command's id.
inline DialogTemplate RecordingTemplate(bool withDefaultButton) {
  using namespace probe_id;
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

// For dialogs whose message boxes a test does not look at.
inline FakeMessageBox& UnwatchedBoxes() {
  static FakeMessageBox boxes;
  return boxes;
}

// A dialog that records what the base dispatches to it, in order: "init",
// "ok", "cancel", "command <id>", "selection <id>", "close", "system <id>"
// and "end"; it exchanges `list` with the list and `check` with the check
// box, and runs `onInit` at the end of its initialisation.
class RecordingDialog : public DialogBase {
 public:
  explicit RecordingDialog(bool withDefaultButton = false, MessageBoxService& boxes = UnwatchedBoxes(),
                           DialogBase* owner = nullptr)
      : DialogBase(RecordingTemplate(withDefaultButton), boxes, owner) {}

  int list = 1;
  int check = 1;
  std::vector<std::string> events;
  std::function<void()> onInit;

  using DialogBase::EndDialog;

 protected:
  void DoDataExchange(DataExchange& exchange) override {
    exchange.ListIndex(probe_id::kList, list);
    exchange.CheckState(probe_id::kCheck, check);
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

}  // namespace rdrconf::test
