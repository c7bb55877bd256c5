#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>

// Real storage faults for tests: a file system that is full, out of inodes
// or read-only, a file that is a mount point. Tests run as root, whom
// permission bits do not stop, so only the file system itself can refuse a
// write. Every mount is made in a mount namespace private to the test
// process: the host's mount table never sees it, and it ends with the
// process at the latest.
namespace rdrconf::test {

namespace detail {

inline std::string ErrorText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// The id maps must be written in one write each.
inline bool WriteProcFile(const char* path, const std::string& text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && written;
}

inline std::string EnterNamespaces() {
  if (unshare(CLONE_NEWNS) != 0) {
    // Not allowed a mount namespace (not root): a user namespace brings one,
    // and inside it the process may mount what it likes over its own mounts.
    // Its user and group stay what they were, mapped one to one.
    const int denied = errno;
    const std::string uid = std::to_string(getuid());
    const std::string gid = std::to_string(getgid());
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return ErrorText("no mount namespace", denied) + "; " +
             ErrorText("no user namespace with one", errno);
    }
    if (!WriteProcFile("/proc/self/setgroups", "deny") ||
        !WriteProcFile("/proc/self/uid_map", uid + " " + uid + " 1") ||
        !WriteProcFile("/proc/self/gid_map", gid + " " + gid + " 1")) {
      return ErrorText("the user namespace's ids cannot be mapped", errno);
    }
  }
  // The new namespace starts as a copy that still shares propagation with
  // the host: without this, the test's mounts would show up there too. The
  // kernel ignores the type here and for remounts and bind mounts; it is
  // named all the same, as valgrind reads it as a string whatever the flags.
  if (mount(nullptr, "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0) {
    return ErrorText("the mounts cannot be made private", errno);
  }
  return {};
}

}  // namespace detail

// Moves the process, on the first call, into a mount namespace of its own.
// Empty when it is in one; otherwise why it cannot be, for a test to skip
// with.
inline const std::string& EnterPrivateMountNamespace() {
  static const std::string failure = detail::EnterNamespaces();
  return failure;
}

// A mount in the private namespace, taken off when destroyed. It is
// detached lazily, so a working folder inside it does not hold it, and
// whatever is mounted inside it goes with it.
class PrivateMount {
 public:
  PrivateMount(const PrivateMount&) = delete;
  PrivateMount& operator=(const PrivateMount&) = delete;
  ~PrivateMount() {
    if (error_.empty()) umount2(target_.c_str(), MNT_DETACH);
  }

  // Empty when mounted; otherwise why not.
  const std::string& error() const { return error_; }

 protected:
  PrivateMount(const char* source, const std::filesystem::path& target, const char* type,
               unsigned long flags, const std::string& options)
      : target_(std::filesystem::absolute(target).string()), error_(EnterPrivateMountNamespace()) {
    if (error_.empty() && mount(source, target_.c_str(), type, flags,
                                options.empty() ? nullptr : options.c_str()) != 0) {
      error_ = detail::ErrorText("cannot mount on " + target_, errno);
    }
  }

  const std::string target_;

 private:
  std::string error_;
};

// A tmpfs of `bytes` bytes and `inodes` inodes (its root folder uses one)
// on the existing folder `folder`.
class PrivateTmpfs : public PrivateMount {
 public:
  PrivateTmpfs(const std::filesystem::path& folder, std::size_t bytes, std::size_t inodes)
      : PrivateMount("tmpfs", folder, "tmpfs", 0,
                     "size=" + std::to_string(bytes) + ",nr_inodes=" + std::to_string(inodes)) {}

  // Makes the whole file system read-only, or writable again; false (and
  // errno) when refused.
  bool SetReadOnly(bool readOnly) {
    unsigned long flags = MS_REMOUNT;
    if (readOnly) flags |= MS_RDONLY;
    return mount(nullptr, target_.c_str(), "tmpfs", flags, nullptr) == 0;
  }
};

// `target`, a file or a folder, shows `source` through a bind mount; both
// may be the same file, which then becomes a mount point.
class PrivateBindMount : public PrivateMount {
 public:
  PrivateBindMount(const std::filesystem::path& source, const std::filesystem::path& target)
      : PrivateMount(source.c_str(), target, "none", MS_BIND, "") {}
};

}  // namespace rdrconf::test
