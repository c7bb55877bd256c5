#pragma once

#include <memory>

namespace rdrconf {

// A window icon as the back-end holds it (a QIcon on Qt, an HICON on
// Win32), passed around without naming either.
struct IconHandle {
  std::shared_ptr<const void> native;
  bool IsNull() const { return native == nullptr; }
};

// The application icon, in the sizes a window icon is drawn at.
IconHandle LoadAppIcon();

}  // namespace rdrconf
