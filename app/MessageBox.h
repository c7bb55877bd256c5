#pragma once

#include <QString>

class QWidget;

namespace rdrconf {

// Every outcome the user sees is one modal message box owned by the window
// that asks: the text, an empty title, a single OK button and no icon. The
// windows reach it through this seam so that tests can replace it and never
// block on a modal box.
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Returns when the user has dismissed the box.
  virtual void Show(QWidget* owner, const QString& text) = 0;
};

// The real box, built on QMessageBox.
class QtMessageBox final : public MessageBoxService {
 public:
  void Show(QWidget* owner, const QString& text) override;
};

// The process-wide service: QtMessageBox unless replaced.
MessageBoxService& CurrentMessageBox();

// Replaces the process-wide service (nullptr puts the real box back) and
// returns the one replaced, nullptr when that was the real box.
MessageBoxService* SetCurrentMessageBox(MessageBoxService* service);

class ScopedMessageBox {
 public:
  explicit ScopedMessageBox(MessageBoxService& service)
      : previous_(SetCurrentMessageBox(&service)) {}
  ~ScopedMessageBox() { SetCurrentMessageBox(previous_); }
  ScopedMessageBox(const ScopedMessageBox&) = delete;
  ScopedMessageBox& operator=(const ScopedMessageBox&) = delete;

 private:
  MessageBoxService* previous_;
};

}  // namespace rdrconf
