// The commands that follow the reader over time: the test scan on its
// keyboard side, the profile of what was last written to it, and the watch
// that gives that profile to every reader plugged in later.
#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <fstream>
#include <ostream>
#include <set>

#include "cli/CardFormat.h"
#include "cli/Command.h"
#include "cli/ExitCode.h"

namespace rdrconf::cli {
namespace {

// A number without Enter ends when the keys stop for this long.
constexpr int kQuietMs = 600;
constexpr int kProfileVersion = 1;

#ifdef _WIN32
// Windows gives the command line neither a keyboard side nor news of
// readers plugged in, so nothing waits on a descriptor there: test and
// watch end before, saying why.
bool WaitFor(int, int, int) { return false; }
bool StopAsked(int) { return false; }
#else
// Waits until `descriptor` (or the stop descriptor) is readable, at most
// `milliseconds` (-1: without end). True when `descriptor` is.
bool WaitFor(int descriptor, int stop, int milliseconds) {
  pollfd fds[2] = {{descriptor, POLLIN, 0}, {stop, POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, stop >= 0 ? 2 : 1, milliseconds);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (fds[0].revents & POLLIN) != 0 && (stop < 0 || (fds[1].revents & POLLIN) == 0);
  }
}

bool StopAsked(int stop) {
  pollfd ask{stop, POLLIN, 0};
  return stop >= 0 && poll(&ask, 1, 0) > 0;
}
#endif

// Lets go of the keyboard side on every way out.
class Held {
 public:
  explicit Held(KeyboardSource& keyboard) : keyboard_(keyboard) {}
  ~Held() { keyboard_.Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  KeyboardSource& keyboard_;
};

int CodeOfScanFailure(int number) {
  if (number == EACCES || number == EPERM) return kExitDenied;
  if (number == EBUSY || number == EWOULDBLOCK) return kExitBusy;
  return kExitInternal;
}

}  // namespace

// --- test ---------------------------------------------------------------------------

int Command::Test(double timeoutSeconds) {
  KeyboardSource* keyboard = environment_.keyboard();
  if (keyboard == nullptr) {
    Error("the test scan needs the reader's keyboard side, which cannot be read here");
    return kExitInternal;
  }
  std::vector<ReaderIdentity> present;
  if (!ListPresent(present)) return kExitInternal;
  std::vector<ReaderIdentity> targets;
  if (const int code = PickTargets(present, false, targets); code != kExitDone) return code;
  const ReaderIdentity& target = targets.front();

  const std::optional<std::string> node = keyboard->FindNode(target.hid.path);
  if (!node) {
    Error(Name(target) + ": its keyboard side (an input device under the same USB device) was not found");
    if (options_.json) Print(Json{{"outcome", "no_keyboard"}, {"reader", Identity(target)}});
    return kExitNoReader;
  }
  HidError error;
  if (!keyboard->Open(*node, error)) {
    const int code = CodeOfScanFailure(error.number);
    Error(Name(target) + ": " + error.text +
          (code == kExitDenied ? "\n  Install the package's udev rule (or join group plugdev), then unplug the "
                                 "reader and plug it in again; rdrconf-cli doctor says more."
                               : ""));
    if (options_.json) Print(Json{{"outcome", code == kExitDenied ? "denied" : code == kExitBusy ? "busy" : "failed"},
                                  {"reader", Identity(target)}, {"message", error.text}});
    return code;
  }
  const Held held(*keyboard);
  Note("hold a card to the reader " + Name(target) + " (reading " + *node + " for up to " +
       std::to_string(static_cast<int>(timeoutSeconds)) + " s)");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  ScanDecoder decoder;
  bool complete = false;
  while (!complete) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 && decoder.Empty()) break;
    const int wait = decoder.Empty() ? static_cast<int>(left.count()) : kQuietMs;
    if (!WaitFor(keyboard->Descriptor(), environment_.stopDescriptor, wait)) {
      if (StopAsked(environment_.stopDescriptor) || !decoder.Empty()) break;  // stopped, or the keys stopped
      continue;
    }
    for (const TypedKey& key : keyboard->Read()) complete = decoder.Feed(key) || complete;
  }

  if (decoder.Empty()) {
    Error(Name(target) + ": no card within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s");
    if (options_.json) Print(Json{{"outcome", "timeout"}, {"reader", Identity(target)}});
    return kExitTimeout;
  }
  const ScanResult card = decoder.Take();
  Say(card.text + " (" + std::to_string(card.count) + " characters, " + (card.enter ? "Enter" : "no Enter") + ")");
  if (options_.json) {
    Print(Json{{"outcome", "scanned"},
               {"reader", Identity(target)},
               {"text", card.text},
               {"count", card.count},
               {"enter", card.enter}});
  }
  return kExitDone;
}

// --- export -------------------------------------------------------------------------

