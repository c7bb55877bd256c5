#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/CardFormat.h"
#include "cli/Command.h"
#include "cli/ExitCode.h"
#include "cli/Words.h"
#include "reader/CardNumberFormats.h"

namespace rdrconf::cli {
namespace {

constexpr char kExitStatusHelp[] =
    "Exit status: 0 done (also when the reader gave a status answer), 1 internal error,\n"
    "2 usage error, 3 no reader or none that SEL names, 4 permission denied,\n"
    "5 another program holds the reader, 6 the reader refused or a request failed,\n"
    "8 several readers and no --reader or --all, 9 no card within the time (test).\n"
    "With --all, the highest of the readers' codes.";

// --- Arguments ----------------------------------------------------------------------

void AddOutputFlags(CLI::App& app, Options& options) {
  app.add_flag("--json", options.json, "Print one JSON document on stdout; messages go to stderr");
  app.add_flag("-q,--quiet", options.quiet, "Print nothing but warnings and errors");
}

CLI::Option* AddReaderOption(CLI::App& app, Options& options) {
  // An empty SEL would otherwise read as no selection at all.
  static const CLI::Validator nonEmpty(
      [](std::string& text) { return text.empty() ? std::string("SEL is empty") : std::string(); }, "");
  return app.add_option("-r,--reader", options.reader, "The reader: its path (/dev/hidrawN), serial number or index")
      ->type_name("SEL")
      ->check(nonEmpty);
}

void AddSelection(CLI::App& app, Options& options) {
  CLI::Option* reader = AddReaderOption(app, options);
  CLI::Option* all = app.add_flag("-a,--all", options.all, "Every reader connected, one after the other");
  reader->excludes(all);
}

std::string FormatHelp() {
  std::vector<std::string> fixed(kFixedCardNumberFormats.begin(), kFixedCardNumberFormats.end());
  return "Card-number format: 0-12, or one of " + Joined(fixed, ", ") + "; for IC cards also \"" +
         FormatName(kFirstIcOnlyFormat) + "\" (8) ... \"" + FormatName(kLastCardNumberFormat) +
         "\" (12)";
}

const CLI::Validator& FormatValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        if (ParseFormat(text)) return {};
        return "not a card-number format: \"" + text + "\"; choose 0-12 or one of: " + Joined(FormatNames(), ", ");
      },
      "FORMAT");
  return validator;
}

CLI::Option* AddChoice(CLI::App& app, const char* name, std::string& value, std::vector<std::string> choices,
                       const char* help) {
  return app.add_option(name, value, help)
      ->transform(CLI::IsMember(std::move(choices), CLI::ignore_case))
      ->capture_default_str();
}

