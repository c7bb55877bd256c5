#include <windows.h>

#include <cstdio>
#include <string>

#include "dialogs/Log.h"
#include "dialogs/win32/DialogWindow.h"

namespace rdrconf {

void LogWarning(const char* category, const std::string& text) {
  // For a debugger or DebugView, and for whoever started the program from
  // a console or with its error output in a file.
  const std::string line = std::string(category) + ": " + text + "\n";
  OutputDebugStringW(ToWindowText(line).c_str());
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace rdrconf
