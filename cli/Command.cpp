#include "cli/Command.h"

#include <cstdio>
#include <map>
#include <ostream>

#include "cli/CardFormat.h"
#include "cli/Doctor.h"
#include "cli/ExitCode.h"
#include "cli/Words.h"
#include "i18n/Language.h"
#include "reader/CardNumberFormats.h"

namespace rdrconf::cli {
namespace {

constexpr char kShowNote[] =
    "The reader cannot report its settings: these are the settings last written to it from this computer.";

std::string Hex(const FeatureReport& report) {
  std::string text;
  for (const std::uint8_t byte : report) {
    char digits[4];
    std::snprintf(digits, sizeof digits, text.empty() ? "%02x" : " %02x", byte);
    text += digits;
  }
  return text;
}

// What a report set in a session is, for the dry run's listing.
const char* ReportMeaning(const FeatureReport& report) {
  if (report[1] != kControlFrameMark) return "data chunk";
  if (report[2] == kOpenNotice[1]) return "open notice";
  if (report[2] == kCloseNotice[1]) return "close notice";
  if (report[2] == kCommandHeaderKind) return "command header";
  return "control frame";
}

// The order of outcomes from best to worst, for --all: a status answer is
// worse than done, and failures count by their exit status.
int Severity(Outcome outcome) {
  if (outcome == Outcome::kDone) return 0;
  if (outcome == Outcome::kStatus) return 1;
  return 10 + ExitCodeOf(outcome);
}

// The guidance the window gives for an outcome, in its shipped English.
const char* AdviceKey(Outcome outcome) {
  switch (outcome) {
    case Outcome::kNoReader: return ui_text::kReasonNoReader;
    case Outcome::kDenied: return ui_text::kReasonDenied;
    case Outcome::kBusy: return ui_text::kReasonBusy;
    default: return nullptr;
  }
}


}  // namespace

std::string Command::Name(const ReaderIdentity& reader) {
  std::vector<std::string> parts;
  if (!reader.hid.serialNumber.empty()) parts.push_back("serial " + reader.hid.serialNumber);
  if (!reader.hid.usbPort.empty()) parts.push_back("USB " + reader.hid.usbPort);
  return parts.empty() ? reader.hid.path : reader.hid.path + " (" + Joined(parts, ", ") + ")";
}

Json Command::Identity(const ReaderIdentity& reader) {
  return Json{{"index", reader.index},
              {"path", reader.hid.path},
              {"serial", reader.hid.serialNumber},
              {"usb_port", reader.hid.usbPort}};
}

bool Command::ListPresent(std::vector<ReaderIdentity>& readers) const {
  HidError error;
  readers = reader_.ListReaders(&error);
  if (error.number == 0 && error.text.empty()) return true;
  Error("cannot list the HID devices: " + error.text);
  return false;
}

std::map<std::string, RecordEntry> Command::ReadRecord() const {
  std::string warning;
  std::map<std::string, RecordEntry> entries = SettingsRecord(environment_.recordPath).Read(&warning);
  if (!warning.empty()) Warn(warning);
  return entries;
}

void Command::PrintFailure(const char* outcome, const std::vector<ReaderIdentity>& candidates) const {
  if (!options_.json) return;
  Json document{{"outcome", outcome}, {"readers", Json::array()}};
  if (!candidates.empty()) {
    Json list = Json::array();
    for (const ReaderIdentity& candidate : candidates) list.push_back(Identity(candidate));
    document["candidates"] = list;
  }
  Print(document);
}

int Command::PickTargets(const std::vector<ReaderIdentity>& present, bool allByDefault,
                         std::vector<ReaderIdentity>& targets) const {
  const auto names = [](const std::vector<ReaderIdentity>& readers) {
    std::string text;
    for (const ReaderIdentity& r : readers) text += "\n  " + std::to_string(r.index) + "  " + Name(r);
    return text;
  };
  if (present.empty()) {
    Error("no reader 1d57:ac08 is connected");
    PrintFailure(OutcomeName(Outcome::kNoReader), {});
    return kExitNoReader;
  }
  if (!options_.reader.empty()) {
    const ReaderSelector selector = ReaderSelector::Parse(options_.reader);
    targets = selector.Pick(present);
    if (targets.empty()) {
      Error("no reader matches --reader " + options_.reader + " (" + selector.Describe() +
            "); connected:" + names(present));
      PrintFailure(OutcomeName(Outcome::kNoReader), {});
      return kExitNoReader;
    }
    if (targets.size() > 1) {
      Error("--reader " + options_.reader + " names several readers; name one by its path:" + names(targets));
      PrintFailure("several_readers", targets);
      return kExitSeveralReaders;
    }
    return kExitDone;
  }
  if (options_.all || allByDefault || present.size() == 1) {
    targets = present;
    return kExitDone;
  }
  Error(std::to_string(present.size()) +
        " readers are connected; choose one with --reader SEL (its path, serial number or index) or "
        "use --all:" + names(present));
  PrintFailure("several_readers", present);
  return kExitSeveralReaders;
}

// --- list ---------------------------------------------------------------------------

int Command::List() {
  std::vector<ReaderIdentity> readers;
  if (!ListPresent(readers)) return kExitInternal;
  const std::map<std::string, RecordEntry> record = readers.empty() ? decltype(record){} : ReadRecord();
  Json list = Json::array();
  for (const ReaderIdentity& r : readers) {
    const auto entry = record.find(SettingsRecord::KeyOf(r.hid));
    const bool recorded = entry != record.end();
    list.push_back(Json{{"index", r.index},
                        {"path", r.hid.path},
                        {"serial", r.hid.serialNumber},
                        {"manufacturer", r.hid.manufacturer},
                        {"product", r.hid.product},
                        {"usb_port", r.hid.usbPort},
                        {"access", r.mayOpen ? "ok" : "denied"},
                        {"last_written", recorded ? SettingsObject(entry->second.settings) : Json(nullptr)}});
    Say(std::to_string(r.index) + "  " + r.hid.path + "  " +
        (r.hid.serialNumber.empty() ? "no serial" : "serial " + r.hid.serialNumber) + "  " +
        (r.hid.usbPort.empty() ? "not on USB" : "USB " + r.hid.usbPort) + "  " + r.hid.manufacturer + " " +
        r.hid.product + "  access " + (r.mayOpen ? "ok" : "denied"));
    if (recorded) {
      Say("   last written " + entry->second.writtenAt + ": " + DescribeSettings(entry->second.settings));
    }
  }
  if (options_.json) Print(list);
  if (readers.empty()) Note("no reader 1d57:ac08 is connected");
  return kExitDone;
}

// --- set and restore ----------------------------------------------------------------

int Command::Rehearse(const std::vector<ReaderIdentity>& targets, const ReaderParameterBlock& block,
                      const ReaderCommand& command) const {
  Json readers = Json::array();
  for (const ReaderIdentity& target : targets) {
    Json reports = Json::array();
    Say(Name(target) + ": would be set these reports, in order (--dry-run opens and sends nothing):");
    for (const FeatureReport& report : RehearseSession(target.hid, command)) {
      reports.push_back(Hex(report));
      Say("  " + Hex(report) + "   " + ReportMeaning(report));
    }
    Json item = Identity(target);
    item["settings"] = SettingsObject(block);
    item["reports"] = reports;
    readers.push_back(item);
  }
  if (options_.json) Print(Json{{"outcome", "dry_run"}, {"readers", readers}});
  return kExitDone;
}

bool Command::Record(const ReaderIdentity& reader, const ReaderParameterBlock& block, Outcome outcome) const {
  std::string message;
  const bool recorded = SettingsRecord(environment_.recordPath)
                            .Write(reader.hid, block, outcome, environment_.now(), &message);
  if (!message.empty()) Warn(Name(reader) + ": " + message);
  return recorded;
}

void Command::ReportNotice(const ReaderIdentity& reader, const char* which, const ExchangeOutcome& outcome) const {
  if (!outcome.Succeeded()) Warn(Name(reader) + ": the " + which + " notice did not go through: " + DescribeOutcome(outcome));
}

int Command::Configure(const ReaderParameterBlock& block, bool restore) {
  const ReaderCommand command = restore ? ReaderCommand(RestoreReaderConfig)
                                        : [block](const ReaderHandle& handle, ExchangeOutcome* outcome) {
                                            return SetReaderConfig(handle, block, outcome);
                                          };
  std::vector<ReaderIdentity> present;
  if (!ListPresent(present)) return kExitInternal;
  std::vector<ReaderIdentity> targets;
  if (const int code = PickTargets(present, false, targets); code != kExitDone) return code;
  if (options_.dryRun) return Rehearse(targets, block, command);

  Json readers = Json::array();
  Outcome worst = Outcome::kDone;
  for (const ReaderIdentity& target : targets) {
    const SessionOutcome session = RunSession(reader_, target.hid.path, command);
    const ExchangeOutcome& result = session.command;
    ReportNotice(target, "open", session.openNotice);
    bool recorded = false;
    if (result.outcome == Outcome::kDone) {
      Say(Name(target) + ": " + (restore ? "restored the defaults, " : "set ") + DescribeSettings(block));
    } else if (result.outcome == Outcome::kStatus) {
      // Counted as done, as the window does; but whoever runs this must
      // know that the block was not taken.
      Warn(Name(target) + ": " + DescribeOutcome(result));
    } else {
      const char* advice = AdviceKey(result.outcome);
      Error(Name(target) + ": " + DescribeOutcome(result) + (advice ? "\n  " + BuiltInText(advice) : ""));
    }
    ReportNotice(target, "close", session.closeNotice);
    if (result.Succeeded()) recorded = Record(target, block, result.outcome);
    if (Severity(result.outcome) > Severity(worst)) worst = result.outcome;

    Json item = Identity(target);
    item["outcome"] = OutcomeName(result.outcome);
    item["failed_request"] =
        result.Succeeded() || result.request == Request::kNone ? Json(nullptr) : Json(RequestName(result.request));
    item["message"] = DescribeOutcome(result);
    item["open_notice"] = OutcomeName(session.openNotice.outcome);
    item["close_notice"] = OutcomeName(session.closeNotice.outcome);
    item["settings"] = SettingsObject(block);
    item["recorded"] = recorded;
    readers.push_back(item);
  }
  if (options_.json) Print(Json{{"outcome", OutcomeName(worst)}, {"readers", readers}});
  return ExitCodeOf(worst);
}

// --- show ---------------------------------------------------------------------------

int Command::Show() {
  std::vector<ReaderIdentity> present;
  if (!ListPresent(present)) return kExitInternal;
  std::vector<ReaderIdentity> targets;
  if (const int code = PickTargets(present, true, targets); code != kExitDone) return code;
  const std::map<std::string, RecordEntry> record = ReadRecord();

  Say(std::string(kShowNote) + " (record: " +
      (environment_.recordPath.empty() ? std::string("none") : environment_.recordPath) + ")");
  Json readers = Json::array();
  for (const ReaderIdentity& target : targets) {
    const std::string key = SettingsRecord::KeyOf(target.hid);
    const auto entry = record.find(key);
    Json item = Identity(target);
    item["key"] = key.empty() ? Json(nullptr) : Json(key);
    if (entry == record.end()) {
      item["last_written"] = nullptr;
      item["written_at"] = nullptr;
      item["outcome"] = nullptr;
      Say(Name(target) + ": nothing recorded: no settings were written to it from this computer" +
          (key.empty() ? " (it has neither a serial number nor a USB port to record them under)" : ""));
    } else {
      const RecordEntry& e = entry->second;
      item["last_written"] = SettingsObject(e.settings);
      item["written_at"] = e.writtenAt;
      item["outcome"] = OutcomeName(e.outcome);
      Say(Name(target) + ": last written " + e.writtenAt + ": " + DescribeSettings(e.settings) +
          (e.outcome == Outcome::kStatus ? " (the reader gave a status answer then and may not have taken them)"
                                         : ""));
    }
    readers.push_back(item);
  }
  if (options_.json) {
    Print(Json{{"note", kShowNote},
               {"record", environment_.recordPath.empty() ? Json(nullptr) : Json(environment_.recordPath)},
               {"readers", readers}});
  }
  return kExitDone;
}

// --- doctor -------------------------------------------------------------------------

namespace {

std::string Title(const Check& check) {
  if (check.name == "udev_rule") return "udev rule";
  if (check.name == "readers") return "readers";
  if (check.name == "access") return "access to " + check.reader;
  if (check.name == "not_held") return "no other program holds " + check.reader;
  return "language files";
}

}  // namespace

int Command::Doctor() {
  const std::vector<Check> checks = RunDoctor(reader_, environment_);
  int code = kExitDone;
  int failed = 0;
  const Check* first = nullptr;
  Json list = Json::array();
  for (const Check& check : checks) {
    if (!check.ok && ++failed == 1) {
      first = &check;
      code = check.code;
    }
    if (!options_.json && (!options_.quiet || !check.ok)) {
      out_ << (check.ok ? "ok    " : "FAIL  ") << Title(check) << ": " << check.detail << '\n';
      if (!check.ok) {
        std::string fix = check.fix;
        for (std::size_t at = fix.find('\n'); at != std::string::npos; at = fix.find('\n', at + 1)) {
          fix.replace(at, 1, "\n      ");
        }
        out_ << "      fix: " << fix << '\n';
      }
    }
    Json item{{"check", check.name},
              {"reader", check.reader.empty() ? Json(nullptr) : Json(check.reader)},
              {"ok", check.ok},
              {"code", check.code},
              {"detail", check.detail},
              {"fix", check.fix.empty() ? Json(nullptr) : Json(check.fix)}};
    if (check.name == "not_held") {
      Json holders = Json::array();
      for (const Holder& holder : check.holders) holders.push_back(Json{{"pid", holder.pid}, {"name", holder.name}});
      item["holders"] = holders;
    }
    list.push_back(item);
  }
  const std::string summary =
      first == nullptr ? "all " + std::to_string(checks.size()) + " checks passed"
                       : std::to_string(failed) + " of " + std::to_string(checks.size()) +
                             " checks failed; the first: " + Title(*first) + " (exit status " +
                             std::to_string(code) + ")";
  if (options_.json) {
    Print(Json{{"ok", first == nullptr}, {"exit_code", code}, {"summary", summary}, {"checks", list}});
  } else {
    out_ << "doctor: " << summary << '\n';
  }
  return code;
}

}  // namespace rdrconf::cli
