// watch --apply: gives a profile's settings to every reader plugged in from
// now on (udev's hot-plug news), until stopped.
#include <CLI/CLI.hpp>

#include <ostream>
#include <set>

#include "cli/ExitCode.h"
#include "cli/Session.h"
#include "cli/commands/Command.h"
#include "cli/commands/Profile.h"
#include "platform/Waiting.h"

namespace rdrconf::cli {
namespace {

void DefineWatch(CLI::App& command, Options& options) {
  command.add_option("--apply", options.profile, "The profile (from rdrconf-cli export)")
      ->required()
      ->type_name("PROFILE");
  AddOutputFlags(command, options);
}

int RunWatch(Context& context) {
  Output& output = context.output;
  std::string why;
  const std::optional<Profile> profile = ReadProfile(context.options.profile, why);
  if (!profile) {
    output.Error(why);
    return kExitUsage;
  }
  HotplugSource* hotplug = context.environment.hotplug();
  if (hotplug == nullptr) {
    output.Error("cannot watch for readers: this build has no news of readers plugged in");
    return kExitNotSetUp;
  }
  if (hotplug->Descriptor() < 0) {
    output.Error("cannot watch for readers: udev's events cannot be had here");
    return kExitNotSetUp;
  }
  std::vector<ReaderIdentity> present;
  if (!ListPresent(context, present)) return kExitInternal;
  // Readers already there are left alone: only one plugged in from now on
  // gets the profile. A reader that goes and comes back counts as new.
  std::set<std::string> settled;
  for (const ReaderIdentity& reader : present) settled.insert(reader.hid.path);
  output.Note("watching for readers to give " + profile->settings.Describe() +
              (profile->readers.empty() ? "" : " (or what the profile gives them by name)") + "; left alone: " +
              std::to_string(settled.size()) + " reader(s) already connected");

  const int stop = context.environment.stopDescriptor;
  while (platform::WaitReadable(hotplug->Descriptor(), stop, -1) == platform::WaitResult::kReady) {
    for (const HotplugEvent& event : hotplug->TakeEvents()) {
      if (event.action == HotplugEvent::Action::kRemoved) settled.erase(event.path);
    }
    if (!ListPresent(context, present)) continue;
    for (const ReaderIdentity& reader : present) {
      if (settled.count(reader.hid.path) != 0) continue;
      const ReaderSettings settings = profile->For(reader.hid).settings;
      bool recorded = false;
      const SessionOutcome session = RunSession(
          context.reader, reader.hid.path, settings,
          [&](Outcome outcome) { recorded = RecordWrite(context, reader, settings, outcome); }, true);
      const ExchangeOutcome& result = session.command;
      // A reader that could not be opened gets its whole session at a later
      // event (udev's next word on it), when it is ready, no longer held or
      // open to this user.
      if (result.request == Request::kOpen) {
        output.Note(ReaderName(reader) + ": not ready yet: " + DescribeOutcome(result));
        continue;
      }
      settled.insert(reader.hid.path);
      const std::string line = ReaderName(reader) + ": " + DescribeOutcome(result);
      if (result.Succeeded()) {
        output.Say(line + ": " + settings.Describe());
      } else {
        output.Error(line);
      }
      if (output.IsJson()) {
        Json item = ReaderJson(reader);
        item["outcome"] = OutcomeName(result.outcome);
        item["settings"] = settings.ToJson();
        item["recorded"] = recorded;
        // One line a write, as a log is read: a JSON document per line.
        output.Stream() << JsonText(Versioned(item), -1) << std::endl;
      }
    }
  }
  output.Note("stopped watching");
  return kExitDone;
}

}  // namespace

CommandEntry WatchCommand() {
  return {"watch", "Give a profile's settings to every reader plugged in from now on; runs until stopped",
          DefineWatch, RunWatch};
}

}  // namespace rdrconf::cli
