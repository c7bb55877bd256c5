// show: the settings last written from this computer (the reader cannot
// report them).
#include <CLI/CLI.hpp>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"

namespace rdrconf::cli {
namespace {

constexpr char kShowNote[] =
    "The reader cannot report its settings: these are the settings last written to it from this computer.";

void DefineShow(CLI::App& command, Options& options) {
  AddReaderOption(command, options);
  AddOutputFlags(command, options);
}

int RunShow(Context& context) {
  const Targets targets = SelectTargets(context, true);
  if (targets.code != kExitDone) return targets.code;
  const std::map<std::string, RecordEntry> record = ReadRecord(context);
  const std::map<std::string, RecordEntry> system = ReadSystemRecord(context);
  const std::string& recordPath = context.environment.recordPath;
  Output& output = context.output;

  output.Say(std::string(kShowNote) + " (record: " + (recordPath.empty() ? std::string("none") : recordPath) + ")");
  for (const ReaderIdentity& target : targets.readers) {
    const std::string key = SettingsRecord::KeyOf(target.hid);
    const auto entry = SettingsRecord::Find(record, target.hid, targets.present);
    Json item = ReaderJson(target);
    std::string line;
    item["key"] = entry != record.end() ? Json(entry->first) : key.empty() ? Json(nullptr) : Json(key);
    if (entry == record.end()) {
      item["last_written"] = nullptr;
      item["written_at"] = nullptr;
      item["outcome"] = nullptr;
      line = ReaderName(target) + ": nothing recorded: no settings were written to it from this computer" +
             (key.empty() ? " (it has neither a serial number nor a USB port to record them under)" : "");
    } else {
      const RecordEntry& e = entry->second;
      item["last_written"] = e.settings.ToJson();
      item["written_at"] = e.writtenAt;
      item["outcome"] = OutcomeName(e.outcome);
      line = ReaderName(target) + ": last written " + e.writtenAt + ": " + e.settings.Describe() +
             (e.outcome == Outcome::kStatus ? " (the reader gave a status answer then and may not have taken them)"
                                            : "");
    }
    const std::string systemLine = SystemWrittenLine(system, target, targets.present, item);
    output.Item(systemLine.empty() ? line : line + "\n" + systemLine, item);
  }
  output.Finish(Json{{"note", kShowNote}, {"record", recordPath.empty() ? Json(nullptr) : Json(recordPath)}});
  return kExitDone;
}

}  // namespace

CommandEntry ShowCommand() {
  return {"show", "Show the settings last written from this computer (the reader cannot report them)", DefineShow,
          RunShow};
}

}  // namespace rdrconf::cli
