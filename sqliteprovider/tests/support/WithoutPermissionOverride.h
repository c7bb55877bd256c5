#pragma once

#include <functional>
#include <string>

// Makes the permission bits of files bind the test as they bind an ordinary
// user. Root, and any user inside a user namespace of its own (which
// PrivateMount may have entered), pass over them: a file without write
// permission would open for writing all the same, and its test would prove
// nothing. While this lives, the calling thread gives that power up; it
// gets it back when this ends. The tests are single-threaded, and the
// engine opens files on the caller's thread.
namespace rdrconf::test {

class WithoutPermissionOverride {
 public:
  WithoutPermissionOverride();
  ~WithoutPermissionOverride() {
    if (restore_) restore_();
  }
  WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
  WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

  // Empty when the permission bits bind; otherwise why they may not.
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  // Gives the thread back what it gave up; empty when it gave up nothing.
  std::function<void()> restore_;
};

}  // namespace rdrconf::test
