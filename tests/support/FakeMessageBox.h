#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialogs/MessageBox.h"

namespace rdrconf::test {

// Stands in for the modal message box on every back-end: records each box
// (its owner, its text and its details, UTF-8 as the window gave them) and
// returns at once, as if the user had pressed OK. An optional hook runs
// while the "box" is up, e.g. to look at the reader's state.
class FakeMessageBox final : public MessageBoxService {
 public:
  struct Shown {
    DialogBase* owner;
    std::string text;
    std::string details;
  };

  void Show(DialogBase* owner, const std::string& text, const std::string& details) override {
    shown_.push_back({owner, text, details});
    if (whileShown_) whileShown_();
  }

  void WhileShown(std::function<void()> hook) { whileShown_ = std::move(hook); }
  const std::vector<Shown>& Boxes() const { return shown_; }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Shown& s : shown_) texts.push_back(s.text);
    return texts;
  }
  void Clear() { shown_.clear(); }

 private:
  std::vector<Shown> shown_;
  std::function<void()> whileShown_;
};

}  // namespace rdrconf::test
