#pragma once

// The resource id of the application icon group, in every program that
// links the Win32 dialogs (AppIcon.rc.in). Plain C: the resource compiler
// reads it too.
#define RDRCONF_APP_ICON_RESOURCE 128

#ifdef __cplusplus
namespace rdrconf {
inline constexpr int kAppIconResource = RDRCONF_APP_ICON_RESOURCE;
}
#endif
