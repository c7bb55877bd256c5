#include <QLabel>
#include <QMessageBox>

#include "dialogs/MessageBox.h"
#include "dialogs/qt/DialogWindow.h"
#include "dialogs/qt/WidgetText.h"

namespace rdrconf {

void SystemMessageBox::Show(DialogBase* owner, const std::string& text, const std::string& details) {
  QMessageBox box(QMessageBox::NoIcon, QString(), ToWidgetText(text), QMessageBox::Ok,
                  owner ? &owner->Window() : nullptr);
  box.setTextFormat(Qt::PlainText);
  if (!details.empty()) box.setInformativeText(ToWidgetText(details));
  // The box's own text format reaches only its main label: the label of
  // the informative text would still take a text that looks like HTML as
  // HTML, and load what it names.
  for (QLabel* label : box.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace rdrconf
