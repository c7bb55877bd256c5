// The table of commands, and what several of them share: their common
// options and the choice of the readers they act on.
#include <CLI/CLI.hpp>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"

namespace rdrconf::cli {

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> commands{ListCommand(),   SetCommand(),    RestoreCommand(),
                                                  ApplyCommand(),  ShowCommand(),   TestCommand(),
                                                  ExportCommand(), WatchCommand(),  DoctorCommand(),
                                                  UdevRuleCommand()};
  return commands;
}

void AddOutputFlags(CLI::App& command, Options& options) {
  command.add_flag("--json", options.json, "Print one JSON document on stdout; messages go to stderr");
  command.add_flag("-q,--quiet", options.quiet, "Print nothing but warnings and errors");
}

void AddReaderOption(CLI::App& command, Options& options) {
  // An empty SEL would otherwise read as no selection at all.
  static const CLI::Validator nonEmpty(
      [](std::string& text) { return text.empty() ? std::string("SEL is empty") : std::string(); }, "");
  command.add_option("-r,--reader", options.reader, "The reader: its path (/dev/hidrawN), serial number or index")
      ->type_name("SEL")
      ->check(nonEmpty);
}

void AddSelection(CLI::App& command, Options& options) {
  AddReaderOption(command, options);
  CLI::Option* all = command.add_flag("-a,--all", options.all, "Every reader connected, one after the other");
  command.get_option("--reader")->excludes(all);
}

bool ListPresent(Context& context, std::vector<ReaderIdentity>& readers) {
  HidError error;
  readers = context.reader.ListReaders(&error);
  if (error.Empty()) return true;
  context.output.Error("cannot list the HID devices: " + error.text);
  return false;
}

namespace {

std::string Numbered(const std::vector<ReaderIdentity>& readers) {
  std::string text;
  for (const ReaderIdentity& r : readers) text += "\n  " + std::to_string(r.index) + "  " + ReaderName(r);
  return text;
}

Targets Refuse(Context& context, int code, const char* outcome, const std::vector<ReaderIdentity>& candidates) {
  if (context.output.IsJson()) {
    Json document{{"outcome", outcome}, {"readers", Json::array()}};
    if (!candidates.empty()) {
      Json list = Json::array();
      for (const ReaderIdentity& candidate : candidates) list.push_back(ReaderJson(candidate));
      document["candidates"] = list;
    }
    context.output.Print(document);
  }
  return {code, {}};
}

}  // namespace

Targets SelectTargets(Context& context, bool allByDefault) {
  std::vector<ReaderIdentity> present;
  if (!ListPresent(context, present)) return {kExitInternal, {}};
  const Options& options = context.options;
  if (present.empty()) {
    context.output.Error("no reader 1d57:ac08 is connected");
    return Refuse(context, kExitNoReader, OutcomeName(Outcome::kNoReader), {});
  }
  if (!options.reader.empty()) {
    const ReaderSelector selector = ReaderSelector::Parse(options.reader);
    std::vector<ReaderIdentity> named = selector.Pick(present);
    if (named.empty()) {
      context.output.Error("no reader matches --reader " + options.reader + " (" + selector.Describe() +
                           "); connected:" + Numbered(present));
      return Refuse(context, kExitNoReader, OutcomeName(Outcome::kNoReader), {});
    }
    if (named.size() > 1) {
      context.output.Error("--reader " + options.reader + " names several readers; name one by its path:" +
                           Numbered(named));
      return Refuse(context, kExitSeveralReaders, "several_readers", named);
    }
    return {kExitDone, named, present};
  }
  if (options.all || allByDefault || present.size() == 1) return {kExitDone, present, present};
  context.output.Error(std::to_string(present.size()) +
                       " readers are connected; choose one with --reader SEL (its path, serial number or index) "
                       "or use --all:" + Numbered(present));
  return Refuse(context, kExitSeveralReaders, "several_readers", present);
}

}  // namespace rdrconf::cli

namespace rdrconf::cli {

SettingsRecord RecordOf(const Context& context) {
  const CliEnvironment& environment = context.environment;
  if (context.options.system) {
    return SettingsRecord(environment.systemRecordPath, "this system has no folder for the system's record", 0644);
  }
  return SettingsRecord(environment.recordPath, environment.recordMissing);
}

std::map<std::string, RecordEntry> ReadRecord(Context& context) {
  std::string warning;
  std::map<std::string, RecordEntry> entries = RecordOf(context).Read(&warning);
  // One line, which may quote a key that a device chose.
  if (!warning.empty()) context.output.Warn(Printable(warning));
  return entries;
}

std::map<std::string, RecordEntry> ReadSystemRecord(Context& context) {
  const CliEnvironment& environment = context.environment;
  if (context.options.system || environment.systemRecordPath.empty() ||
      environment.systemRecordPath == environment.recordPath) {
    return {};
  }
  std::string warning;
  std::map<std::string, RecordEntry> entries = SettingsRecord(environment.systemRecordPath).Read(&warning);
  if (!warning.empty()) context.output.Warn(Printable(warning));
  return entries;
}

std::string SystemWrittenLine(const std::map<std::string, RecordEntry>& systemRecord, const ReaderIdentity& reader,
                              const std::vector<ReaderIdentity>& present, Json& item) {
  const auto entry = SettingsRecord::Find(systemRecord, reader.hid, present);
  const bool found = entry != systemRecord.end();
  item["system_last_written"] = found ? entry->second.settings.ToJson() : Json(nullptr);
  item["system_written_at"] = found ? Json(entry->second.writtenAt) : Json(nullptr);
  return found ? "   the system wrote " + entry->second.writtenAt + ": " + entry->second.settings.Describe() : "";
}

bool RecordWrite(Context& context, const ReaderIdentity& reader, const ReaderSettings& settings, Outcome outcome) {
  std::string message;
  const bool recorded = RecordOf(context).Write(reader.hid, settings, outcome, context.environment.now(), &message);
  if (!message.empty()) context.output.Warn(ReaderName(reader) + ": " + Printable(message));
  return recorded;
}

}  // namespace rdrconf::cli
