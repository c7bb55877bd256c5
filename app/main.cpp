#include <QApplication>

#include "app/Application.h"

int main(int argc, char* argv[]) {
  rdrconf::PrepareApplication();
  // Qt takes its own options (such as -platform); the tool reads no others.
  QApplication application(argc, argv);
  rdrconf::CRDRCONFApp app;
  app.InitInstance();
  return 0;
}
