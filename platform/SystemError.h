#pragma once

#include <string>

// Why a request to the operating system failed, as the system said it.
namespace rdrconf::platform {

struct SystemError {
  int number = 0;    // errno, or the Windows error code; 0 when the system gave none
  std::string text;  // the system's own words, or ours where it gave none

  bool Empty() const { return number == 0 && text.empty(); }
};

// The system's text for error `number` (strerror, FormatMessageW).
std::string SystemErrorText(int number);

// The error that the last failed call of this thread left (errno,
// GetLastError), with its text.
SystemError LastSystemError();

}  // namespace rdrconf::platform
