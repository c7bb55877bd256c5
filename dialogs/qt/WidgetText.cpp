#include "dialogs/qt/WidgetText.h"

#include <QStringDecoder>

namespace rdrconf {

QString ToWidgetText(const std::string& bytes) {
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(view);
  if (!utf8.hasError()) return text;
  QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
  return gb18030.isValid() ? QString(gb18030.decode(view)) : text;
}

}  // namespace rdrconf
