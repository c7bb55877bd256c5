#pragma once

#include <QString>

class QWidget;

namespace rdrconf {

// Every outcome the user sees is one modal message box owned by the window
// that asks: the text, an empty title, a single OK button and no icon. The
// windows are given this service so that tests can pass a stand-in that
// never blocks on a modal box.
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Returns when the user has dismissed the box. `details`, when not empty,
  // goes under the text: why it happened and what to do.
  virtual void Show(QWidget* owner, const QString& text, const QString& details = {}) = 0;
};

// The real box, built on QMessageBox. Every text in it is plain text, never
// rich text: a language file's value is shown as the characters it holds.
class QtMessageBox final : public MessageBoxService {
 public:
  void Show(QWidget* owner, const QString& text, const QString& details = {}) override;
};

}  // namespace rdrconf
