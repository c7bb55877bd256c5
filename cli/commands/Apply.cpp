// apply: gives each reader the settings a profile has for it, and only to
// a reader that lacks them. The reader cannot report its settings, so the
// record of what was last written to it is what tells; a reader without a
// record is written. Made for what runs unattended: the system unit that
// each plugged reader starts, and fleet tools that must know what changed.
#include <CLI/CLI.hpp>

#include "cli/ExitCode.h"
#include "cli/Session.h"
#include "cli/commands/Command.h"
#include "cli/commands/Profile.h"
#include "platform/Waiting.h"

namespace rdrconf::cli {
namespace {

constexpr int kMostBusyRetries = 20;
constexpr int kBusyPauseMilliseconds = 1000;

void DefineApply(CLI::App& command, Options& options) {
  command.add_option("-p,--profile", options.profile, "The profile; by default the system's, /etc/rdrconf/profile.json")
      ->type_name("FILE");
  AddSelection(command, options);
  command.add_flag("--check", options.check, "Say what would change; open and send nothing");
  command.add_flag("--diff", options.diff, "Show each setting before (from the record) and after");
  command.add_flag("--force", options.force, "Write every reader, even one that the record says has the settings");
  command.add_flag("--system", options.system,
                   "Go by the system's record (/var/lib/rdrconf/readers.json), as the system unit does");
  command.add_option("--busy-retries", options.busyRetries,
                     "Try a reader that another program holds again N times, a second apart")
      ->type_name("N")
      ->check(CLI::Range(0, kMostBusyRetries))
      ->capture_default_str();
  AddOutputFlags(command, options);
}

// What the record says `reader` was last given; std::nullopt when nothing
// is known, or when the reader answered with a status and may not have
// taken what it was sent.
std::optional<ReaderSettings> RecordedFor(const std::map<std::string, RecordEntry>& record,
                                          const ReaderIdentity& reader, const std::vector<ReaderIdentity>& present) {
  const auto entry = SettingsRecord::Find(record, reader.hid, present);
  if (entry == record.end() || entry->second.outcome != Outcome::kDone) return std::nullopt;
  return entry->second.settings;
}

// "  format: 8h10d (5) -> 6h10d (4)" for each setting, as the profile names
// them.
std::string DiffLines(const std::optional<ReaderSettings>& before, const ReaderSettings& after) {
  const auto shown = [](const Json& settings, const char* key) {
    const Json& value = settings[key];
    if (std::string(key) == "format") {
      return value.get<std::string>() + " (" + std::to_string(settings["format_index"].get<int>()) + ")";
    }
    return value.is_string() ? value.get<std::string>() : value.dump();
  };
  const Json was = before ? before->ToJson() : Json();
  const Json will = after.ToJson();
  std::string lines;
  for (const char* key : {"format", "mode", "enter", "power_saving"}) {
    lines += std::string(lines.empty() ? "" : "\n") + "  " + key + ": " + (before ? shown(was, key) : "unknown") +
             " -> " + shown(will, key);
  }
  return lines;
}

// One session for `target`, again while another program holds it, up to
// --busy-retries times: someone using the reader in the window holds it
// only for the moment of an exchange.
SessionOutcome WriteReader(Context& context, const ReaderIdentity& target, const ReaderSettings& settings,
                           bool& recorded) {
  const int retries = context.options.busyRetries;
  for (int attempt = 1;; ++attempt) {
    const SessionOutcome session = RunSession(context.reader, target.hid.path, settings, [&](Outcome outcome) {
      recorded = RecordWrite(context, target, settings, outcome);
    });
    if (session.command.outcome != Outcome::kBusy || attempt > retries) return session;
    context.output.Note(ReaderName(target) + ": busy (another program holds it); trying again in a second (" +
                        std::to_string(attempt) + " of " + std::to_string(retries) + ")");
    if (!platform::Pause(context.environment.stopDescriptor, kBusyPauseMilliseconds)) return session;
  }
}

int RunApply(Context& context) {
  Output& output = context.output;
  const Options& options = context.options;
  const std::string path = options.profile.empty() ? context.environment.systemProfilePath : options.profile;
  std::string why = "this system has no place for the system's profile; name one with --profile FILE";
  const std::optional<Profile> profile = path.empty() ? std::nullopt : ReadProfile(path, why);
  if (!profile) {
    output.Error(why + "\n  nothing was written");
    output.Print(Json{{"outcome", "bad_profile"}, {"message", why}, {"readers", Json::array()}});
    return kExitUsage;
  }
  const Targets targets = SelectTargets(context, true);
  if (targets.code != kExitDone) return targets.code;
  const std::map<std::string, RecordEntry> record = ReadRecord(context);

  Outcome worst = Outcome::kDone;
  bool changed = false;
  for (const ReaderIdentity& target : targets.readers) {
    const Profile::Choice choice = profile->For(target.hid);
    const std::optional<ReaderSettings> before = RecordedFor(record, target, targets.present);
    const bool needed = options.force || before != choice.settings;
    Json item = ReaderJson(target);
    item["matched_by"] = ProfileMatchName(choice.match);
    std::string state = needed ? "would_change" : "unchanged";
    std::string message = needed ? "would be set " + choice.settings.Describe()
                                 : "has the settings already: " + choice.settings.Describe();
    bool recorded = false;
    if (needed && !options.check) {
      const ExchangeOutcome result = WriteReader(context, target, choice.settings, recorded).command;
      state = OutcomeName(result.outcome);
      message = result.outcome == Outcome::kDone ? "set " + choice.settings.Describe() : DescribeOutcome(result);
      if (Severity(result.outcome) > Severity(worst)) worst = result.outcome;
      if (!result.Succeeded()) output.Error(ReaderName(target) + ": " + message);
      if (result.outcome == Outcome::kStatus) output.Warn(ReaderName(target) + ": " + message);
    }
    const bool changedThis = needed && (options.check || state == OutcomeName(Outcome::kDone) ||
                                        state == OutcomeName(Outcome::kStatus));
    changed = changed || changedThis;
    item["outcome"] = state;
    item["changed"] = changedThis;
    item["before"] = before ? before->ToJson() : Json(nullptr);
    item["after"] = choice.settings.ToJson();
    item["message"] = message;
    item["recorded"] = recorded;
    const bool failed = needed && !options.check && !changedThis;
    std::string line = failed ? std::string() : ReaderName(target) + ": " + (needed ? "" : "unchanged: ") + message;
    if (options.diff && !failed) line += "\n" + DiffLines(before, choice.settings);
    output.Item(line, item);
  }
  const char* summary = worst != Outcome::kDone ? OutcomeName(worst)
                        : !changed             ? "unchanged"
                        : options.check        ? "would_change"
                                               : OutcomeName(Outcome::kDone);
  output.Finish(Json{{"outcome", summary}, {"changed", changed}, {"check", options.check}, {"profile", path}});
  return ExitCodeOf(worst);
}

}  // namespace

CommandEntry ApplyCommand() {
  return {"apply",
          "Give each reader the settings a profile has for it, and only to one that lacks them (by the record)",
          DefineApply, RunApply};
}

}  // namespace rdrconf::cli
