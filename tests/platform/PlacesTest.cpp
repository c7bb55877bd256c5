// Where the tool's files belong for the user: the XDG folders, their
// defaults under HOME, and no folder at all when neither names an absolute
// one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Places.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf::platform {
namespace {

using ::testing::ElementsAre;

class PlacesTest : public test::ScratchFolderTest {};

TEST_F(PlacesTest, XdgFoldersWinAndRelativeOnesAreIgnored) {
  environment_.Set("HOME", "/home/alice");
  EXPECT_EQ(UserConfigFolder(), "/home/alice/.config/rdrconf/");
  EXPECT_EQ(UserDataFolder(), "/home/alice/.local/share/rdrconf/");
  EXPECT_EQ(UserStateFolder(), "/home/alice/.local/state/rdrconf/");
  environment_.Set("XDG_CONFIG_HOME", "/etc/alice");
  environment_.Set("XDG_DATA_HOME", "/data/alice/");
  environment_.Set("XDG_STATE_HOME", "state");
  EXPECT_EQ(UserConfigFolder(), "/etc/alice/rdrconf/");
  EXPECT_EQ(UserDataFolder(), "/data/alice/rdrconf/");
  EXPECT_EQ(UserStateFolder(), "/home/alice/.local/state/rdrconf/");

  environment_.Set("HOME", "alice");
  std::string why;
  EXPECT_EQ(UserStateFolder(&why), "");
  EXPECT_EQ(why, "neither XDG_STATE_HOME nor HOME names an absolute folder");
  EXPECT_EQ(UserConfigFolder(), "/etc/alice/rdrconf/");
}

TEST_F(PlacesTest, SharedFoldersFollowXdgDataDirsInOrder) {
  environment_.Set("XDG_DATA_DIRS", "/opt/share:relative::/usr/share/");
  EXPECT_THAT(SharedDataFolders(), ElementsAre("/opt/share/rdrconf/", "/usr/share/rdrconf/"));
  environment_.Set("XDG_DATA_DIRS", nullptr);
  EXPECT_THAT(SharedDataFolders(), ElementsAre("/usr/local/share/rdrconf/", "/usr/share/rdrconf/"));
  environment_.Set("XDG_DATA_DIRS", "only/relative");
  EXPECT_THAT(SharedDataFolders(), ElementsAre("/usr/local/share/rdrconf/", "/usr/share/rdrconf/"));
}

// A system unit is told its folders by systemd; a program run by hand uses
// the usual ones, so both find the same profile and record.
TEST_F(PlacesTest, SystemFoldersAreSystemdsFirstOrTheUsualOnes) {
  environment_.Set("CONFIGURATION_DIRECTORY", nullptr);
  environment_.Set("STATE_DIRECTORY", nullptr);
  EXPECT_EQ(SystemConfigFolder(), "/etc/rdrconf/");
  EXPECT_EQ(SystemStateFolder(), "/var/lib/rdrconf/");
  environment_.Set("CONFIGURATION_DIRECTORY", "/etc/rdrconf-test");
  environment_.Set("STATE_DIRECTORY", "/var/lib/first/:/var/lib/second");
  EXPECT_EQ(SystemConfigFolder(), "/etc/rdrconf-test/");
  EXPECT_EQ(SystemStateFolder(), "/var/lib/first/");
  environment_.Set("STATE_DIRECTORY", "relative");
  EXPECT_EQ(SystemStateFolder(), "/var/lib/rdrconf/");
}

}  // namespace
}  // namespace rdrconf::platform
