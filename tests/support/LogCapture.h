#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <string>

namespace rdrconf::test {

// Collects what the window logs under a category while it lives.
class LogCapture {
 public:
  explicit LogCapture(const char* category) : previous_(qInstallMessageHandler(&LogCapture::Handle)) {
    category_ = category;
    lines_.clear();
  }
  ~LogCapture() { qInstallMessageHandler(previous_); }
  QStringList Lines() const { return lines_; }

 private:
  static void Handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (context.category != nullptr && category_ == context.category) lines_ << message;
  }
  static inline std::string category_;
  static inline QStringList lines_;
  QtMessageHandler previous_;
};

}  // namespace rdrconf::test
