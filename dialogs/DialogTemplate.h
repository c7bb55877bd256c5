#pragma once

#include <string>
#include <utility>
#include <vector>

namespace rdrconf {

// Well-known command ids: the OK command (Enter, or the button with id 1)
// and the cancel command (Esc, or the button with id 2).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class ControlKind {
  kDropDownList,       // the user picks an item, never types; items keep their order
  kCheckBox,           // automatic two-state check box
  kPushButton,
  kDefaultPushButton,  // pressed by Enter when no other push button has the focus
  kLabel,
  kGroupBox,
};

// Position and size in dialog units. For a drop-down list the height is
// that of the opened list.
struct DialogUnitRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// One control of a template. Build them with the functions below, which
// name what each value is.
struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::kLabel;
  DialogUnitRect rect;
  std::string text;                // UTF-8
  std::vector<std::string> items;  // initial list items, UTF-8
  bool disabled = false;
  bool hidden = false;
  bool wrapped = false;  // a label whose text breaks into lines at its width
  bool live = false;     // a label whose every new text is announced (see Live())

  // Created disabled.
  ControlTemplate Disabled() && {
    disabled = true;
    return std::move(*this);
  }
  // Created hidden, until the dialog shows it.
  ControlTemplate Hidden() && {
    hidden = true;
    return std::move(*this);
  }
  ControlTemplate Wrapped() && {
    wrapped = true;
    return std::move(*this);
  }
  // A label that screen readers present each time it is given a text,
  // wherever the focus is: the outcome of something the user started.
  ControlTemplate Live() && {
    live = true;
    return std::move(*this);
  }
};

inline ControlTemplate DropDownList(int id, DialogUnitRect rect, std::vector<std::string> items = {}) {
  return {id, ControlKind::kDropDownList, rect, {}, std::move(items), false, false, false, false};
}
inline ControlTemplate CheckBox(int id, DialogUnitRect rect, std::string text) {
  return {id, ControlKind::kCheckBox, rect, std::move(text), {}, false, false, false, false};
}
inline ControlTemplate PushButton(int id, DialogUnitRect rect, std::string text) {
  return {id, ControlKind::kPushButton, rect, std::move(text), {}, false, false, false, false};
}
inline ControlTemplate DefaultPushButton(int id, DialogUnitRect rect, std::string text) {
  return {id, ControlKind::kDefaultPushButton, rect, std::move(text), {}, false, false, false, false};
}
inline ControlTemplate Label(int id, DialogUnitRect rect, std::string text) {
  return {id, ControlKind::kLabel, rect, std::move(text), {}, false, false, false, false};
}
inline ControlTemplate GroupBox(int id, DialogUnitRect rect, std::string text) {
  return {id, ControlKind::kGroupBox, rect, std::move(text), {}, false, false, false, false};
}

// A dialog as laid out in its resource template. Controls are created in
// this order, which is also the tab order (of those that take the focus)
// and, on Windows, the z-order.
//
// A label that stands right before a drop-down list in this order names
// the list for screen readers, as Windows names a control that has no text
// of its own from the static text before it; a list with no label before
// it is named with DialogBase::SetControlName.
struct DialogTemplate {
  int width = 0;   // dialog units
  int height = 0;  // dialog units
  std::string caption;
  std::string fontFamily;  // empty: the desktop's default family
  int fontPointSize = 8;
  bool boldFont = false;
  std::vector<ControlTemplate> controls;
};

}  // namespace rdrconf
