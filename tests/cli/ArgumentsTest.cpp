// The arguments of rdrconf-cli: usage errors, --help and --version, the
// card-number format names, JSON-only stdout, and the manual page and the
// shell completion knowing every option the program has.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "cli/ExitCode.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const char* const kCommands[] = {"list", "set", "restore", "apply", "show", "doctor", "udev-rule"};

class ArgumentsTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    host.AddReader("/dev/hidraw1", "A1");
  }

  // The long options that the help of `arguments` lists.
  std::set<std::string> LongOptionsIn(const std::vector<std::string>& arguments) {
    EXPECT_EQ(Run(arguments), 0);
    std::set<std::string> options;
    const std::string help = out.str();
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
      options.insert(it->str());
    }
    return options;
  }
};

TEST_F(ArgumentsTest, UsageErrorsExit2AndTouchNoReader) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"set"},
      {"set", "--format"},
      {"set", "--format", "13"},
      {"set", "--format", "9h"},
      {"set", "--format", "-1"},
      {"set", "--format", ""},
      {"set", "--format", "8", "--card", "id"},
      {"set", "--format", "ic format 12", "--card", "ID"},
      {"set", "--format", "1", "--card", "magnetic"},
      {"set", "--format", "1", "--mode", "sleepy"},
      {"set", "--format", "1", "--enter", "yes"},
      {"set", "--format", "1", "--power-saving", "1"},
      {"set", "--format", "1", "--bogus"},
      {"set", "--format", "1", "--format", "2"},
      {"set", "--format", "1", "--reader", "0", "--all"},
      {"restore", "--reader"},
      {"restore", "--reader", ""},
      {"show", "--reader", ""},
      {"list", "extra"},
      {"show", "--all"},
      {"doctor", "--dry-run"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    host.ClearRequests();
    EXPECT_EQ(Run(arguments), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_THAT(err.str(), StartsWith("rdrconf-cli: "));
    EXPECT_THAT(host.Requests(), IsEmpty());
  }
}

TEST_F(ArgumentsTest, IcOnlyFormatWithIdCardsSaysWhy) {
  EXPECT_EQ(Run({"set", "--format", "IC format 10", "--card", "id"}), 2);
  EXPECT_EQ(err.str(), "rdrconf-cli: the format \"IC format 10\" (10) exists for IC cards only; with --card id choose 0-7\n");
  EXPECT_EQ(Run({"set", "--format", "13"}), 2);
  EXPECT_THAT(err.str(), HasSubstr("choose 0-12 or one of: 6h, 8h, 10h, 5h10d, 6h10d, 8h10d, 10h10d, 2h10d+4h10d, "
                                   "IC format 8, IC format 9, IC format 10, IC format 11, IC format 12"));
}

TEST_F(ArgumentsTest, EveryCommandHasHelpAndTheProgramItsVersion) {
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out.str(), "rdrconf-cli 1.0.0.1\n");
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("Usage: rdrconf-cli [OPTIONS] SUBCOMMAND"));
  for (const char* command : kCommands) {
    SCOPED_TRACE(command);
    EXPECT_THAT(out.str(), HasSubstr(std::string("  ") + command + " "));
  }
  for (const char* command : kCommands) {
    SCOPED_TRACE(command);
    for (const char* help : {"--help", "-h"}) {
      EXPECT_EQ(Run({command, help}), 0);
      EXPECT_THAT(out.str(), HasSubstr(std::string("Usage: rdrconf-cli ") + command + " [OPTIONS]"));
      EXPECT_THAT(out.str(), HasSubstr("Exit status: 0 done"));
    }
  }
  EXPECT_THAT(host.Requests(), IsEmpty());
}

