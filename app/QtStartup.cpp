// Start-up on Qt: what the toolkit needs to know before the first window.
#include <QApplication>
#include <QFont>

#include "app/Application.h"
#include "dialogs/AppIcon.h"
#include "dialogs/qt/DialogWindow.h"

namespace rdrconf {

void PrepareApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("RDRCONF"));
  QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
  QCoreApplication::setOrganizationName(QStringLiteral("RDRCONF"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.rdrconf.rdrconf"));
}

void PrepareWindows() {
  // The window font is Calibri; where it is missing, Carlito has the same
  // metrics, so the layout in dialog units keeps its proportions.
  QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
  QApplication::setWindowIcon(ToQIcon(LoadAppIcon()));
}

}  // namespace rdrconf
