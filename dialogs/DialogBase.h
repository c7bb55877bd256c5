#pragma once

#include <QDialog>
#include <QMenu>
#include <QSize>
#include <map>
#include <string>

#include "dialogs/DialogTemplate.h"

class QCloseEvent;
class QContextMenuEvent;
class QKeyEvent;

namespace rdrconf {

class DialogBase;
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
// directions, captions set by id, and the tool's message box.
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
// OnOK(); the window's context menu is its system menu, whose items call
// OnSystemCommand(id).
//
// Texts are UTF-8 byte strings up to here; they become QString only at the
// widget (see ToWidgetText), always as plain text: a caption that looks like
// HTML is shown as the characters it holds, never rendered.
class DialogBase : public QDialog {
  Q_OBJECT

 public:
  // The dialog's message boxes go through `messageBoxes`, which must outlive
  // the dialog.
  DialogBase(const DialogTemplate& dialogTemplate, MessageBoxService& messageBoxes,
             QWidget* parent = nullptr);
  ~DialogBase() override;

  // Runs the dialog modally; the result is kIdOk or kIdCancel.
  int DoModal();
  void Initialise();
  bool IsInitialised() const { return initialised_; }

  QWidget* Control(int id) const;
  template <typename T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }

  void SetWindowCaption(const std::string& text);
  void SetControlCaption(int id, const std::string& text);
  void EnableControl(int id, bool enable = true);

  // Moves values from the controls into the members (true) or from the
  // members into the controls (false), through DoDataExchange.
  void UpdateData(bool toMembers);

  // The tool's message box, owned by this window; returns when dismissed.
  // `details` (why, and what to do) goes under the text when not empty.
  void MessageBox(const std::string& text, const std::string& details = {});
  MessageBoxService& MessageBoxes() const { return messageBoxes_; }

  // The system menu, as the window's context menu shows it.
  void AppendSystemMenuSeparator();
  void AppendSystemMenuItem(int id, const std::string& text);
  QMenu& SystemMenu() { return systemMenu_; }

  // Dialog units to pixels, with the metrics of the dialog's font.
  QSize BaseUnits() const { return baseUnits_; }
  QRect ToPixels(const DialogUnitRect& rect) const;

 protected:
  virtual void DoDataExchange(DataExchange& exchange);
  virtual void OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnCommand(int id);
  virtual void OnListSelectionChange(int id);
  virtual void OnCloseRequest();
  virtual void OnSystemCommand(int id);

  void EndDialog(int result);

  void setVisible(bool visible) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QWidget* CreateControl(const ControlTemplate& control);
  void PressEnter();

  MessageBoxService& messageBoxes_;
  std::map<int, QWidget*> controls_;
  QSize baseUnits_;
  QMenu systemMenu_;
  bool initialised_ = false;
};

}  // namespace rdrconf
