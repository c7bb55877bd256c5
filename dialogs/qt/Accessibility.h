#pragma once

#include <QComboBox>
#include <QLabel>
#include <QString>

namespace rdrconf {

// What a screen reader (Orca, through AT-SPI) learns of a dialog's
// controls on Qt.
//
// A drop-down list is named by the label that stands before it in the
// template, as Windows names a list from the static text before it: the
// label becomes the list's buddy, which gives the labelled-by relation, and
// the list's name is the label's text without its colon. Qt's own
// interface for a combo box names it by its current item on Linux, so that
// Orca said "IC, combo box" where "Card type, IC, combo box" was meant:
// the lists are widgets of a class of their own, with an interface of our
// own.
//
// A live label (ControlTemplate::Live) is announced each time it is given a
// text: it shows to assistive technology as a notification, which appears
// anew with every text (Qt 6.4 can set no live-region attributes).

// A drop-down list of a template.
class DropDownListWidget final : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDownListWidget(QWidget* parent) : QComboBox(parent) {}
};

// A label whose texts are announced.
class LiveLabel final : public QLabel {
  Q_OBJECT

 public:
  explicit LiveLabel(QWidget* parent) : QLabel(parent) {}
  // Shows `text` and has it presented, also when it is the text shown
  // already (the same card read twice); an empty text is not announced.
  void Announce(const QString& text);
};

// Makes the interfaces of the two classes above known to Qt's
// accessibility; any number of calls, before a window is shown.
void InstallAccessibleInterfaces();

// A label's text as the name of the control it stands before: without a
// trailing colon (':' or the full-width '：' of the Chinese texts) and the
// blanks around it.
QString NameFromLabel(const QString& text);

}  // namespace rdrconf
