// The yardstick for start-up: the least a Qt Widgets program does to show a
// dialog. Ends as soon as the dialog has been shown, like rdrconf does with
// RDRCONF_QUIT_WHEN_SHOWN.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QDialog dialog;
  QLabel label(QStringLiteral("minimal"), &dialog);
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(0); });
  return dialog.exec();
}
