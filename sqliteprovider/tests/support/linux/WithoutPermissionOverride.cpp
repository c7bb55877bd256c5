#include "support/WithoutPermissionOverride.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// The override is two capabilities of the thread's effective set:
// CAP_DAC_OVERRIDE (read, write and run whatever the bits say) and
// CAP_DAC_READ_SEARCH (read files and search folders). Taken out of the
// effective set only, they stay permitted, so the thread may raise them
// again. glibc declares neither call, and libcap would only wrap them.
namespace rdrconf::test {

namespace {

// What capget gives and capset takes: the thread's effective, permitted and
// inheritable sets, each in two 32-bit halves.
struct Capabilities {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};

  bool Read() { return syscall(SYS_capget, &header, data) == 0; }
  bool Write() { return syscall(SYS_capset, &header, data) == 0; }
};

}  // namespace

WithoutPermissionOverride::WithoutPermissionOverride() {
  Capabilities capabilities;
  if (!capabilities.Read()) {
    error_ = std::string("the thread's capabilities cannot be read: ") + std::strerror(errno);
    return;
  }
  Capabilities saved = capabilities;
  for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    capabilities.data[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
  }
  if (!capabilities.Write()) {
    error_ = std::string("the override of permission bits cannot be given up: ") + std::strerror(errno);
    return;
  }
  restore_ = [saved]() mutable { saved.Write(); };
}

}  // namespace rdrconf::test
