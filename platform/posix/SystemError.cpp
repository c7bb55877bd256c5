#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

namespace rdrconf::platform {

std::string SystemErrorText(int number) { return std::strerror(number); }

SystemError LastSystemError() {
  const int number = errno;
  return {number, SystemErrorText(number)};
}

}  // namespace rdrconf::platform
