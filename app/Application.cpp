#include "app/Application.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QTimer>
#include <cstdlib>

#include "dialogs/AppIcon.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

// For start-up measurements: with RDRCONF_QUIT_WHEN_SHOWN set, the window
// ends as soon as it has been shown, so a process's life time is its start-up.
class QuitWhenShown final : public QObject {
 public:
  explicit QuitWhenShown(DialogBase& dialog) : QObject(&dialog), dialog_(dialog) {
    dialog.installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      QTimer::singleShot(0, &dialog_, [this] { dialog_.done(kIdCancel); });
    }
    return false;
  }

 private:
  DialogBase& dialog_;
};

}  // namespace

void PrepareApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("RDRCONF"));
  QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
  QCoreApplication::setOrganizationName(QStringLiteral("RDRCONF"));
  QGuiApplication::setDesktopFileName(QStringLiteral("rdrconf"));
}

void PrepareWindows() {
  // The window font is Calibri; where it is missing, Carlito has the same
  // metrics, so the layout in dialog units keeps its proportions.
  QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
  QApplication::setWindowIcon(AppIcon());
}

CRDRCONFApp::CRDRCONFApp() : reader_(host_) {}

bool CRDRCONFApp::InitInstance() {
  PrepareWindows();

  CRDRCONFNormalDlg settingsWindow(reader_, messageBoxes_);
  if (std::getenv("RDRCONF_QUIT_WHEN_SHOWN") != nullptr) new QuitWhenShown(settingsWindow);
  // However the window ends, the program ends with it.
  settingsWindow.DoModal();
  return false;
}

}  // namespace rdrconf
