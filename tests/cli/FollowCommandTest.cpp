// test, export and watch over the in-memory host, a keyboard side and
// hot-plug news given by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "reader/linux/EvdevKeyboard.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/FakeReaderSides.h"

namespace rdrconf {
namespace {

using ::testing::HasSubstr;
using test::FakeHidHost;
using test::FakeHotplug;
using test::FakeKeyboard;
using Kind = FakeHidHost::Kind;

std::vector<TypedKey> Digits(const std::string& digits, bool enter) {
  std::vector<TypedKey> keys;
  for (const char digit : digits) keys.push_back({TypedKey::Kind::kCharacter, digit, {}});
  if (enter) keys.push_back({TypedKey::Kind::kEnter, 0, {}});
  return keys;
}

class FollowTest : public test::CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    environment.keyboard = [this] { return static_cast<KeyboardSource*>(&keyboard); };
    environment.hotplug = [this] { return static_cast<HotplugSource*>(&hotplug); };
    environment.stopDescriptor = stop.ReadEnd();
  }
  std::string WriteProfile(const std::string& text) {
    const std::string path = (folder_ / "profile.json").string();
    test::WriteBytes(path, text);
    return path;
  }

  FakeKeyboard keyboard;
  FakeHotplug hotplug;
  test::WatchedPipe stop;
};

TEST_F(FollowTest, TestPrintsTheCardAndLetsGoOfTheKeyboard) {
  host.AddReader("/dev/hidraw1", "A1");
  keyboard.Type(Digits("0042719358", true));
  EXPECT_EQ(Run({"test", "--json"}), 0) << err.str();
  const nlohmann::json scan = Document();
  EXPECT_EQ(scan["outcome"], "scanned");
  EXPECT_EQ(scan["text"], "0042719358");
  EXPECT_EQ(scan["count"], 10);
  EXPECT_EQ(scan["enter"], true);
  EXPECT_EQ(scan["reader"]["serial"], "A1");
  EXPECT_EQ(keyboard.SearchedFor(), "/dev/hidraw1");
  EXPECT_FALSE(keyboard.IsHeld());
  EXPECT_EQ(keyboard.Grabs(), 1);
  EXPECT_EQ(host.Kinds(), std::vector<Kind>{Kind::kList}) << "a scan sends nothing to the reader";

  keyboard.Type(Digits("123", false));
  EXPECT_EQ(Run({"test"}), 0);
  EXPECT_EQ(out.str(), "123 (3 characters, no Enter)\n");
}

TEST_F(FollowTest, TestEndsWithItsOwnCodes) {
  host.AddReader("/dev/hidraw1", "A1");
  EXPECT_EQ(Run({"test", "--timeout", "0.2", "--json"}), 9) << "no card";
  EXPECT_EQ(Document()["outcome"], "timeout");
  EXPECT_FALSE(keyboard.IsHeld());

  keyboard.FailOpen(EACCES);
  EXPECT_EQ(Run({"test"}), 4);
  EXPECT_THAT(err.str(), HasSubstr("plugdev"));
  keyboard.FailOpen(EBUSY);
  EXPECT_EQ(Run({"test"}), 5) << "another program grabbed it";

  FakeKeyboard plain;
  plain.HaveNoNode();
  environment.keyboard = [&] { return static_cast<KeyboardSource*>(&plain); };
  EXPECT_EQ(Run({"test"}), 3) << "no keyboard side";

  host.RemoveInterface("/dev/hidraw1");
  EXPECT_EQ(Run({"test"}), 3);
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "B2");
  EXPECT_EQ(Run({"test"}), 8) << "which one?";
}

TEST_F(FollowTest, TestStopsWhenAskedAndLetsGo) {
  host.AddReader("/dev/hidraw1", "A1");
  const char byte = 1;
  stop.Write(&byte, 1);
  EXPECT_EQ(Run({"test", "--timeout", "60"}), 9);
  EXPECT_FALSE(keyboard.IsHeld());
}

TEST_F(FollowTest, ExportGivesTheLastWriteAsAProfileThatWatchTakes) {
  host.AddReader("/dev/hidraw1", "A1");
  EXPECT_EQ(Run({"export"}), 1) << "nothing written yet";
  ASSERT_EQ(Run({"set", "--format", "8h10d", "--mode", "passive", "--power-saving", "on"}), 0);
  ASSERT_EQ(Run({"export", "--reader", "A1"}), 0);
  const nlohmann::json profile = Document();
  EXPECT_EQ(profile["rdrconf_profile"], 1);
  EXPECT_EQ(profile["settings"]["format"], "8h10d");
  EXPECT_EQ(profile["settings"]["format_index"], 5);
  EXPECT_EQ(profile["settings"]["mode"], "passive");
  EXPECT_EQ(profile["settings"]["enter"], true);
  EXPECT_EQ(profile["settings"]["power_saving"], true);
  EXPECT_EQ(profile["source"]["serial"], "A1");
}

TEST_F(FollowTest, WatchGivesTheProfileToReadersPluggedInLaterOnly) {
  host.AddReader("/dev/hidraw1", "OLD");
  const std::string profile = WriteProfile(
      R"({"rdrconf_profile": 1, "settings": {"format_index": 5, "mode": "passive", "enter": false, "power_saving": true}})");
  host.ClearRequests();
  // The new reader comes once watch waits; then watch is asked to stop.
  hotplug.Announce({HotplugEvent::Action::kAdded, "/dev/hidraw2"});
  hotplug.WhenTaken([&] {
    host.AddReader("/dev/hidraw2", "NEW");
    const char byte = 1;
    stop.Write(&byte, 1);
  });
  EXPECT_EQ(Run({"watch", "--apply", profile, "--json"}), 0) << err.str();

  std::vector<std::string> opened = host.OpenedPaths();
  EXPECT_EQ(opened, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw2", "/dev/hidraw2"}))
      << "open notice, settings, close notice; the reader already there is left alone";
  EXPECT_EQ(host.SetReports()[2], test::ChunkReport({5, 0, 0, 1, 0}));
  const nlohmann::json line = nlohmann::json::parse(out.str());
  EXPECT_EQ(line["serial"], "NEW");
  EXPECT_EQ(line["outcome"], "done");
  EXPECT_EQ(line["recorded"], true);
  EXPECT_TRUE(std::filesystem::exists(environment.recordPath));
}

TEST_F(FollowTest, WatchRefusesABadProfileAndAMissingMonitor) {
  EXPECT_EQ(Run({"watch", "--apply", (folder_ / "none.json").string()}), 2);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile("not json")}), 2);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(R"({"rdrconf_profile": 1, "settings": {"mode": "active"}})")}), 2);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(R"({"rdrconf_profile": 7, "settings": {}})")}), 2);
  EXPECT_THAT(err.str(), HasSubstr("not a profile"));
  environment.hotplug = [] { return static_cast<HotplugSource*>(nullptr); };
  EXPECT_EQ(Run({"watch", "--apply",
                 WriteProfile(R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": true, "power_saving": false}})")}),
            1);
}

}  // namespace
}  // namespace rdrconf
