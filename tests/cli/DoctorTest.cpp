// doctor: each check, the exit status of the first problem, the fixes, and
// the pieces it stands on (how access is explained, how holders are found in
// /proc, how an access list is read).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "cli/commands/doctor/linux/Checks.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using platform::AclEntry;
using platform::NodeFacts;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

class DoctorTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    node = (folder_ / "dev-hidraw1").string();
    WriteBytes(node, "");
  }

  // Everything well: the rule installed, one reader that alice may open
  // through group plugdev, held by nobody, and the language files found.
  void AllWell() {
    InstallRule();
    host.AddReader(node, "A1");
    NodeLooksLike(0, 46, 0660);
    user.groups.push_back(46);
    WriteBytes("RDRCONF.zh-CN.ini", "[language]\n");
    WriteBytes("RDRCONF.en-US.ini", "[language]\n");
  }

  void InstallRule() {
    std::filesystem::create_directories(environment.udevRuleFolders.back());
    WriteBytes(environment.udevRuleFolders.back() + "/70-rdrconf.rules", "# rule\n");
  }

  // The node keeps its real identity (so that /proc links to it are found)
  // with the owner, group, mode and access list of the test.
  void NodeLooksLike(platform::UserId owner, platform::GroupId group, std::uint32_t permissions, std::vector<AclEntry> acl = {}) {
    environment.inspectNode = [=](const std::string& path, std::string* error) {
      std::optional<NodeFacts> facts = platform::InspectNode(path, error);
      if (facts) {
        facts->owner = owner;
        facts->group = group;
        facts->mode = S_IFREG | permissions;
        facts->acl = acl;
      }
      return facts;
    };
  }

  void ProcessHolds(pid_t pid, const std::string& name, const std::string& target, int fd = 3) {
    const std::filesystem::path process = std::filesystem::path(environment.procRoot) / std::to_string(pid);
    std::filesystem::create_directories(process / "fd");
    WriteBytes((process / "comm").string(), name + "\n");
    std::filesystem::create_symlink(target, process / "fd" / std::to_string(fd));
  }

  // Applies the problems of a Problem mask (below) to an AllWell() setup.
  void Spoil(unsigned problems);

  std::string node;
};

TEST_F(DoctorTest, AllWellExitsZeroAndEndsWithTheSummary) {
  AllWell();
  EXPECT_EQ(Run({"doctor"}), 0) << out.str();
  EXPECT_EQ(out.str(),
            "ok    udev rule: " + environment.udevRuleFolders.back() + "/70-rdrconf.rules\n"
            "ok    readers: 1 reader: " + node + "\n"
            "ok    access to " + node + ": you may open it: group plugdev, mode 0660; group plugdev may read and "
            "write it, and you are a member\n"
            "ok    no other program holds " + node + ": no other process has it open\n"
            "ok    language files: ./RDRCONF.zh-CN.ini, ./RDRCONF.en-US.ini\n"
            "doctor: all 5 checks passed\n");
  EXPECT_EQ(host.Opens(), 0);
}

// A problem of each kind, alone or with others: the first one decides.
enum Problem : unsigned {
  kNoRule = 1,
  kNoReader = 2,
  kListingFails = 4,
  kDenied = 8,
  kHeld = 16,
  kNoLanguageFiles = 32,
};

struct ProblemCase {
  const char* name;
  unsigned problems;
  int exit;
  const char* firstFailing;
};

void PrintTo(const ProblemCase& c, std::ostream* out) { *out << c.name; }

class DoctorProblemTest : public DoctorTest, public ::testing::WithParamInterface<ProblemCase> {};

void DoctorTest::Spoil(unsigned problems) {
  if (problems & kNoRule) std::filesystem::remove_all(environment.udevRuleFolders.back());
  if (problems & kNoReader) host.RemoveInterface(node);
  if (problems & kListingFails) host.FailListing();
  if (problems & kDenied) host.DenyAccess(node);
  if (problems & kHeld) ProcessHolds(4242, "cardd", node);
  if (problems & kNoLanguageFiles) {
    std::filesystem::remove("RDRCONF.zh-CN.ini");
    std::filesystem::remove("RDRCONF.en-US.ini");
  }
}

