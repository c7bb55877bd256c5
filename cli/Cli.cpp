#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"

namespace rdrconf::cli {
namespace {

constexpr char kExitStatusHelp[] =
    "Exit status: 0 done (also when the reader gave a status answer), 1 internal error,\n"
    "2 usage error or a bad profile, 3 no reader or none that SEL names (test: no keyboard\n"
    "side, or the reader was unplugged), 4 permission denied, 5 another program holds the\n"
    "reader, 6 the reader refused or a request failed, 7 the system is not set up for it\n"
    "(doctor: udev rule or language files missing; watch: no udev events), 8 several\n"
    "readers and no --reader or --all, or a SEL that names several, 9 no card within the\n"
    "time (test), 10 the scan was interrupted (test), 11 nothing recorded (export).\n"
    "With --all, the highest of the readers' codes.";

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
  std::vector<std::pair<CLI::App*, const CommandEntry*>> subcommands;
  for (const CommandEntry& entry : Commands()) {
    CLI::App* command = app.add_subcommand(entry.name, entry.help);
    entry.define(*command, options);
    subcommands.emplace_back(command, &entry);
  }

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    // --help and --version end here too, with status 0.
    return app.exit(error, out, err) == 0 ? kExitDone : kExitUsage;
  }

  const CardReader reader(host);
  Output output(out, err, options.json, options.quiet);
  Context context{reader, environment, output, options};
  for (const auto& [command, entry] : subcommands) {
    if (command->parsed()) return entry->run(context);
  }
  return kExitUsage;  // CLI11 demands one subcommand: never here
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