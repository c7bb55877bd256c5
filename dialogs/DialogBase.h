#pragma once

#include <functional>
#include <memory>
#include <string>

#include "dialogs/AppIcon.h"
#include "dialogs/DialogTemplate.h"

namespace rdrconf {

class DialogBase;
class DialogWindow;  // the dialog as the window system shows it; each back-end has its own
class MessageBoxService;

// Moves values between controls and members, in the direction the dialog
// asks for (see DialogBase::UpdateData).
class DataExchange {
 public:
  DataExchange(DialogBase& dialog, bool toMembers) : dialog_(dialog), toMembers_(toMembers) {}
  bool ToMembers() const { return toMembers_; }
  // A drop-down list's selected position; -1 for none.
  void ListIndex(int id, int& value);
  // A check box's state, 0 or 1.
  void CheckState(int id, int& value);

 private:
  DialogBase& dialog_;
  bool toMembers_;
};

// The base of every window of the tool: a modal dialog built from a
// template, with controls found by numeric id, data exchange in both
// directions, captions set by id, and the tool's message box. Nothing here
// names the toolkit: the same windows run on Qt (dialogs/qt) and on Win32
// (dialogs/win32), each providing DialogWindow and the members that touch
// the window.
//
// Life of a dialog: construction creates every control of the template;
// Initialise() runs once, right before the dialog is first shown (or when a
// test calls it), and calls OnInitDialog(); DoModal() runs the dialog until
// it ends with kIdOk or kIdCancel.
//
// Events: a click on push button `id` calls OnCommand(id) (by default id 1
// gives OnOK() and id 2 OnCancel()); a user's choice in a drop-down list
// calls OnListSelectionChange(id); the window's close box calls
// OnCloseRequest() (by default OnCancel()); Esc calls OnCancel(); Enter
// presses the focused push button, else the default push button, else calls
// OnOK(); the system-menu items call OnSystemCommand(id).
//
// Texts are UTF-8 byte strings up to the back-end, which shows them as
// plain text: a caption that looks like HTML is shown as the characters it
// holds, never rendered.
class DialogBase {
 public:
  // The dialog's message boxes go through `messageBoxes`, which must
  // outlive the dialog. An owner stays disabled while its modal child runs.
  DialogBase(const DialogTemplate& dialogTemplate, MessageBoxService& messageBoxes,
             DialogBase* owner = nullptr);
  virtual ~DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  // Runs the dialog modally; the result is kIdOk or kIdCancel.
  int DoModal();
  void Initialise();
  bool IsInitialised() const { return initialised_; }
  // Ends the modal run as soon as the window has been shown: start-up
  // measurements and installation checks use it.
  void EndWhenShown();

  bool HasControl(int id) const;
  void SetWindowCaption(const std::string& text);
  void SetControlCaption(int id, const std::string& text);
  // The name by which screen readers call control `id`, for a control that
  // has neither a text of its own nor a label before it in the template;
  // std::logic_error when there is no such control.
  void SetControlName(int id, const std::string& name);
  void EnableControl(int id, bool enable = true);
  void ShowControl(int id, bool show = true);
  void SetIcon(const IconHandle& icon);

  // Drop-down lists: items keep the order in which they were added;
  // position -1 is "no selection".
  void AddListItem(int id, const std::string& text);
  void DeleteListItem(int id, int position);
  int ListItemCount(int id) const;
  int ListSelection(int id) const;
  void SelectListItem(int id, int position);

  // Check boxes.
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);

  // Moves values from the controls into the members (true) or from the
  // members into the controls (false), through DoDataExchange.
  void UpdateData(bool toMembers);

  // The tool's message box, owned by this window; returns when dismissed.
  // `details` (why, and what to do) goes under the text when not empty.
  void MessageBox(const std::string& text, const std::string& details = {});
  MessageBoxService& MessageBoxes() const { return messageBoxes_; }

  // The system menu.
  void AppendSystemMenuSeparator();
  void AppendSystemMenuItem(int id, const std::string& text);

  // Calls `ready` on the dialog's thread whenever `descriptor` has data to
  // read, until StopWatching(descriptor); one watch per descriptor. The
  // Win32 back-end has no descriptors to wait for and refuses with
  // std::logic_error (the reader link there gives the window none).
  void WatchDescriptor(int descriptor, std::function<void()> ready);
  void StopWatching(int descriptor);
  // Calls `elapsed` once, `milliseconds` from now, unless stopped; gives an
  // id for StopTimer. Timers end with the dialog.
  int StartTimer(int milliseconds, std::function<void()> elapsed);
  void StopTimer(int id);

  // The back-end's window, for the back-end itself and its tests.
  DialogWindow& Window() const { return *window_; }

 protected:
  virtual void DoDataExchange(DataExchange& exchange);
  virtual void OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnCommand(int id);
  virtual void OnListSelectionChange(int id);
  virtual void OnCloseRequest();
  virtual void OnSystemCommand(int id);
  // Runs when the modal run is about to end, whichever way it ends: the
  // place to let go of what the dialog holds.
  virtual void OnEndDialog();

  void EndDialog(int result);

 private:
  friend class DialogWindow;

  MessageBoxService& messageBoxes_;
  std::unique_ptr<DialogWindow> window_;
  bool initialised_ = false;
};

// A drop-down list of a dialog, bound to its id: what a window class keeps
// as a member to fill and trim the list.
class ListControl {
 public:
  ListControl(DialogBase& dialog, int id) : dialog_(dialog), id_(id) {}
  void AddItem(const std::string& text) { dialog_.AddListItem(id_, text); }
  void DeleteItem(int position) { dialog_.DeleteListItem(id_, position); }
  int Count() const { return dialog_.ListItemCount(id_); }
  int Selection() const { return dialog_.ListSelection(id_); }
  void Select(int position) { dialog_.SelectListItem(id_, position); }

 private:
  DialogBase& dialog_;
  int id_;
};

// A control that only receives its caption (a label, a group box, a button).
class CaptionControl {
 public:
  CaptionControl(DialogBase& dialog, int id) : dialog_(dialog), id_(id) {}
  void SetCaption(const std::string& text) { dialog_.SetControlCaption(id_, text); }

 private:
  DialogBase& dialog_;
  int id_;
};

}  // namespace rdrconf
