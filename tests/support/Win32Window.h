#pragma once

#include <windows.h>

#include <string>

namespace rdrconf::test {

// What the Win32 tests read of a window: its text, its class, its style.
inline std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

inline bool IsClass(HWND window, const wchar_t* name) { return _wcsicmp(ClassOf(window).c_str(), name) == 0; }

inline LONG StyleOf(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

}  // namespace rdrconf::test
