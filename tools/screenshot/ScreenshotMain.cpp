// Renders the settings window and the language dialog to PNG files, in each
// shipped language, for the documentation. Runs offscreen: no display and
// no reader needed.
//
//   rdrconf_screenshot <language-files folder> <output folder> <scale>
//
// Offscreen windows have no frame, so each picture gets a plain title bar
// with the window's icon and caption, as a desktop would draw it.
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
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

// The pictures show a reader that exists only here: one is listed, it takes
// every report, and its keyboard side types one card number. No device of
// the machine that renders the pictures is ever touched.
class ShowcaseHost final : public rdrconf::HidHost {
 public:
  std::optional<std::vector<rdrconf::HidInterfaceInfo>> ListInterfaces(rdrconf::HidError&) override {
    rdrconf::HidInterfaceInfo reader;
    reader.path = "/dev/hidraw0";
    reader.vendorId = rdrconf::kReaderVendorId;
    reader.productId = rdrconf::kReaderProductId;
    reader.serialNumber = "RD20261208";
    reader.usbPort = "1-2";
    return std::vector<rdrconf::HidInterfaceInfo>{reader};
  }
  bool MayOpen(const std::string&) override { return true; }
  bool HeldByAnotherProgram(const std::string&) override { return false; }
  rdrconf::HidDeviceToken Open(const std::string&, rdrconf::HidError&) override { return 1; }
  bool SetFeature(rdrconf::HidDeviceToken, const rdrconf::FeatureReport&, rdrconf::HidError&) override {
    return true;
  }
  int GetFeature(rdrconf::HidDeviceToken, rdrconf::FeatureReport& report, rdrconf::HidError&) override {
    std::fill(report.begin() + 1, report.end(), 0);
    return static_cast<int>(report.size());
  }
  void Close(rdrconf::HidDeviceToken) override {}
};

class ShowcaseKeyboard final : public rdrconf::KeyboardSource {
 public:
  std::optional<std::string> FindNode(const std::string&) override { return "/dev/input/event5"; }
  bool Open(const std::string&, rdrconf::HidError&) override {
    // The number is waiting at once: a pipe that is readable from the start.
    if (pipe(pipe_) != 0) return false;
    const char byte = 1;
    if (write(pipe_[1], &byte, 1) != 1) return false;
    held_ = true;
    return true;
  }
  int Descriptor() const override { return held_ ? pipe_[0] : -1; }
  std::vector<rdrconf::TypedKey> Read() override {
    char byte = 0;
    if (read(pipe_[0], &byte, 1) != 1) return {};
    std::vector<rdrconf::TypedKey> keys;
    for (const char digit : std::string("0042719358")) {
      keys.push_back({rdrconf::TypedKey::Kind::kCharacter, digit, {}});
    }
    keys.push_back({rdrconf::TypedKey::Kind::kEnter, 0, {}});
    return keys;
  }
  void Release() override {
    if (!held_) return;
    held_ = false;
    close(pipe_[0]);
    close(pipe_[1]);
  }
  bool IsHeld() const override { return held_; }

 private:
  int pipe_[2] = {-1, -1};
  bool held_ = false;
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

  ShowcaseHost host;
  ShowcaseKeyboard keyboard;
  rdrconf::CardReader reader(host, nullptr, &keyboard);
  rdrconf::SystemMessageBox messageBoxes;
  bool ok = QDir().mkpath(outputFolder);
  for (const QString& code : {QStringLiteral("zh-CN"), QStringLiteral("en-US")}) {
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

    // The test scan, once the card's number has been read.
    settings.Window().ControlAs<QPushButton>(rdrconf::settings_id::kTestScan)->click();
    QLabel* result = settings.Window().ControlAs<QLabel>(rdrconf::settings_id::kScanResult);
    const QString waiting = result->text();
    if (!QTest::qWaitFor([&] { return result->text() != waiting; }, 5000)) {
      std::fprintf(stderr, "rdrconf_screenshot: the test scan read no card\n");
      ok = false;
    }
    ok = Save(WithTitleBar(settings.Window()), outputFolder + QStringLiteral("/settings-window-scan") + suffix) && ok;
    keyboard.Release();

    rdrconf::CAboutDlg language(messageBoxes, &settings);
    language.Window().show();
    ok = Save(WithTitleBar(language.Window()), outputFolder + QStringLiteral("/language-dialog") + suffix) && ok;
    language.Window().hide();
    settings.Window().hide();
    QDir::setCurrent(QDir::tempPath());
  }
  return ok ? 0 : 1;
}
