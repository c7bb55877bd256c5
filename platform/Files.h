#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/SystemError.h"

// The files the tool keeps and reads: its language files, the language
// choice and the record of what was written to each reader. Paths are UTF-8.
namespace rdrconf::platform {

// How reading a whole file ended.
enum class ReadStatus {
  kRead,        // `content` holds the whole file
  kMissing,     // nothing at the path (or its folder is missing)
  kNotRegular,  // a folder, a FIFO, a device: never read, so it cannot hold the program
  kTooLarge,    // larger than the limit asked for
  kFailed,      // the system refused; `error` says why
};

struct FileContent {
  ReadStatus status = ReadStatus::kMissing;
  std::string content;
  // The file's permission bits (0 on Windows, which has none to keep).
  std::uint32_t permissions = 0;
  SystemError error;

  bool Read() const { return status == ReadStatus::kRead; }
  // "not a regular file", "too large (N bytes, at most M)" or the system's
  // text; empty when it was read or is missing.
  std::string Problem() const;
};

inline constexpr std::size_t kNoSizeLimit = static_cast<std::size_t>(-1);

// Reads the whole regular file at `path`, at most `limit` bytes. It is
// opened so that a FIFO or a device in its place can never block the
// program, and only a regular file (a disk file on Windows) is read.
FileContent ReadRegularFile(const std::string& path, std::size_t limit = kNoSizeLimit);

// Whether `path` names a regular file (a disk file on Windows), judged
// without opening it.
bool IsRegularFile(const std::string& path);

// The folder part of `path`, with its trailing separator ("./" for a bare
// name).
std::string FolderOf(const std::string& path);

// Makes `folder` and any missing folder above it, each readable by this
// user alone (0700; on Windows the folder takes its parent's rights).
bool MakeFolders(const std::string& folder, SystemError& error);

// Permission bits for a new file: std::nullopt asks for what the system
// gives any new file (0666 less the umask).
using Permissions = std::optional<std::uint32_t>;

// Puts `content` in place of the file at `path` in one step: a temporary
// file in the same folder is written, flushed to the disk and renamed over
// `path` (MoveFileExW, written through, on Windows), then the folder is
// flushed, so a crash or a power cut leaves the old file or the new one,
// never a part. A symbolic link at `path` is followed: its target is
// replaced. False, with no temporary file left, when anything fails; the
// old file then stays as it was.
bool ReplaceFileAtomically(const std::string& path, std::string_view content, Permissions permissions,
                           SystemError& error);

// How a rename that may not replace anything ended.
enum class RenameStatus {
  kRenamed,
  kTaken,   // something already has the new name; nothing was changed
  kFailed,  // the system refused; `error` says why
};

// Gives whatever is at `from` (a symbolic link itself, not its target) the
// name `to` in the same file system, in one step and never over anything
// that already has that name: to keep a file aside without losing either.
RenameStatus RenameWithoutReplacing(const std::string& from, const std::string& to, SystemError& error);

// An exclusive lock on a folder, held for a read-modify-write of a file in
// it, so that two programs writing at once never lose each other's
// changes. It is let go when the object goes.
class FolderLock {
 public:
  // Waits up to about two seconds for a lock another program holds; then,
  // or when the system refuses, gives an empty lock and `error` says why.
  static FolderLock Take(const std::string& folder, SystemError& error);

  FolderLock() = default;
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  bool Held() const { return handle_ != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  explicit FolderLock(std::intptr_t handle) : handle_(handle) {}
  void Release() noexcept;

  std::intptr_t handle_ = kNone;  // a descriptor, or a HANDLE
};

}  // namespace rdrconf::platform