TEST_P(DoctorProblemTest, FirstProblemGivesTheExitStatus) {
  const ProblemCase& c = GetParam();
  AllWell();
  Spoil(c.problems);

  EXPECT_EQ(Run({"doctor", "--json"}), c.exit);

  const Json document = Document();
  EXPECT_EQ(document["ok"], false);
  EXPECT_EQ(document["exit_code"], c.exit);
  const Json& checks = document["checks"];
  const auto first = std::find_if(checks.begin(), checks.end(), [](const Json& check) { return !check["ok"]; });
  ASSERT_NE(first, checks.end());
  EXPECT_EQ((*first)["check"], c.firstFailing);
  EXPECT_EQ((*first)["code"], c.exit);
  for (const Json& check : checks) {
    EXPECT_EQ(check["fix"].is_null(), check["ok"].get<bool>()) << check.dump();
  }
  EXPECT_THAT(document["summary"].get<std::string>(),
              HasSubstr("(exit status " + std::to_string(c.exit) + ")"));
}

INSTANTIATE_TEST_SUITE_P(
    Problems, DoctorProblemTest,
    ::testing::Values(ProblemCase{"NoRule", kNoRule, 7, "udev_rule"},
                      ProblemCase{"NoReader", kNoReader, 3, "readers"},
                      ProblemCase{"ListingFails", kListingFails, 1, "readers"},
                      ProblemCase{"Denied", kDenied, 4, "access"},
                      ProblemCase{"Held", kHeld, 5, "not_held"},
                      ProblemCase{"NoLanguageFiles", kNoLanguageFiles, 7, "language_files"},
                      ProblemCase{"DeniedAndHeld", kDenied | kHeld, 4, "access"},
                      ProblemCase{"NoRuleAndHeld", kNoRule | kHeld, 7, "udev_rule"},
                      ProblemCase{"HeldAndNoLanguageFiles", kHeld | kNoLanguageFiles, 5, "not_held"}),
    [](const ::testing::TestParamInfo<ProblemCase>& info) { return std::string(info.param.name); });

TEST_F(DoctorTest, FailingChecksGiveTheirFixes) {
  AllWell();
  Spoil(kNoRule | kHeld | kNoLanguageFiles);

  EXPECT_EQ(Run({"doctor"}), 7);

  const std::string text = out.str();
  EXPECT_THAT(text, AllOf(HasSubstr("FAIL  udev rule: 70-rdrconf.rules is in none of"),
                          HasSubstr("      fix: Install the rule that ships with rdrconf"),
                          HasSubstr("        sudo udevadm control --reload-rules"),
                          HasSubstr("FAIL  no other program holds " + node + ": held by cardd (PID 4242)\n"
                                    "      fix: Close cardd (PID 4242), or wait until it is done"),
                          HasSubstr("FAIL  language files: RDRCONF.zh-CN.ini and RDRCONF.en-US.ini are in none of"),
                          HasSubstr("ok    access to")));
  EXPECT_THAT(text, EndsWith("doctor: 3 of 5 checks failed; the first: udev rule (exit status 7)\n"));

  // --quiet keeps the failures and the summary only.
  EXPECT_EQ(Run({"doctor", "--quiet"}), 7);
  EXPECT_THAT(out.str(), Not(HasSubstr("ok    ")));
  EXPECT_THAT(out.str(), HasSubstr("FAIL  udev rule"));
}

TEST_F(DoctorTest, JsonNamesTheHoldersAndTheReader) {
  AllWell();
  Spoil(kHeld);
  EXPECT_EQ(Run({"doctor", "--json"}), 5);
  const Json document = Document();
  ASSERT_EQ(document["checks"].size(), 5u);
  const Json& held = document["checks"][3];
  EXPECT_EQ(held["check"], "not_held");
  EXPECT_EQ(held["reader"], node);
  EXPECT_EQ(held["holders"], Json::parse(R"([{"pid": 4242, "name": "cardd"}])"));
  EXPECT_EQ(document["checks"][0]["reader"], nullptr);
  EXPECT_EQ(document["checks"][0]["detail"], environment.udevRuleFolders.back() + "/70-rdrconf.rules");
}