int RunArguments(const std::vector<std::string>& arguments, HidHost& host, const CliEnvironment& environment,
                 std::ostream& out, std::ostream& err) {
  Options options;
  CLI::App app("Configures the USB card reader 1d57:ac08 from a shell, a script or a kiosk: no display needed.",
               kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + RDRCONF_VERSION, "Print the version and exit");
  app.require_subcommand(1, 1);
  app.fallthrough();
  app.footer(kExitStatusHelp);
  app.failure_message([](const CLI::App*, const CLI::Error& error) {
    return std::string(kProgram) + ": " + error.what() + "\nRun " + kProgram + " --help for more information.\n";
  });
  AddOutputFlags(app, options);

  CLI::App* list = app.add_subcommand(
      "list", "List the readers connected: whether you may open them and the settings last written to them. "
              "Opens and sends nothing");
  AddOutputFlags(*list, options);

  CLI::App* set = app.add_subcommand("set", "Write settings to a reader: open notice, settings, close notice");
  set->add_option("-f,--format", options.format, FormatHelp())->required()->check(FormatValidator());
  AddChoice(*set, "--card", options.card, {"ic", "id"}, "Card type; formats 8-12 exist for IC cards only");
  AddChoice(*set, "--mode", options.mode, {"active", "passive"}, "Reading mode");
  AddChoice(*set, "--enter", options.enter, {"on", "off"}, "Enter after each card number");
  AddChoice(*set, "--power-saving", options.powerSaving, {"on", "off"}, "Power-saving mode");
  AddSelection(*set, options);
  set->add_flag("-n,--dry-run", options.dryRun, "Print the reports that would be set; open and send nothing");
  AddOutputFlags(*set, options);

  CLI::App* restore = app.add_subcommand("restore", "Put a reader back to its default settings");
  AddSelection(*restore, options);
  restore->add_flag("-n,--dry-run", options.dryRun, "Print the reports that would be set; open and send nothing");
  AddOutputFlags(*restore, options);

  CLI::App* show = app.add_subcommand(
      "show", "Show the settings last written from this computer (the reader cannot report them)");
  AddReaderOption(*show, options);
  AddOutputFlags(*show, options);

  double timeout = 30;
  CLI::App* test = app.add_subcommand(
      "test", "Test a card: read what the reader types on its keyboard side, held for this program alone");
  AddReaderOption(*test, options);
  test->add_option("-t,--timeout", timeout, "Seconds to wait for a card")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
  AddOutputFlags(*test, options);

  CLI::App* exportProfile = app.add_subcommand(
      "export", "Print the settings last written to a reader as a profile for watch --apply (JSON)");
  AddReaderOption(*exportProfile, options);

  std::string profile;
  CLI::App* watch = app.add_subcommand(
      "watch", "Give a profile's settings to every reader plugged in from now on; runs until stopped");
  watch->add_option("--apply", profile, "The profile (from rdrconf-cli export)")->required()->type_name("PROFILE");
  AddOutputFlags(*watch, options);

#ifdef _WIN32
  CLI::App* doctor = app.add_subcommand(
      "doctor", "Check the readers, other copies of rdrconf holding them and the language files; say how to "
                "fix what fails");
#else
  CLI::App* doctor = app.add_subcommand(
      "doctor", "Check the udev rule, the readers, your access to them, other programs holding them and the "
                "language files; say how to fix what fails");
#endif
  AddOutputFlags(*doctor, options);

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here too, with status 0.
    return app.exit(error, out, err) == 0 ? kExitDone : kExitUsage;
  }

  Command command(host, environment, out, err, options);
  if (list->parsed()) return command.List();
  if (restore->parsed()) return command.Configure(ReaderParameterBlock::Defaults(), true);
  if (show->parsed()) return command.Show();
  if (doctor->parsed()) return command.Doctor();
  if (test->parsed()) return command.Test(timeout);
  if (exportProfile->parsed()) return command.Export();
  if (watch->parsed()) return command.Watch(profile);

  ReaderParameterBlock block;
  block.cardno_type = *ParseFormat(options.format);
  block.mode = options.mode == "active" ? 1 : 0;
  block.enter = options.enter == "on" ? 1 : 0;
  block.power_saving = options.powerSaving == "on" ? 1 : 0;
  if (IsIcOnlyFormat(block.cardno_type) && options.card == "id") {
    err << kProgram << ": the format \"" << FormatName(block.cardno_type) << "\" (" << int{block.cardno_type}
        << ") exists for IC cards only; with --card id choose 0-7\n";
    return kExitUsage;
  }
  return command.Configure(block, false);
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, HidHost& host, const CliEnvironment& environment,
           std::ostream& out, std::ostream& err) {
  int code = kExitInternal;
  try {
    code = RunArguments(arguments, host, environment, out, err);
  } catch (const std::exception& error) {
    err << kProgram << ": internal error: " << error.what() << '\n';
    code = kExitInternal;
  } catch (...) {
    err << kProgram << ": internal error\n";
    code = kExitInternal;
  }
  out.flush();
  if (!out) {
    // Whatever the readers did, the caller did not get the output it asked for.
    err << kProgram << ": cannot write the output\n";
    if (code == kExitDone) code = kExitInternal;
  }
  return code;
}

}  // namespace rdrconf::cli