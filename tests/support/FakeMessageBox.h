#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "dialogs/MessageBox.h"

namespace rdrconf::test {

// Stands in for the modal message box: records each box (its owner and its
// text) and returns at once, as if the user had pressed OK. An optional
// hook runs while the "box" is up, e.g. to look at the reader's state.
class FakeMessageBox final : public MessageBoxService {
 public:
  struct Shown {
    QPointer<QWidget> owner;
    QString text;
    QString details;
  };

  void Show(QWidget* owner, const QString& text, const QString& details) override {
    shown_.push_back({owner, text, details});
    if (whileShown_) whileShown_();
  }

  void WhileShown(std::function<void()> hook) { whileShown_ = std::move(hook); }
  const std::vector<Shown>& Boxes() const { return shown_; }
  QStringList Texts() const {
    QStringList texts;
    for (const Shown& s : shown_) texts << s.text;
    return texts;
  }
  void Clear() { shown_.clear(); }

 private:
  std::vector<Shown> shown_;
  std::function<void()> whileShown_;
};

}  // namespace rdrconf::test