int Command::Export() {
  std::vector<ReaderIdentity> present;
  if (!ListPresent(present)) return kExitInternal;
  std::vector<ReaderIdentity> targets;
  if (const int code = PickTargets(present, false, targets); code != kExitDone) return code;
  const ReaderIdentity& target = targets.front();
  const std::map<std::string, RecordEntry> record = ReadRecord();
  const auto entry = record.find(SettingsRecord::KeyOf(target.hid));
  if (entry == record.end()) {
    Error(Name(target) + ": nothing was written to it from this computer, so there is nothing to export; "
          "set it first (rdrconf-cli set ...)");
    return kExitInternal;
  }
  // A profile is JSON whatever --json says: it is made for watch --apply.
  out_ << Json{{"rdrconf_profile", kProfileVersion},
               {"settings", SettingsObject(entry->second.settings)},
               {"source",
                {{"serial", target.hid.serialNumber},
                 {"usb_port", target.hid.usbPort},
                 {"written_at", entry->second.writtenAt}}}}
              .dump(2)
       << '\n';
  return kExitDone;
}

// --- watch --------------------------------------------------------------------------

namespace {

// The settings of a profile file; std::nullopt (and why) when it is none.
std::optional<ReaderParameterBlock> ReadProfile(const std::string& path, std::string& why) {
  std::ifstream file(path);
  if (!file) {
    why = "cannot read the profile " + path;
    return std::nullopt;
  }
  const Json profile = Json::parse(file, nullptr, false);
  if (profile.is_discarded() || !profile.is_object()) {
    why = path + " is not JSON";
    return std::nullopt;
  }
  if (profile.value("rdrconf_profile", 0) != kProfileVersion || !profile.contains("settings")) {
    why = path + " is not a profile of rdrconf-cli export (version " + std::to_string(kProfileVersion) + ")";
    return std::nullopt;
  }
  const std::optional<ReaderParameterBlock> block = SettingsFromJson(profile["settings"]);
  if (!block) why = path + ": its settings are incomplete or out of range";
  return block;
}

}  // namespace

int Command::Watch(const std::string& profilePath) {
  std::string why;
  const std::optional<ReaderParameterBlock> block = ReadProfile(profilePath, why);
  if (!block) {
    Error(why);
    return kExitUsage;
  }
  HotplugSource* hotplug = environment_.hotplug();
  if (hotplug == nullptr || hotplug->Descriptor() < 0) {
#ifdef _WIN32
    Error("cannot watch for readers: this build has no news of readers plugged in");
#else
    Error("cannot watch for readers: udev's events cannot be had here");
#endif
    return kExitInternal;
  }
  std::vector<ReaderIdentity> present;
  if (!ListPresent(present)) return kExitInternal;
  // Readers already there are left alone: only one plugged in from now on
  // gets the profile. A reader that goes and comes back counts as new.
  std::set<std::string> settled;
  for (const ReaderIdentity& reader : present) settled.insert(reader.hid.path);
  Note("watching for readers to give " + DescribeSettings(*block) + "; left alone: " +
       std::to_string(settled.size()) + " reader(s) already connected");

  while (WaitFor(hotplug->Descriptor(), environment_.stopDescriptor, -1)) {
    for (const HotplugEvent& event : hotplug->TakeEvents()) {
      if (event.action == HotplugEvent::Action::kRemoved) settled.erase(event.path);
    }
    if (!ListPresent(present)) continue;
    for (const ReaderIdentity& reader : present) {
      if (settled.count(reader.hid.path) != 0) continue;
      const SessionOutcome session = RunSession(
          reader_, reader.hid.path,
          [&](const ReaderHandle& handle, ExchangeOutcome* o) { return SetReaderConfig(handle, *block, o); },
          true);
      const ExchangeOutcome& result = session.command;
      // A reader that could not be opened gets its whole session at a later
      // event (udev's next word on it), when it is ready, no longer held or
      // open to this user.
      if (result.request == Request::kOpen) {
        Note(Name(reader) + ": not ready yet: " + DescribeOutcome(result));
        continue;
      }
      settled.insert(reader.hid.path);
      const bool recorded = result.Succeeded() && Record(reader, *block, result.outcome);
      const std::string line = Name(reader) + ": " + DescribeOutcome(result);
      if (result.Succeeded()) {
        Say(line + ": " + DescribeSettings(*block));
      } else {
        Error(line);
      }
      if (options_.json) {
        Json item = Identity(reader);
        item["outcome"] = OutcomeName(result.outcome);
        item["settings"] = SettingsObject(*block);
        item["recorded"] = recorded;
        // One line a write, as a log is read: a JSON document per line.
        out_ << item.dump() << std::endl;
      }
    }
  }
  Note("stopped watching");
  return kExitDone;
}

}  // namespace rdrconf::cli
