#include "platform/Files.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "platform/Text.h"

// Windows: paths are UTF-8 up to here and UTF-16 at the Win32 calls. There
// are no permission bits to keep: a file that replaces another takes the
// folder's rights, as any new file there does, and a read-only file is
// refused rather than replaced.
namespace rdrconf::platform {
namespace {

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool CloseNow() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

SystemError Failure(const std::string& what, DWORD code) {
  return {static_cast<int>(code), what + SystemErrorText(static_cast<int>(code))};
}

// The file a write replaces: the target of a symbolic link (a reparse
// point), not the link.
bool FollowLink(const std::string& path, std::string& target, SystemError& error) {
  target = path;
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  const Handle file(CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  wchar_t resolved[32768];
  const DWORD units =
      file.IsOpen() ? GetFinalPathNameByHandleW(file.get(), resolved, 32768, FILE_NAME_NORMALIZED) : 0;
  if (units == 0 || units >= 32768) {
    error = Failure("the link " + path + " leads nowhere: ", GetLastError());
    return false;
  }
  target = Utf8(std::wstring_view(resolved, units));
  return true;
}

constexpr int kLockAttempts = 200;
constexpr auto kLockPause = std::chrono::milliseconds(10);

}  // namespace

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContent file;
  const Handle handle(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.IsOpen()) {
    const DWORD code = GetLastError();
    file.status = IsMissing(code) ? ReadStatus::kMissing : ReadStatus::kFailed;
    file.error = Failure("", code);
    return file;
  }
  // A console, a pipe or a serial port in the file's place is never read.
  if (GetFileType(handle.get()) != FILE_TYPE_DISK) {
    file.status = ReadStatus::kNotRegular;
    return file;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle.get(), &size)) {
    file.status = ReadStatus::kFailed;
    file.error = Failure("", GetLastError());
    return file;
  }
  if (static_cast<unsigned long long>(size.QuadPart) > limit) {
    file.status = ReadStatus::kTooLarge;
    return file;
  }
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) {
      file.status = ReadStatus::kFailed;
      file.error = Failure("", GetLastError());
      file.content.clear();
      return file;
    }
    if (got == 0) break;
    file.content.append(buffer, got);
    if (file.content.size() > limit) {
      file.status = ReadStatus::kTooLarge;
      file.content.clear();
      return file;
    }
  }
  file.status = ReadStatus::kRead;
  return file;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

bool MakeFolders(const std::string& folder, SystemError& error) {
  std::error_code code;
  std::filesystem::create_directories(std::filesystem::path(Wide(folder)), code);
  if (code) error = {code.value(), "cannot create the folder " + folder + ": " + code.message()};
  return !code;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, Permissions,
                           SystemError& error) {
  std::string target;
  if (!FollowLink(path, target, error)) return false;
  const std::string folder = FolderOf(target);
  std::random_device random;
  std::string temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && created == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    temporary = folder + "." + target.substr(folder.size()) + suffix;
    created = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    error = Failure("cannot create a file in " + folder + ": ", GetLastError());
    return false;
  }
  Handle file(created);
  bool ok = true;
  while (ok && !content.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
    DWORD put = 0;
    ok = WriteFile(file.get(), content.data(), chunk, &put, nullptr) != 0 && put > 0;
    content.remove_prefix(put);
  }
  ok = ok && FlushFileBuffers(file.get()) != 0;
  if (!ok) error = Failure("cannot write " + temporary + ": ", GetLastError());
  if (!file.CloseNow() && ok) {
    ok = false;
    error = Failure("cannot write " + temporary + ": ", GetLastError());
  }
  // MOVEFILE_WRITE_THROUGH returns only once the move is on the disk.
  if (ok && !MoveFileExW(Wide(temporary).c_str(), Wide(target).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = Failure("cannot replace " + target + ": ", GetLastError());
  }
  if (!ok) DeleteFileW(Wide(temporary).c_str());
  return ok;
}

RenameStatus RenameWithoutReplacing(const std::string& from, const std::string& to, SystemError& error) {
  // Without MOVEFILE_REPLACE_EXISTING a move never replaces anything.
  if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return RenameStatus::kRenamed;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return RenameStatus::kTaken;
  error = Failure("cannot rename " + from + " to " + to + ": ", code);
  return RenameStatus::kFailed;
}

// The lock is a file beside the others, opened for this program alone (no
// sharing) and deleted when it is closed.
FolderLock FolderLock::Take(const std::string& folder, SystemError& error) {
  const std::wstring path = Wide(folder + ".lock");
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    const HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock != INVALID_HANDLE_VALUE) return FolderLock(reinterpret_cast<std::intptr_t>(lock));
    const DWORD code = GetLastError();
    // Held by another writer, or being deleted as that one lets go.
    if (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) {
      error = Failure("cannot lock the folder " + folder + ": ", code);
      return {};
    }
    std::this_thread::sleep_for(kLockPause);
  }
  error = {ERROR_SHARING_VIOLATION, "cannot lock the folder " + folder + ": another program holds its lock"};
  return {};
}

void FolderLock::Release() noexcept {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

}  // namespace rdrconf::platform
