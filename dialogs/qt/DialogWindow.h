#pragma once

#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QSize>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "dialogs/DialogBase.h"
#include "dialogs/DialogTemplate.h"

class QCloseEvent;
class QContextMenuEvent;
class QKeyEvent;

namespace rdrconf {

// The Qt back-end of a dialog: the QDialog that shows a DialogBase, with
// its controls as widgets created from the template and placed in dialog
// units (the dialog font's average character width and height). It hands
// the window's events to the DialogBase. The settings window's context
// menu is its system menu: Linux window managers take no items of a
// program's own in theirs.
//
// Tests of the Qt windows reach the widgets through Control() and the
// window through DialogBase::Window().
class DialogWindow final : public QDialog {
  Q_OBJECT

 public:
  DialogWindow(DialogBase& dialog, const DialogTemplate& dialogTemplate, QWidget* parent);
  ~DialogWindow() override;

  QWidget* Control(int id) const;
  template <typename T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }
  QMenu& SystemMenu() { return systemMenu_; }

  // Dialog units to pixels, with the metrics of the dialog's font.
  QSize BaseUnits() const { return baseUnits_; }
  QRect ToPixels(const DialogUnitRect& rect) const;

  void SetEndWhenShown() { endWhenShown_ = true; }
  // Initialises the dialog and runs it modally, unless it ended in its
  // initialisation; the result.
  int RunModal();

  void Watch(int descriptor, std::function<void()> ready);
  void StopWatching(int descriptor) { watches_.erase(descriptor); }
  int StartTimer(int milliseconds, std::function<void()> elapsed);
  void StopTimer(int id) { timers_.erase(id); }

  void done(int result) override;

 protected:
  void setVisible(bool visible) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QWidget* CreateControl(const ControlTemplate& control);
  void PressEnter();

  DialogBase& dialog_;
  std::map<int, QWidget*> controls_;
  QSize baseUnits_;
  QMenu systemMenu_;
  bool endWhenShown_ = false;
  bool ended_ = false;  // done() since the modal run began
  std::map<int, std::unique_ptr<QSocketNotifier>> watches_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  int nextTimer_ = 1;
};

// The QIcon behind a handle of the Qt back-end.
QIcon ToQIcon(const IconHandle& icon);

}  // namespace rdrconf
