#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace rdrconf::platform {
namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, giving whether the close succeeded (a failed close can mean
  // lost data).
  bool CloseNow() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// 0666 less the umask. Reading the umask means setting it; the tool starts
// no thread that creates files, so none does in between.
std::uint32_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The file a write replaces: the target of a symbolic link, not the link.
bool FollowLink(const std::string& path, std::string& target, SystemError& error) {
  struct stat info {};
  target = path;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    error = LastSystemError();
    error.text = "the link " + path + " leads nowhere: " + error.text;
    return false;
  }
  target = resolved;
  return true;
}

// Writers hold a folder's lock for the few milliseconds of one write; a
// lock still held after this long belongs to a program that hangs.
constexpr int kLockAttempts = 200;
constexpr auto kLockPause = std::chrono::milliseconds(10);

}  // namespace

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
  FileContent file;
  // Non-blocking, so that a FIFO or a device in the file's place cannot
  // hold the program in open(); anything but a regular file is then left
  // unread.
  const Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    file.error = LastSystemError();
    file.status = file.error.number == ENOENT || file.error.number == ENOTDIR ? ReadStatus::kMissing
                                                                                : ReadStatus::kFailed;
    return file;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) {
    file.error = LastSystemError();
    file.status = ReadStatus::kFailed;
    return file;
  }
  if (!S_ISREG(info.st_mode)) {
    file.status = ReadStatus::kNotRegular;
    return file;
  }
  file.permissions = info.st_mode & 07777;
  if (static_cast<unsigned long long>(info.st_size) > limit) {
    file.status = ReadStatus::kTooLarge;
    return file;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      file.error = LastSystemError();
      file.status = ReadStatus::kFailed;
      file.content.clear();
      return file;
    }
    file.content.append(buffer, static_cast<std::size_t>(got));
    // It may grow while it is read.
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
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

bool MakeFolders(const std::string& folder, SystemError& error) {
  const std::string whole = folder.empty() || folder.back() == '/' ? folder : folder + '/';
  for (std::size_t slash = whole.find('/', 1); slash != std::string::npos; slash = whole.find('/', slash + 1)) {
    const std::string part = whole.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = LastSystemError();
      error.text = "cannot create the folder " + part + ": " + error.text;
      return false;
    }
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, Permissions permissions,
                           SystemError& error) {
  std::string target;
  if (!FollowLink(path, target, error)) return false;
  const std::string folder = FolderOf(target);
  std::string temporary = folder + "." + target.substr(folder.size()) + ".XXXXXX";
  const int created = mkostemp(temporary.data(), O_CLOEXEC);
  if (created < 0) {
    error = LastSystemError();
    error.text = "cannot create a file in " + folder + ": " + error.text;
    return false;
  }
  Descriptor file(created);
  const std::uint32_t mode = permissions ? *permissions : NewFileMode();
  if (!WriteAll(file.get(), content) || fchmod(file.get(), mode) != 0 || fsync(file.get()) != 0 ||
      !file.CloseNow()) {
    error = LastSystemError();
    error.text = "cannot write " + temporary + ": " + error.text;
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    error = LastSystemError();
    error.text = "cannot replace " + target + ": " + error.text;
    unlink(temporary.c_str());
    return false;
  }
  // The new file is in place; flushing the folder makes the rename itself
  // durable, and its failure loses nothing written.
  const Descriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) fsync(directory.get());
  return true;
}

RenameStatus RenameWithoutReplacing(const std::string& from, const std::string& to, SystemError& error) {
  int result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  // A file system that cannot rename without replacing (an older NFS) can
  // still give a second name and drop the first, which fails as well when
  // the name is taken.
  if (result != 0 && errno == EINVAL) {
    result = link(from.c_str(), to.c_str());
    if (result == 0 && unlink(from.c_str()) != 0) {
      error = LastSystemError();
      unlink(to.c_str());
      error.text = "cannot rename " + from + " to " + to + ": " + error.text;
      return RenameStatus::kFailed;
    }
  }
  if (result == 0) return RenameStatus::kRenamed;
  if (errno == EEXIST) return RenameStatus::kTaken;
  error = LastSystemError();
  error.text = "cannot rename " + from + " to " + to + ": " + error.text;
  return RenameStatus::kFailed;
}

FolderLock FolderLock::Take(const std::string& folder, SystemError& error) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = LastSystemError();
    error.text = "cannot open the folder " + folder + ": " + error.text;
    return {};
  }
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock(fd);
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = LastSystemError();
      error.text = "cannot lock the folder " + folder + ": " + error.text;
      close(fd);
      return {};
    }
    std::this_thread::sleep_for(kLockPause);
  }
  close(fd);
  error = {EWOULDBLOCK, "cannot lock the folder " + folder + ": another program holds its lock"};
  return {};
}

void FolderLock::Release() noexcept {
  if (handle_ != kNone) close(static_cast<int>(handle_));  // lets go of the lock
  handle_ = kNone;
}

}  // namespace rdrconf::platform
