#include "cli/Environment.h"

#include "platform/Places.h"
#include "reader/SettingsRecord.h"

namespace rdrconf::cli {

// The folders udev reads rules from, in its order; a system without udev
// has none of them, and doctor finds no rule there to check.
CliEnvironment CliEnvironment::OfThisProcess() {
  CliEnvironment environment;
  const SettingsRecord record = SettingsRecord::OfThisUser();
  environment.recordPath = record.Path();
  environment.recordMissing = record.WhyNone();
  const std::string config = platform::SystemConfigFolder();
  const std::string state = platform::SystemStateFolder();
  if (!config.empty()) environment.systemProfilePath = config + "profile.json";
  if (!state.empty()) environment.systemRecordPath = state + "readers.json";
  environment.udevRuleFolders = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d",
                                 "/lib/udev/rules.d", "/usr/local/lib/udev/rules.d"};
  return environment;
}

}  // namespace rdrconf::cli