// Any process may name itself (/proc/PID/comm), escape sequences and line
// breaks included: the lines show the whole name escaped, the JSON as it is.
TEST_F(DoctorTest, AHoldersNameIsShownWholeAndEscaped) {
  AllWell();
  const std::string name = "x\x1b]0;owned\x07\nFAIL  forged";
  ProcessHolds(4242, name, node);

  EXPECT_EQ(Run({"doctor"}), 5);
  EXPECT_THAT(out.str(), HasSubstr(": held by x\\x1b]0;owned\\x07\\nFAIL  forged (PID 4242)\n"
                                   "      fix: Close x\\x1b]0;owned\\x07\\nFAIL  forged (PID 4242), or wait"));
  EXPECT_THAT(out.str(), Not(HasSubstr("\x1b")));
  EXPECT_THAT(out.str(), Not(HasSubstr("\nFAIL  forged")));

  EXPECT_EQ(Run({"doctor", "--json"}), 5);
  EXPECT_EQ(Document()["checks"][3]["holders"][0]["name"], name);
}

TEST_F(DoctorTest, ChecksEveryReader) {
  AllWell();
  const std::string second = (folder_ / "dev-hidraw2").string();
  WriteBytes(second, "");
  host.AddReader(second, "B2");
  host.DenyAccess(second);
  ProcessHolds(77, "kiosk", second);

  EXPECT_EQ(Run({"doctor", "--json"}), 4);

  std::vector<std::string> names;
  const Json document = Document();
  for (const Json& check : document["checks"]) {
    names.push_back(check["check"].get<std::string>() + " " + (check["reader"].is_null() ? "-" : check["reader"].get<std::string>()) +
                    (check["ok"].get<bool>() ? " ok" : " failed"));
  }
  EXPECT_THAT(names, ElementsAre("udev_rule - ok", "readers - ok", "access " + node + " ok",
                                 "not_held " + node + " ok", "access " + second + " failed",
                                 "not_held " + second + " failed", "language_files - ok"));
}

// --- How access is explained ----------------------------------------------------------

class ExplainAccessTest : public ::testing::Test {
 protected:
  std::string Explain(const NodeFacts& node, bool mayOpen) {
    return cli::ExplainAccess(node, user, groupName, mayOpen, fix);
  }
  static NodeFacts Node(platform::UserId owner, platform::GroupId group, std::uint32_t permissions, std::vector<AclEntry> acl = {}) {
    NodeFacts node;
    node.owner = owner;
    node.group = group;
    node.mode = S_IFCHR | permissions;
    node.acl = std::move(acl);
    return node;
  }

  platform::UserIdentity user{1000, "alice", {1000}, {1000}};
  std::function<std::string(platform::GroupId)> groupName = [](platform::GroupId gid) {
    return gid == 46 ? std::string("plugdev") : gid == 0 ? std::string("root") : std::to_string(gid);
  };
  std::string fix;
};

TEST_F(ExplainAccessTest, GroupThatUserIsNotInIsNamedWithTheCommandToJoinIt) {
  EXPECT_EQ(Explain(Node(0, 46, 0660), false),
            "you may not open it: group plugdev, mode 0660; group plugdev may read and write it, and you are not "
            "a member");
  EXPECT_EQ(fix, "An administrator can add you to group plugdev: sudo adduser alice plugdev; then log in again.");
}

TEST_F(ExplainAccessTest, GroupJoinedAfterThisLoginAsksForANewLogin) {
  user.accountGroups.push_back(46);
  EXPECT_THAT(Explain(Node(0, 46, 0660), false), HasSubstr("you are a member only since after this login started"));
  EXPECT_EQ(fix, "Log out and in again: you were added to group plugdev after this login started.");
}

