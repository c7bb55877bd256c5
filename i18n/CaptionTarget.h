#pragma once

#include <string>
#include <string_view>

namespace rdrconf {

// What ApplyMainWindowTexts needs of a window: its own caption, and the
// caption of the control that shows the text of a language key (the window
// knows which of its controls that is). Texts are UTF-8 bytes as read from
// a language file.
class CaptionTarget {
 public:
  virtual void SetWindowCaption(const std::string& utf8) = 0;
  virtual void SetCaptionOf(std::string_view key, const std::string& utf8) = 0;

 protected:
  ~CaptionTarget() = default;
};

}  // namespace rdrconf
