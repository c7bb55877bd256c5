#pragma once

#include <string>

namespace rdrconf {

// What ApplyMainWindowTexts needs of a window: its own caption and the
// caption of a child control given by its id. Texts are UTF-8 bytes as read
// from a language file.
class CaptionTarget {
 public:
  virtual void SetWindowCaption(const std::string& utf8) = 0;
  virtual void SetControlCaption(int id, const std::string& utf8) = 0;

 protected:
  ~CaptionTarget() = default;
};

}  // namespace rdrconf