TEST_F(ExplainAccessTest, SeatAccessShowsAsTheUsersEntryInTheAccessList) {
  const std::vector<AclEntry> seat{{AclEntry::Kind::kUser, 1000, 6}, {AclEntry::Kind::kOwningGroup, 0, 0},
                                   {AclEntry::Kind::kMask, 0, 6}};
  // With a list, the mode's group bits show its mask: group root itself may do nothing.
  EXPECT_EQ(Explain(Node(0, 0, 0660, seat), true),
            "you may open it: group root, mode 0660; its access list lets you read and write it (the udev "
            "rule's uaccess tag gives this to the user at the seat)");
  EXPECT_EQ(fix, "");

  // The mask limits what the entry gives.
  const std::vector<AclEntry> masked{{AclEntry::Kind::kUser, 1000, 6}, {AclEntry::Kind::kMask, 0, 4}};
  EXPECT_THAT(Explain(Node(0, 0, 0640, masked), false), HasSubstr("its access list lets you only read it"));
  // Someone else's entry is no way in.
  const std::vector<AclEntry> other{{AclEntry::Kind::kUser, 1001, 6}, {AclEntry::Kind::kMask, 0, 6}};
  EXPECT_THAT(Explain(Node(0, 0, 0660, other), false), HasSubstr("its access list has no entry for you"));
}

TEST_F(ExplainAccessTest, GroupNamedInTheAccessListCounts) {
  const std::vector<AclEntry> acl{{AclEntry::Kind::kOwningGroup, 0, 4}, {AclEntry::Kind::kGroup, 46, 6},
                                  {AclEntry::Kind::kMask, 0, 6}};
  EXPECT_THAT(Explain(Node(0, 0, 0660, acl), false),
              HasSubstr("group plugdev may read and write it, and you are not a member"));
  EXPECT_THAT(fix, HasSubstr("sudo adduser alice plugdev"));
}

TEST_F(ExplainAccessTest, NoWayInPointsToTheRuleAndItsGroup) {
  EXPECT_EQ(Explain(Node(0, 0, 0600), false), "you may not open it: group root, mode 0600");
  EXPECT_THAT(fix, AllOf(HasSubstr("Install the udev rule"), HasSubstr("unplug the reader"),
                         HasSubstr("members of group plugdev"), HasSubstr("sudo adduser alice plugdev")));
}

TEST_F(ExplainAccessTest, OwnerWorldAndRootAreSaid) {
  EXPECT_THAT(Explain(Node(1000, 1000, 0600), true), HasSubstr("you may open it: you own it; group 1000"));
  EXPECT_THAT(Explain(Node(0, 0, 0666), true),
              HasSubstr("every user may read and write it, so any program can change the reader's settings"));
  user.uid = 0;
  EXPECT_THAT(Explain(Node(0, 0, 0600), true), HasSubstr("you own it"));
  EXPECT_THAT(Explain(Node(5, 5, 0600), true), HasSubstr("you are root"));
}

// --- Finding holders and reading access lists ----------------------------------------

TEST_F(DoctorTest, HoldersAreTheProcessesWithTheNodeOpen) {
  const std::string other = (folder_ / "other").string();
  WriteBytes(other, "");
  ProcessHolds(100, "cardd", node);
  ProcessHolds(100, "cardd", node, 4);  // twice by one process: named once
  ProcessHolds(200, "editor", other);
  ProcessHolds(300, "kiosk", node, 9);
  ProcessHolds(400, "shell", "/dev/null");
  std::filesystem::create_directories(std::filesystem::path(environment.procRoot) / "self" / "fd");
  std::filesystem::create_symlink(node, std::filesystem::path(environment.procRoot) / "self" / "fd" / "1");
  std::filesystem::create_symlink(node, std::filesystem::path(environment.procRoot) / "200" / "fd" / "cwd");

  int unreadable = -1;
  std::vector<cli::Holder> holders = cli::FindHolders(environment.procRoot, *platform::InspectNode(node), unreadable);
  ASSERT_EQ(holders.size(), 2u);
  EXPECT_EQ(holders[0].pid, 100);
  EXPECT_EQ(holders[0].name, "cardd");
  EXPECT_EQ(holders[1].pid, 300);
  EXPECT_EQ(holders[1].name, "kiosk");
  EXPECT_EQ(unreadable, 0);

  // A device node is known by the device it stands for.
  holders = cli::FindHolders(environment.procRoot, *platform::InspectNode("/dev/null"), unreadable);
  ASSERT_EQ(holders.size(), 1u);
  EXPECT_EQ(holders[0].pid, 400);

  EXPECT_TRUE(cli::FindHolders((folder_ / "no-proc").string(), *platform::InspectNode(node), unreadable).empty());
}

}  // namespace
}  // namespace rdrconf::test
