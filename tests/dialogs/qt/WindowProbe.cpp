// The contract test's view of a window on Qt: its widgets.
#include "tests/dialogs/WindowProbe.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <stdexcept>

#include "dialogs/qt/DialogWindow.h"

namespace rdrconf::test {
namespace {

QWidget& ControlOf(const DialogBase& dialog, int id) {
  QWidget* const control = dialog.Window().Control(id);
  if (control == nullptr) throw std::logic_error("no control " + std::to_string(id));
  return *control;
}

// What a person reads of a text in which '&' marks a mnemonic.
QString WithoutMnemonics(const QString& text) {
  QString read;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    read += text[i];
  }
  return read;
}

}  // namespace

std::string ShownText(const DialogBase& dialog, int id) {
  if (id == 0) return dialog.Window().windowTitle().toStdString();
  QWidget& control = ControlOf(dialog, id);
  if (auto* button = qobject_cast<QAbstractButton*>(&control)) return WithoutMnemonics(button->text()).toStdString();
  if (auto* box = qobject_cast<QGroupBox*>(&control)) return WithoutMnemonics(box->title()).toStdString();
  if (auto* label = qobject_cast<QLabel*>(&control)) {
    return (label->buddy() != nullptr ? WithoutMnemonics(label->text()) : label->text()).toStdString();
  }
  if (auto* list = qobject_cast<QComboBox*>(&control)) return list->currentText().toStdString();
  return {};
}

bool IsControlEnabled(const DialogBase& dialog, int id) { return ControlOf(dialog, id).isEnabled(); }

bool IsControlShown(const DialogBase& dialog, int id) { return ControlOf(dialog, id).isVisibleTo(&dialog.Window()); }

bool IsWindowShown(const DialogBase& dialog) { return dialog.Window().isVisible(); }

std::string ListItemText(const DialogBase& dialog, int id, int position) {
  return qobject_cast<QComboBox*>(&ControlOf(dialog, id))->itemText(position).toStdString();
}

void Focus(DialogBase& dialog, int id) { ControlOf(dialog, id).setFocus(); }

void Press(DialogBase& dialog, Key key) {
  QWidget* const focused = dialog.Window().focusWidget();
  QWidget* const target = focused != nullptr ? focused : &dialog.Window();
  switch (key) {
    case Key::kEnter: QTest::keyClick(target, Qt::Key_Return); break;
    case Key::kKeypadEnter: QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier); break;
    case Key::kEscape: QTest::keyClick(target, Qt::Key_Escape); break;
  }
}

void Choose(DialogBase& dialog, int id, int position) {
  auto* list = qobject_cast<QComboBox*>(&ControlOf(dialog, id));
  list->setCurrentIndex(position);
  emit list->activated(position);
}

void PressCloseBox(DialogBase& dialog) { dialog.Window().close(); }

void ChooseSystemMenuItem(DialogBase& dialog, int id) {
  for (QAction* action : dialog.Window().SystemMenu().actions()) {
    if (!action->isSeparator() && action->data().toInt() == id) {
      action->trigger();
      return;
    }
  }
  throw std::logic_error("no system menu item " + std::to_string(id));
}

}  // namespace rdrconf::test
