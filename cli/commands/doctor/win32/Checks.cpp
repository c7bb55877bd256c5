#include "cli/commands/doctor/Doctor.h"

#include "cli/ExitCode.h"

namespace rdrconf::cli {

// Windows has no udev rule and no access rights per user on a HID
// interface (every user may open one), so neither is checked. What holds a
// reader is seen only as far as the reader's lock tells: another copy of
// rdrconf in an exchange.
const char kDoctorHelp[] =
    "Check the readers, other copies of rdrconf holding them and the language files; say how to fix what "
    "fails";

std::vector<Check> RunDoctor(const CardReader& reader, const CliEnvironment&) {
  HidError error;
  const std::vector<ReaderIdentity> readers = reader.ListReaders(&error);
  std::vector<Check> checks{ReadersCheck(
      readers, error, "Look for the reader in the Device Manager, under Human Interface Devices.",
      "Plug the reader in. If the Device Manager does not list it under Human Interface Devices, "
      "try another USB port.")};

  for (const ReaderIdentity& r : readers) {
    Check held;
    held.name = "not_held";
    held.reader = r.hid.path;
    if (r.held) {
      held.ok = false;
      held.code = kExitBusy;
      held.detail = "another copy of rdrconf is exchanging frames with it";
      held.fix = "Close the other rdrconf window, or wait until its command is done: one program at a time may "
                 "talk to the reader.";
    } else {
      held.detail = "no other copy of rdrconf holds it (programs of others cannot be seen on Windows)";
    }
    checks.push_back(held);
  }
  checks.push_back(LanguageFilesCheck());
  return checks;
}

}  // namespace rdrconf::cli
