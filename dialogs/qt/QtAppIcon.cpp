#include "dialogs/AppIcon.h"
#include "dialogs/qt/DialogWindow.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <array>

namespace rdrconf {
namespace {

// The application icon, decoded only when a size of it is first drawn.
// Reading the first picture loads every image plugin Qt has (it asks each
// whether it reads PNG), which cost a tenth of start-up; many windows are
// shown without their icon ever being drawn (offscreen, on Wayland).
class AppIconEngine final : public QIconEngine {
 public:
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (const int size : kSizes) sizes.append(QSize(size, size));
    return sizes;
  }
  QIconEngine* clone() const override { return new AppIconEngine; }
  QString key() const override { return QStringLiteral("rdrconf-app-icon"); }

 private:
  // The sizes a window icon is drawn at; the large ones are for the
  // desktop's menus and ship as files beside the desktop entry.
  static constexpr std::array<int, 4> kSizes = {16, 32, 48, 64};

  static const QIcon& Icon() {
    static const QIcon icon = [] {
      QIcon sized;
      for (const int size : kSizes) {
        sized.addFile(QStringLiteral(":/rdrconf/icons/rdrconf-%1.png").arg(size), QSize(size, size));
      }
      return sized;
    }();
    return icon;
  }
};

}  // namespace

IconHandle LoadAppIcon() {
  static const IconHandle icon{std::make_shared<const QIcon>(new AppIconEngine)};
  return icon;
}

QIcon ToQIcon(const IconHandle& icon) {
  return icon.IsNull() ? QIcon() : *static_cast<const QIcon*>(icon.native.get());
}

}  // namespace rdrconf
