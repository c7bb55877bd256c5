#include "platform/SystemError.h"

#include <windows.h>

#include "platform/Text.h"

namespace rdrconf::platform {

std::string SystemErrorText(int number) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(number), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Utf8(std::wstring_view(buffer, length)) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "error";
  return text + " (Windows error " + std::to_string(number) + ")";
}

SystemError LastSystemError() {
  const auto number = static_cast<int>(GetLastError());
  return {number, SystemErrorText(number)};
}

}  // namespace rdrconf::platform
