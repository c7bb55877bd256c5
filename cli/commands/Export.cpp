// export: the settings last written to a reader, as a profile for watch
// --apply.
#include <CLI/CLI.hpp>

#include <ostream>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"
#include "cli/commands/Profile.h"

namespace rdrconf::cli {
namespace {

void DefineExport(CLI::App& command, Options& options) { AddReaderOption(command, options); }

int RunExport(Context& context) {
  const Targets targets = SelectTargets(context, false);
  if (targets.code != kExitDone) return targets.code;
  const ReaderIdentity& target = targets.readers.front();
  const std::map<std::string, RecordEntry> record = ReadRecord(context);
  const auto entry = SettingsRecord::Find(record, target.hid, targets.present);
  if (entry == record.end()) {
    context.output.Error(ReaderName(target) +
                         ": nothing was written to it from this computer, so there is nothing to export; "
                         "set it first (rdrconf-cli set ...)");
    return kExitNothingRecorded;
  }
  // A profile is JSON whatever --json says: it is made for watch --apply.
  context.output.Stream() << JsonText(Json{{"rdrconf_profile", kProfileVersion},
                                           {"settings", entry->second.settings.ToJson()},
                                           {"source",
                                            {{"serial", target.hid.serialNumber},
                                             {"usb_port", target.hid.usbPort},
                                             {"written_at", entry->second.writtenAt}}}})
                          << '\n';
  return kExitDone;
}

}  // namespace

CommandEntry ExportCommand() {
  return {"export", "Print the settings last written to a reader as a profile for watch --apply (JSON)",
          DefineExport, RunExport};
}

}  // namespace rdrconf::cli
