#pragma once

#include <string>
#include <vector>

#include "cli/Environment.h"
#include "cli/Output.h"
#include "reader/CardReader.h"

namespace CLI {
class App;
}

// The commands of rdrconf-cli, one file each, all in one table: each adds
// its own options to its subcommand and runs with what was parsed. The
// result is the exit status (cli/ExitCode.h).
namespace rdrconf::cli {

// Every option of every command, as parsed.
struct Options {
  bool json = false;
  bool quiet = false;
  std::string format;
  std::string card = "ic";
  std::string mode = "active";
  std::string enter = "on";
  std::string powerSaving = "off";
  std::string reader;
  bool all = false;
  bool dryRun = false;
  double timeout = 30;
  std::string profile;
  bool check = false;
  bool diff = false;
  bool force = false;
  bool system = false;  // the system's record, not the user's
  int busyRetries = 0;
};

// What a command runs with.
struct Context {
  const CardReader& reader;
  const CliEnvironment& environment;
  Output& output;
  const Options& options;
};

struct CommandEntry {
  const char* name;
  const char* help;
  // Adds the command's options to its subcommand.
  void (*define)(CLI::App& command, Options& options);
  int (*run)(Context& context);
};

// Every command, in the order --help lists them.
const std::vector<CommandEntry>& Commands();

// The options that several commands share.
void AddOutputFlags(CLI::App& command, Options& options);
void AddReaderOption(CLI::App& command, Options& options);
void AddSelection(CLI::App& command, Options& options);  // --reader or --all

// The readers present that the options name: for --reader its match, for
// --all (or `allByDefault`) every reader, else the only one. A failure is
// reported (on stderr, and with --json as the output) and its exit status
// given instead.
struct Targets {
  int code = 0;  // kExitDone, or why there are none
  std::vector<ReaderIdentity> readers;
  std::vector<ReaderIdentity> present = {};  // every reader connected, named or not
};
Targets SelectTargets(Context& context, bool allByDefault);

// The readers present now; false (after saying why) when the listing fails.
bool ListPresent(Context& context, std::vector<ReaderIdentity>& readers);

}  // namespace rdrconf::cli

namespace rdrconf::cli {

// The table's entries, one per command file.
CommandEntry ListCommand();
CommandEntry SetCommand();
CommandEntry RestoreCommand();
CommandEntry ShowCommand();
CommandEntry TestCommand();
CommandEntry ExportCommand();
CommandEntry WatchCommand();
CommandEntry DoctorCommand();
CommandEntry ApplyCommand();
CommandEntry UdevRuleCommand();

}  // namespace rdrconf::cli

#include <map>

#include "reader/SettingsRecord.h"

namespace rdrconf::cli {

// The record of what was written to each reader, as the environment places
// it: the user's, or with --system the system's, which every user may read.
// A record that cannot be read is warned about and counts as empty.
SettingsRecord RecordOf(const Context& context);
std::map<std::string, RecordEntry> ReadRecord(Context& context);
// The system's record (what the system unit wrote), which list and show
// report beside the user's; empty when there is none, or when it is the
// record in use already (--system).
std::map<std::string, RecordEntry> ReadSystemRecord(Context& context);
// What the system last wrote to `reader`, for a line: "" when nothing.
std::string SystemWrittenLine(const std::map<std::string, RecordEntry>& systemRecord, const ReaderIdentity& reader,
                              const std::vector<ReaderIdentity>& present, Json& item);
// Records a write that went through; a failure to record is warned about
// and the write stands. Gives whether it was recorded.
bool RecordWrite(Context& context, const ReaderIdentity& reader, const ReaderSettings& settings, Outcome outcome);

}  // namespace rdrconf::cli
