#pragma once

#include <string>

namespace rdrconf {

class DialogBase;

// Every outcome the user sees is one modal message box owned by the window
// that asks: the text, an empty title, a single OK button and no icon. The
// windows are given this service so that tests can pass a stand-in that
// never blocks on a modal box. Texts are UTF-8.
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Returns when the user has dismissed the box. `details`, when not empty,
  // goes under the text: why it happened and what to do.
  virtual void Show(DialogBase* owner, const std::string& text, const std::string& details = {}) = 0;
};

// The back-end's real box (QMessageBox on Qt, MessageBoxW on Win32). Every
// text in it is plain text, never rich text: a language file's value is
// shown as the characters it holds.
class SystemMessageBox final : public MessageBoxService {
 public:
  void Show(DialogBase* owner, const std::string& text, const std::string& details = {}) override;
};

}  // namespace rdrconf
