// test, export and watch on Windows, where the command line has neither the
// reader's keyboard side nor news of readers plugged in (as rdrconf-cli.exe
// runs them, with the environment of the process): test and watch end at
// once and say why, having opened and sent nothing; export works as
// everywhere.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/ExitCode.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using ::testing::HasSubstr;

class WindowsFollowTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    const cli::CliEnvironment process = cli::CliEnvironment::OfThisProcess();
    environment.keyboard = process.keyboard;
    environment.hotplug = process.hotplug;
    environment.stopDescriptor = process.stopDescriptor;
  }
};

TEST_F(WindowsFollowTest, TestAndWatchSayWhyTheyCannotRunAndSendNothing) {
  host.AddReader("\\\\?\\hid#vid_1d57&pid_ac08#1", "A1");
  EXPECT_EQ(Run({"test"}), cli::kExitNotSetUp);
  EXPECT_THAT(err.str(), HasSubstr("keyboard side"));

  const std::string profile = (folder_ / "profile.json").string();
  WriteBytes(profile,
             R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": true, "power_saving": false}})");
  EXPECT_EQ(Run({"watch", "--apply", profile}), cli::kExitNotSetUp);
  EXPECT_THAT(err.str(), HasSubstr("no news of readers plugged in"));
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(WindowsFollowTest, ExportGivesTheLastWriteAsAProfile) {
  host.AddReader("\\\\?\\hid#vid_1d57&pid_ac08#1", "A1");
  EXPECT_EQ(Run({"export"}), cli::kExitNothingRecorded) << "nothing written yet";
  ASSERT_EQ(Run({"set", "--format", "8h10d", "--mode", "passive", "--power-saving", "on"}), cli::kExitDone)
      << err.str();
  ASSERT_EQ(Run({"export", "--reader", "A1"}), cli::kExitDone) << err.str();
  const nlohmann::json document = Document();
  EXPECT_EQ(document["settings"]["format"], "8h10d");
  EXPECT_EQ(document["settings"]["mode"], "passive");
  EXPECT_EQ(document["source"]["serial"], "A1");
}

}  // namespace
}  // namespace rdrconf::test
