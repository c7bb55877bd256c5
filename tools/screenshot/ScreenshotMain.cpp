// Renders the settings window and the language dialog to PNG files, in each
// shipped language, for the documentation. Runs offscreen: no display and
// no reader needed.
//
//   rdrconf_screenshot <language-files folder> <output folder> <scale>
//
// Offscreen windows have no frame, so each picture gets a plain title bar
// with the window's icon and caption, as a desktop would draw it.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

#include "app/Application.h"
#include "dialogs/MessageBox.h"
#include "dialogs/qt/DialogWindow.h"
#include "reader/CardReader.h"
#include "ui/LanguageDialog.h"
#include "ui/SettingsWindow.h"

namespace {

// The pictures show the windows with no reader attached: nothing is listed,
// so no device of the machine that renders them is ever touched.
class NoHidHost final : public rdrconf::HidHost {
 public:
  std::optional<std::vector<rdrconf::HidInterfaceInfo>> ListInterfaces(rdrconf::HidError&) override {
    return std::vector<rdrconf::HidInterfaceInfo>{};
  }
  bool MayOpen(const std::string&) override { return false; }
  bool HeldByAnotherProgram(const std::string&) override { return false; }
  rdrconf::HidDeviceToken Open(const std::string&, rdrconf::HidError&) override { return 0; }
  bool SetFeature(rdrconf::HidDeviceToken, const rdrconf::FeatureReport&, rdrconf::HidError&) override {
    return false;
  }
  int GetFeature(rdrconf::HidDeviceToken, rdrconf::FeatureReport&, rdrconf::HidError&) override {
    return -1;
  }
  void Close(rdrconf::HidDeviceToken) override {}
};

QImage WithTitleBar(QWidget& window) {
  const QPixmap client = window.grab();
  const qreal ratio = client.devicePixelRatio();
  const int barHeight = window.fontMetrics().height() + 12;
  QImage framed(QSize(client.width(), client.height() + qRound(barHeight * ratio)),
                QImage::Format_ARGB32);
  framed.setDevicePixelRatio(ratio);
  framed.fill(QColor(0xdd, 0xe1, 0xe6));
  QPainter painter(&framed);
  const int iconSize = barHeight - 8;
  window.windowIcon().paint(&painter, QRect(6, 4, iconSize, iconSize));
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  painter.setFont(titleFont);
  painter.setPen(QColor(0x20, 0x20, 0x20));
  painter.drawText(QRect(iconSize + 12, 0, int(client.width() / ratio), barHeight),
                   Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
  painter.drawPixmap(QPoint(0, barHeight), client);
  return framed;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path)) {
    std::printf("%s\n", qPrintable(path));
    return true;
  }
  std::fprintf(stderr, "rdrconf_screenshot: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rdrconf_screenshot <language-files folder> <output folder> <scale>\n");
    return 2;
  }
  const QString languageFolder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const QString outputFolder = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
  const QString scale = QString::fromLocal8Bit(argv[3]);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", scale.toLocal8Bit());

  rdrconf::PrepareApplication();
  QApplication application(argc, argv);
  rdrconf::PrepareWindows();

  NoHidHost host;
  rdrconf::CardReader reader(host);
  rdrconf::SystemMessageBox messageBoxes;
  bool ok = QDir().mkpath(outputFolder);
  for (const QString code : {QStringLiteral("zh-CN"), QStringLiteral("en-US")}) {
    // The windows read their texts from the working folder.
    QTemporaryDir work;
    for (const QString& name : QDir(languageFolder).entryList({QStringLiteral("RDRCONF.*.ini")})) {
      ok = QFile::copy(languageFolder + '/' + name, work.filePath(name)) && ok;
    }
    QFile choice(work.filePath(QStringLiteral("RDRCONF.config")));
    ok = choice.open(QIODevice::WriteOnly) && ok;
    QTextStream(&choice) << "[config]\nlanguage=" << code << '\n';
    choice.close();
    QDir::setCurrent(work.path());

    rdrconf::CRDRCONFNormalDlg settings(reader, messageBoxes);
    settings.Window().show();
    const QString suffix = QStringLiteral(".%1.x%2.png").arg(code, scale);
    ok = Save(WithTitleBar(settings.Window()), outputFolder + QStringLiteral("/settings-window") + suffix) && ok;

    rdrconf::CAboutDlg language(messageBoxes, &settings);
    language.Window().show();
    ok = Save(WithTitleBar(language.Window()), outputFolder + QStringLiteral("/language-dialog") + suffix) && ok;
    language.Window().hide();
    settings.Window().hide();
    QDir::setCurrent(QDir::tempPath());
  }
  return ok ? 0 : 1;
}
