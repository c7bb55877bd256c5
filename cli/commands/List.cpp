// list: the readers connected, this user's access, what was last written.
// Opens and sends nothing.
#include <CLI/CLI.hpp>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"

namespace rdrconf::cli {
namespace {

int RunList(Context& context) {
  std::vector<ReaderIdentity> readers;
  if (!ListPresent(context, readers)) return kExitInternal;
  const std::map<std::string, RecordEntry> record = readers.empty() ? decltype(record){} : ReadRecord(context);
  const std::map<std::string, RecordEntry> system = readers.empty() ? decltype(system){} : ReadSystemRecord(context);
  Output& output = context.output;
  Json list = Json::array();
  for (const ReaderIdentity& r : readers) {
    const auto entry = SettingsRecord::Find(record, r.hid, readers);
    const bool recorded = entry != record.end();
    Json item{{"index", r.index},
                        {"path", r.hid.path},
                        {"serial", r.hid.serialNumber},
                        {"manufacturer", r.hid.manufacturer},
                        {"product", r.hid.product},
                        {"usb_port", r.hid.usbPort},
                        {"access", r.mayOpen ? "ok" : "denied"},
                        {"last_written", recorded ? entry->second.settings.ToJson() : Json(nullptr)}};
    const std::string systemLine = SystemWrittenLine(system, r, readers, item);
    list.push_back(item);
    output.Say(std::to_string(r.index) + "  " + Printable(r.hid.path) + "  " +
               (r.hid.serialNumber.empty() ? "no serial" : "serial " + Printable(r.hid.serialNumber)) + "  " +
               (r.hid.usbPort.empty() ? "not on USB" : "USB " + Printable(r.hid.usbPort)) + "  " +
               Printable(r.hid.manufacturer) + " " + Printable(r.hid.product) + "  access " +
               (r.mayOpen ? "ok" : "denied"));
    if (recorded) output.Say("   last written " + entry->second.writtenAt + ": " + entry->second.settings.Describe());
    if (!systemLine.empty()) output.Say(systemLine);
  }
  output.Print(Json{{"readers", list}});
  if (readers.empty()) output.Note("no reader 1d57:ac08 is connected");
  return kExitDone;
}

}  // namespace

CommandEntry ListCommand() {
  return {"list",
          "List the readers connected: whether you may open them and the settings last written to them. "
          "Opens and sends nothing",
          AddOutputFlags, RunList};
}

}  // namespace rdrconf::cli
