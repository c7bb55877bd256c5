#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/MessageBox.h"

namespace rdrconf::test {

// Stands in for the modal message box: records each box (its owner, its
// text and its details) and returns at once, as if the user had pressed OK.
// An optional hook runs while the "box" is up, e.g. to look at the
// reader's state.
class FakeMessageBox final : public MessageBoxService {
 public:
  struct Shown {
    DialogBase* owner;
    QString text;
    QString details;
  };

  void Show(DialogBase* owner, const std::string& text, const std::string& details) override {
    shown_.push_back({owner, QString::fromStdString(text), QString::fromStdString(details)});
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
