#include "dialogs/MessageBox.h"

#include <QLabel>
#include <QMessageBox>

namespace rdrconf {

void QtMessageBox::Show(QWidget* owner, const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  if (!details.isEmpty()) box.setInformativeText(details);
  // The box's own text format reaches only its main label: the label of
  // the informative text would still take a text that looks like HTML as
  // HTML, and load what it names.
  for (QLabel* label : box.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace rdrconf
