#include <memory>

#include "dialogs/AppIcon.h"
#include "dialogs/win32/AppIconResource.h"
#include "dialogs/win32/DialogWindow.h"

namespace rdrconf {
namespace {

// The sizes of the system's large and small icons (32 and 16 pixels at
// 96 DPI), from the icon group that every program of the tool carries
// (AppIcon.rc, made from the shipped PNG files).
HICON LoadSized(int metricX, int metricY) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
                                       GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_DEFAULTCOLOR));
}

}  // namespace

IconHandle LoadAppIcon() {
  static const IconHandle icon = [] {
    auto icons = std::make_shared<Win32Icon>();
    icons->bigIcon = LoadSized(SM_CXICON, SM_CYICON);
    icons->smallIcon = LoadSized(SM_CXSMICON, SM_CYSMICON);
    // A program without the resource has no icon; the window then shows the
    // system's own.
    if (icons->bigIcon == nullptr && icons->smallIcon == nullptr) return IconHandle{};
    // The icons live as long as the program: they are shared by every
    // window, and Windows frees them when the process ends.
    return IconHandle{std::shared_ptr<const void>(icons, icons.get())};
  }();
  return icon;
}

const Win32Icon* ToWin32Icon(const IconHandle& icon) { return static_cast<const Win32Icon*>(icon.native.get()); }

}  // namespace rdrconf
