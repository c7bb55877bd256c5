// set and restore: a whole window session for each reader (open notice,
// settings, close notice), or with --dry-run the reports it would set.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/ExitCode.h"
#include "cli/Session.h"
#include "cli/Words.h"
#include "cli/commands/Command.h"
#include "i18n/Language.h"

namespace rdrconf::cli {
namespace {

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

// The guidance the window gives for an outcome, in its shipped English.
const char* AdviceKey(Outcome outcome) {
  switch (outcome) {
    case Outcome::kNoReader: return ui_text::kReasonNoReader;
    case Outcome::kDenied: return ui_text::kReasonDenied;
    case Outcome::kBusy: return ui_text::kReasonBusy;
    default: return nullptr;
  }
}

void WarnOfNotice(Output& output, const ReaderIdentity& reader, const char* which, const ExchangeOutcome& outcome) {
  if (!outcome.Succeeded()) {
    output.Warn(ReaderName(reader) + ": the " + which + " notice did not go through: " + DescribeOutcome(outcome));
  }
}

int Rehearse(Context& context, const std::vector<ReaderIdentity>& targets, const ReaderSettings& settings) {
  for (const ReaderIdentity& target : targets) {
    Json reports = Json::array();
    std::string lines = ReaderName(target) + ": would be set these reports, in order (--dry-run opens and sends nothing):";
    for (const FeatureReport& report : RehearseSession(target.hid, settings)) {
      reports.push_back(Hex(report));
      lines += "\n  " + Hex(report) + "   " + ReportMeaning(report);
    }
    Json item = ReaderJson(target);
    item["settings"] = settings.ToJson();
    item["reports"] = reports;
    context.output.Item(lines, item);
  }
  context.output.Finish(Json{{"outcome", "dry_run"}});
  return kExitDone;
}

int Configure(Context& context, const ReaderSettings& settings, bool restore) {
  const Targets targets = SelectTargets(context, false);
  if (targets.code != kExitDone) return targets.code;
  if (context.options.dryRun) return Rehearse(context, targets.readers, settings);

  Output& output = context.output;
  Outcome worst = Outcome::kDone;
  for (const ReaderIdentity& target : targets.readers) {
    bool recorded = false;
    // Recorded while the reader is held for the exchange, so that the record
    // ends up in the order the reader got the settings of two programs.
    const SessionOutcome session = RunSession(context.reader, target.hid.path, settings, [&](Outcome outcome) {
      recorded = RecordWrite(context, target, settings, outcome);
    });
    const ExchangeOutcome& result = session.command;
    WarnOfNotice(output, target, "open", session.openNotice);
    std::string line;
    if (result.outcome == Outcome::kDone) {
      line = ReaderName(target) + ": " + (restore ? "restored the defaults, " : "set ") + settings.Describe();
    } else if (result.outcome == Outcome::kStatus) {
      // Counted as done, as the window does; but whoever runs this must
      // know that the settings were not taken.
      output.Warn(ReaderName(target) + ": " + DescribeOutcome(result));
    } else {
      const char* advice = AdviceKey(result.outcome);
      output.Error(ReaderName(target) + ": " + DescribeOutcome(result) + (advice ? "\n  " + BuiltInText(advice) : ""));
    }
    WarnOfNotice(output, target, "close", session.closeNotice);
    if (Severity(result.outcome) > Severity(worst)) worst = result.outcome;

    Json item = ReaderJson(target);
    item["outcome"] = OutcomeName(result.outcome);
    item["failed_request"] =
        result.Succeeded() || result.request == Request::kNone ? Json(nullptr) : Json(RequestName(result.request));
    item["message"] = DescribeOutcome(result);
    item["open_notice"] = OutcomeName(session.openNotice.outcome);
    item["close_notice"] = OutcomeName(session.closeNotice.outcome);
    item["settings"] = settings.ToJson();
    item["recorded"] = recorded;
    output.Item(line, item);  // a failure's words went to stderr
  }
  output.Finish(Json{{"outcome", OutcomeName(worst)}});
  return ExitCodeOf(worst);
}

std::string FormatHelp() {
  std::vector<std::string> fixed(kCardNumberFormatNames.begin(), kCardNumberFormatNames.begin() + kFixedCardNumberFormats);
  return "Card-number format: 0-12, or one of " + Joined(fixed, ", ") + "; for IC cards also \"" +
         CardNumberFormatName(kFirstIcOnlyFormat) + "\" (8) ... \"" + CardNumberFormatName(kLastCardNumberFormat) +
         "\" (12)";
}

const CLI::Validator& FormatValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        if (ParseCardNumberFormat(text)) return {};
        return "not a card-number format: \"" + text + "\"; choose 0-12 or one of: " +
               Joined({kCardNumberFormatNames.begin(), kCardNumberFormatNames.end()}, ", ");
      },
      "FORMAT");
  return validator;
}

void AddChoice(CLI::App& command, const char* name, std::string& value, std::vector<std::string> choices,
               const char* help) {
  command.add_option(name, value, help)
      ->transform(CLI::IsMember(std::move(choices), CLI::ignore_case))
      ->capture_default_str();
}

void AddDryRun(CLI::App& command, Options& options) {
  command.add_flag("-n,--dry-run", options.dryRun, "Print the reports that would be set; open and send nothing");
}

void DefineSet(CLI::App& command, Options& options) {
  command.add_option("-f,--format", options.format, FormatHelp())->required()->check(FormatValidator());
  AddChoice(command, "--card", options.card, {"ic", "id"}, "Card type; formats 8-12 exist for IC cards only");
  AddChoice(command, "--mode", options.mode, {"active", "passive"}, "Reading mode");
  AddChoice(command, "--enter", options.enter, {"on", "off"}, "Enter after each card number");
  AddChoice(command, "--power-saving", options.powerSaving, {"on", "off"}, "Power-saving mode");
  AddSelection(command, options);
  AddDryRun(command, options);
  AddOutputFlags(command, options);
}

int RunSet(Context& context) {
  const Options& options = context.options;
  ReaderSettings settings;
  settings.format = *ParseCardNumberFormat(options.format);
  settings.mode = options.mode == "active" ? ReadingMode::kActive : ReadingMode::kPassive;
  settings.enter = options.enter == "on" ? EnterKey::kEnter : EnterKey::kNoEnter;
  settings.powerSaving = options.powerSaving == "on";
  if (IsIcOnlyFormat(settings.format) && options.card == "id") {
    context.output.Error("the format \"" + CardNumberFormatName(settings.format) + "\" (" +
                         std::to_string(settings.format) + ") exists for IC cards only; with --card id choose 0-7");
    return kExitUsage;
  }
  return Configure(context, settings, false);
}

void DefineRestore(CLI::App& command, Options& options) {
  AddSelection(command, options);
  AddDryRun(command, options);
  AddOutputFlags(command, options);
}

int RunRestore(Context& context) { return Configure(context, ReaderSettings::Defaults(), true); }

}  // namespace

CommandEntry SetCommand() {
  return {"set", "Write settings to a reader: open notice, settings, close notice", DefineSet, RunSet};
}

CommandEntry RestoreCommand() {
  return {"restore", "Put a reader back to its default settings", DefineRestore, RunRestore};
}

}  // namespace rdrconf::cli
