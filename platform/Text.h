#pragma once

#include <string>
#include <string_view>

// The system's wide text and our UTF-8. wchar_t holds UTF-16 on Windows and
// whole code points elsewhere; both conversions follow that width, whatever
// the locale: a device's name or a user's folder must reach every program
// as the same bytes.
namespace rdrconf::platform {

// Wide text as UTF-8; an unpaired surrogate or a value beyond U+10FFFF
// becomes U+FFFD.
std::string Utf8(std::wstring_view wide);

// UTF-8 as wide text; a byte that starts no valid sequence becomes U+FFFD.
std::wstring Wide(std::string_view utf8);

}  // namespace rdrconf::platform
