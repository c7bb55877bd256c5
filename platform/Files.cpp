#include "platform/Files.h"

namespace rdrconf::platform {

std::string FileContent::Problem() const {
  switch (status) {
    case ReadStatus::kRead:
    case ReadStatus::kMissing: return {};
    case ReadStatus::kNotRegular: return "not a regular file";
    case ReadStatus::kTooLarge: return "too large";
    case ReadStatus::kFailed: break;
  }
  return error.text;
}

FolderLock::FolderLock(FolderLock&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

FolderLock::~FolderLock() { Release(); }

}  // namespace rdrconf::platform
