#include "dialogs/AppIcon.h"

namespace rdrconf {

QIcon AppIcon() {
  // Decoding the pictures is a noticeable part of start-up: do it once, and
  // only for the sizes a window icon is drawn at. The large sizes are for
  // the desktop's menus and ship as files beside the desktop entry.
  static const QIcon icon = [] {
    QIcon sized;
    for (const int size : {16, 32, 48, 64}) {
      sized.addFile(QStringLiteral(":/rdrconf/icons/rdrconf-%1.png").arg(size), QSize(size, size));
    }
    return sized;
  }();
  return icon;
}

}  // namespace rdrconf
