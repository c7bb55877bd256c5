#include "app/MessageBox.h"

#include <QMessageBox>

namespace rdrconf {
namespace {

MessageBoxService* g_replacement = nullptr;

}  // namespace

void QtMessageBox::Show(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
  box.exec();
}

MessageBoxService& CurrentMessageBox() {
  static QtMessageBox real;
  return g_replacement ? *g_replacement : real;
}

MessageBoxService* SetCurrentMessageBox(MessageBoxService* service) {
  MessageBoxService* const previous = g_replacement;
  g_replacement = service;
  return previous;
}

}  // namespace rdrconf