TEST_F(ArgumentsTest, JsonGoesAnywhereOnTheLineAndStdoutHoldsOneDocument) {
  const std::vector<std::vector<std::string>> cases = {
      {"list", "--json"}, {"--json", "list"}, {"set", "--format", "1", "--json"}, {"restore", "--json"},
      {"show", "--json"}, {"doctor", "--json"}, {"--json", "set", "--dry-run", "-f", "2"},
      {"apply", "--profile", "none.json", "--json"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    Run(arguments);
    // Its form's version first, so a script can tell which form it reads.
    EXPECT_FALSE(Document().is_discarded());
    EXPECT_EQ(out.str().rfind("{\n  \"schema_version\": 1,", 0), 0u) << out.str();
  }
}

#ifndef _WIN32
// The manual page and the bash completion ship with the Linux build only.
TEST_F(ArgumentsTest, ManualPageAndCompletionKnowEveryOption) {
  const std::string manual = ReadBytes(RDRCONF_MAN_PAGE);
  const std::string completion = ReadBytes(RDRCONF_COMPLETION);
  ASSERT_FALSE(manual.empty());
  ASSERT_FALSE(completion.empty());
  std::set<std::string> all = LongOptionsIn({"--help"});  // the program's own
  for (const char* command : kCommands) {
    SCOPED_TRACE(command);
    std::string roff = command;  // a hyphen is "\-" in a manual page
    for (std::size_t at = roff.find('-'); at != std::string::npos; at = roff.find('-', at + 2)) roff.insert(at, "\\");
    EXPECT_THAT(manual, HasSubstr(".B " + roff));
    EXPECT_THAT(completion, HasSubstr(std::string(" ") + command));
    for (const std::string& option : LongOptionsIn({command, "--help"})) all.insert(option);
  }
  all.erase("--help");  // CLI11's own, documented once
  EXPECT_THAT(all, ::testing::Contains("--power-saving"));
  for (const std::string& option : all) {
    SCOPED_TRACE(option);
    // roff spells each hyphen of an option as \-.
    EXPECT_THAT(manual, HasSubstr(std::regex_replace(option, std::regex("-"), "\\-")));
    EXPECT_THAT(completion, HasSubstr(option));
  }
}

// Scripts rely on the exit status: --help, the manual page and the README
// give every code the program has, and no other.
TEST_F(ArgumentsTest, HelpManualPageAndReadmeGiveEveryExitStatus) {
  ASSERT_EQ(Run({"--help"}), 0);
  const std::string help = out.str();
  const std::string manual = ReadBytes(RDRCONF_MAN_PAGE);
  const std::size_t section = manual.find(".SH EXIT STATUS");
  ASSERT_NE(section, std::string::npos);
  const std::string exitStatus = manual.substr(section, manual.find(".SH ", section + 1) - section);
  const std::string whole = ReadBytes(RDRCONF_README);
  const std::size_t commandLine = whole.find("\n## Command line\n");
  ASSERT_NE(commandLine, std::string::npos);
  const std::string readme = whole.substr(commandLine, whole.find("\n## ", commandLine + 1) - commandLine);
  const std::set<int> codes{cli::kExitDone,     cli::kExitInternal,    cli::kExitUsage,         cli::kExitNoReader,
                            cli::kExitDenied,   cli::kExitBusy,        cli::kExitFailed,        cli::kExitNotSetUp,
                            cli::kExitSeveralReaders, cli::kExitTimeout, cli::kExitInterrupted, cli::kExitNothingRecorded};
  for (int code = 0; code <= 20; ++code) {
    SCOPED_TRACE(code);
    const bool used = codes.count(code) != 0;
    const std::string number = std::to_string(code);
    EXPECT_EQ(std::regex_search(help, std::regex("(^|[ \n])" + number + " [a-z]")), used) << help;
    EXPECT_EQ(exitStatus.find(".TP\n.B " + number + "\n") != std::string::npos, used);
    EXPECT_EQ(readme.find("\n| " + number + " | ") != std::string::npos, used);
  }
}
#endif

}  // namespace
}  // namespace rdrconf::test
