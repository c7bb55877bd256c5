#pragma once

#include <nlohmann/json.hpp>

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "cli/Environment.h"
#include "cli/Session.h"
#include "reader/CardReader.h"
#include "reader/SettingsRecord.h"

// The commands of rdrconf-cli once their arguments are parsed (cli/Cli.cpp
// parses them): each gives the exit status (cli/ExitCode.h).
namespace rdrconf::cli {

using Json = nlohmann::ordered_json;

inline constexpr char kProgram[] = "rdrconf-cli";

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
};

class Command {
 public:
  Command(HidHost& host, const CliEnvironment& environment, std::ostream& out, std::ostream& err,
          const Options& options)
      : reader_(host), environment_(environment), out_(out), err_(err), options_(options) {}

  int List();
  int Configure(const ReaderParameterBlock& block, bool restore);
  int Show();
  int Doctor();
  // The test scan, the profile of the last write, and applying a profile to
  // every reader plugged in from now on (cli/Follow.cpp).
  int Test(double timeoutSeconds);
  int Export();
  int Watch(const std::string& profilePath);

 private:
  // --- Output ---
  void Print(const Json& document) const {
    out_ << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  }
  // A line of the command's own output: not with --json or --quiet.
  void Say(const std::string& text) const {
    if (!options_.json && !options_.quiet) out_ << text << '\n';
  }
  void Note(const std::string& text) const {
    if (!options_.quiet) err_ << kProgram << ": " << text << '\n';
  }
  void Error(const std::string& text) const { err_ << kProgram << ": " << text << '\n'; }
  void Warn(const std::string& text) const { err_ << kProgram << ": warning: " << text << '\n'; }

  static std::string Name(const ReaderIdentity& reader);
  static Json Identity(const ReaderIdentity& reader);

  bool ListPresent(std::vector<ReaderIdentity>& readers) const;
  std::map<std::string, RecordEntry> ReadRecord() const;
  int PickTargets(const std::vector<ReaderIdentity>& present, bool allByDefault,
                  std::vector<ReaderIdentity>& targets) const;
  void PrintFailure(const char* outcome, const std::vector<ReaderIdentity>& candidates) const;
  int Rehearse(const std::vector<ReaderIdentity>& targets, const ReaderParameterBlock& block,
               const ReaderCommand& command) const;
  bool Record(const ReaderIdentity& reader, const ReaderParameterBlock& block, Outcome outcome) const;
  void ReportNotice(const ReaderIdentity& reader, const char* which, const ExchangeOutcome& outcome) const;

  CardReader reader_;
  const CliEnvironment& environment_;
  std::ostream& out_;
  std::ostream& err_;
  const Options& options_;
};


}  // namespace rdrconf::cli
