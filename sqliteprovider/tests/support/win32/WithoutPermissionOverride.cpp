#include "support/WithoutPermissionOverride.h"

// The read-only attribute stops every Windows process, an administrator's
// too: there is no override to give up. (wine run as root is a Linux
// process that passes over the permission bits behind the attribute; a
// Windows program cannot change that.)
namespace rdrconf::test {

WithoutPermissionOverride::WithoutPermissionOverride() = default;

}  // namespace rdrconf::test
