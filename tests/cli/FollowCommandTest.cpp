// test, export and watch over the in-memory host, a keyboard side and
// hot-plug news given by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "reader/linux/EvdevKeyboard.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/FakeReaderSides.h"

namespace rdrconf {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
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

// SIGINT or SIGTERM (the stop descriptor) ends the scan as interrupted,
// not as a scan that found no card.
TEST_F(FollowTest, TestStopsWhenAskedSaysSoAndLetsGo) {
  host.AddReader("/dev/hidraw1", "A1");
  const char byte = 1;
  stop.Write(&byte, 1);
  EXPECT_EQ(Run({"test", "--timeout", "60", "--json"}), 10);
  EXPECT_EQ(Document()["outcome"], "interrupted");
  EXPECT_THAT(err.str(), HasSubstr("/dev/hidraw1 (serial A1, USB 1-1): the scan was interrupted before a card came"));
  EXPECT_THAT(err.str(), Not(HasSubstr("no card within")));
  EXPECT_FALSE(keyboard.IsHeld());
}

// The time is a finite number of seconds in range: NaN once passed the
// range check and became -2147483648 s. What is taken is what is shown.
TEST_F(FollowTest, TestTakesOnlyAFiniteTimeoutInRangeAndShowsIt) {
  host.AddReader("/dev/hidraw1", "A1");
  for (const char* bad : {"nan", "NaN", "-nan", "inf", "-inf", "1e999", "0.05", "3600.5", "-1", "abc", "1s", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Run({"test", "--timeout", bad}), 2);
    EXPECT_THAT(err.str(), HasSubstr("--timeout"));
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_EQ(Run({"test", "--timeout", "nan"}), 2);
  EXPECT_THAT(err.str(), HasSubstr("\"nan\" is not a number"));
  EXPECT_EQ(Run({"test", "--timeout", "0.05"}), 2);
  EXPECT_THAT(err.str(), HasSubstr("\"0.05\" is out of range: the scan waits 0.1 to 3600 seconds"));
  EXPECT_EQ(keyboard.Grabs(), 0) << "refused before the reader's keyboard side is taken";

  EXPECT_EQ(Run({"test", "--timeout", "0.25"}), 9);
  EXPECT_THAT(err.str(), HasSubstr("for up to 0.25 s)"));
  EXPECT_THAT(err.str(), HasSubstr("no card within 0.25 s"));
  const char byte = 1;
  stop.Write(&byte, 1);
  EXPECT_EQ(Run({"test", "--timeout", "3600"}), 10);
  EXPECT_THAT(err.str(), HasSubstr("for up to 3600 s)"));
  EXPECT_EQ(Run({"test", "--timeout", "1.0004"}), 10);
  EXPECT_THAT(err.str(), HasSubstr("for up to 1 s)")) << "whole milliseconds";
  EXPECT_EQ(Run({"test", "--timeout", "0.1"}), 10);
  EXPECT_THAT(err.str(), HasSubstr("for up to 0.1 s)"));
}

// The keyboard side of a reader that is unplugged during the scan: once
// the keys typed before are read, its node hangs up, as an input node does
// when its device goes.
class UnpluggedKeyboard final : public KeyboardSource {
 public:
  explicit UnpluggedKeyboard(FakeKeyboard& keyboard) : keyboard_(keyboard) {
    if (pipe2(hungUp_, O_CLOEXEC) == 0) close(hungUp_[1]);
  }
  ~UnpluggedKeyboard() override { close(hungUp_[0]); }
  UnpluggedKeyboard(const UnpluggedKeyboard&) = delete;
  UnpluggedKeyboard& operator=(const UnpluggedKeyboard&) = delete;

  void UnplugAfterTheKeys() { unplugAfterRead_ = true; }
  void UnplugNow() { gone_ = true; }

  std::optional<std::string> FindNode(const std::string& hidrawPath) override { return keyboard_.FindNode(hidrawPath); }
  bool Open(const std::string& node, HidError& error) override { return keyboard_.Open(node, error); }
  int Descriptor() const override { return gone_ && keyboard_.IsHeld() ? hungUp_[0] : keyboard_.Descriptor(); }
  std::vector<TypedKey> Read() override {
    gone_ = gone_ || unplugAfterRead_;
    return keyboard_.Read();
  }
  void Release() override { keyboard_.Release(); }
  bool IsHeld() const override { return keyboard_.IsHeld(); }

 private:
  FakeKeyboard& keyboard_;
  int hungUp_[2] = {-1, -1};
  bool unplugAfterRead_ = false;
  bool gone_ = false;
};

// A scan ends at once when its reader goes (the wait once returned at once
// on the hung-up node, over and over, until the timeout), says so, and
// makes no card of the keys typed before.
TEST_F(FollowTest, TestEndsAtOnceWhenTheReaderIsUnplugged) {
  host.AddReader("/dev/hidraw1", "A1");
  UnpluggedKeyboard unplugged(keyboard);
  environment.keyboard = [&] { return static_cast<KeyboardSource*>(&unplugged); };

  unplugged.UnplugNow();
  EXPECT_EQ(Run({"test", "--json"}), 3) << "within the default 30 s, not after them";
  EXPECT_EQ(Document()["outcome"], "unplugged");
  EXPECT_THAT(err.str(), HasSubstr("/dev/hidraw1 (serial A1, USB 1-1): the reader was unplugged"));
  EXPECT_FALSE(keyboard.IsHeld());

  UnpluggedKeyboard midway(keyboard);
  environment.keyboard = [&] { return static_cast<KeyboardSource*>(&midway); };
  keyboard.Type(Digits("0042", false));
  midway.UnplugAfterTheKeys();
  EXPECT_EQ(Run({"test"}), 3);
  EXPECT_EQ(out.str(), "") << "four keys and then the reader went: no card";
  EXPECT_THAT(err.str(), HasSubstr("the reader was unplugged"));
  EXPECT_FALSE(keyboard.IsHeld());
}

TEST_F(FollowTest, ExportGivesTheLastWriteAsAProfileThatWatchTakes) {
  host.AddReader("/dev/hidraw1", "A1");
  EXPECT_EQ(Run({"export"}), 11) << "nothing written yet";
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

  // The strict reading of watch takes what export gives.
  const std::string path = WriteProfile(out.str());
  const char byte = 1;
  stop.Write(&byte, 1);
  EXPECT_EQ(Run({"watch", "--apply", path}), 0) << err.str();
  EXPECT_THAT(err.str(), HasSubstr("watching for readers to give format 8h10d (5), Passive, Enter, power saving on"));
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

constexpr char kSettings[] = R"({"format_index": 4, "mode": "active", "enter": true, "power_saving": false})";

TEST_F(FollowTest, WatchRefusesABadProfileAndAMissingMonitor) {
  EXPECT_EQ(Run({"watch", "--apply", (folder_ / "none.json").string()}), 2);
  EXPECT_THAT(err.str(), HasSubstr("none.json: there is no such file"));
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile("not json")}), 2);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(R"({"rdrconf_profile": 1, "settings": {"mode": "active"}})")}), 2);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(R"({"rdrconf_profile": 7, "settings": {}})")}), 2);
  EXPECT_THAT(err.str(), HasSubstr("\"rdrconf_profile\" must be 1"));
  environment.hotplug = [] { return static_cast<HotplugSource*>(nullptr); };
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(std::string(R"({"rdrconf_profile": 1, "settings": )") + kSettings + "}")}),
            7);
}

// Every part of a profile is checked, and a bad one is a usage error that
// says what is wrong; once, "1" and null ended in the JSON library's
// internal error (exit 1), and 1.5, true and 4294967297 passed as 1.
TEST_F(FollowTest, WatchTakesOnlyAWhollyValidProfile) {
  const std::string settings = kSettings;
  const struct {
    std::string profile;
    const char* says;
  } cases[] = {
      {R"({"rdrconf_profile": "1", "settings": )" + settings + "}", "\"rdrconf_profile\" must be 1 (the only version of profiles that this program reads), not a string"},
      {R"({"rdrconf_profile": null, "settings": )" + settings + "}", "must be 1 (the only version of profiles that this program reads), not null"},
      {R"({"rdrconf_profile": 1.5, "settings": )" + settings + "}", "not 1.5"},
      {R"({"rdrconf_profile": 1.0, "settings": )" + settings + "}", "not 1.0"},
      {R"({"rdrconf_profile": true, "settings": )" + settings + "}", "not true"},
      {R"({"rdrconf_profile": 4294967297, "settings": )" + settings + "}", "not 4294967297"},
      {R"({"rdrconf_profile": -1, "settings": )" + settings + "}", "not -1"},
      {R"({"settings": )" + settings + "}", "it has no \"rdrconf_profile\""},
      {R"({"rdrconf_profile": 1})", "the profile has no \"settings\""},
      {R"({"rdrconf_profile": 1, "settings": )" + settings + R"(, "setings": {}})", "unknown key \"setings\" (a profile has"},
      {R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": true, "power_saving": false, "beep": true}})",
       "unknown key \"beep\" in the settings"},
      {R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": 1, "power_saving": false}})",
       "\"enter\" must be true or false"},
      {R"({"rdrconf_profile": 1, "settings": [4]})", "the settings are not an object"},
      {R"({"rdrconf_profile": 1, "settings": )" + settings + R"(, "source": "kiosk"})", "\"source\" must be an object, not a string"},
      {R"({"rdrconf_profile": 1, "settings": )" + settings + R"(, "source": {"serial": 7}})", "\"source\": \"serial\" must be a string, not 7"},
      {R"({"rdrconf_profile": 1, "settings": )" + settings + R"(, "source": {"owner": "x"}})", "unknown key \"owner\" in \"source\""},
      {R"([1])", "a profile is a JSON object ({\"rdrconf_profile\": 1, \"settings\": {...}}), not an array"},
      {"{\"rdrconf_profile\": 1,\n \"settings\": }", ":2:14: it is not valid JSON: syntax error"},
      {"", "unexpected end of input"},
      {std::string(100000, '[') + std::string(100000, ']'), "8 levels"},
      {R"({"rdrconf_profile": 1, "settings": )" + settings + R"(, "source": {"serial": )" + std::string(20000, '[') +
           std::string(20000, ']') + "}}",
       "8 levels"},
  };
  host.AddReader("/dev/hidraw1", "A1");
  // Asked to stop already: a profile taken by mistake ends the watch at
  // once, with 0.
  const char byte = 1;
  stop.Write(&byte, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile.substr(0, 120));
    const std::string path = WriteProfile(c.profile);
    EXPECT_EQ(Run({"watch", "--apply", path}), 2);
    EXPECT_THAT(err.str(), HasSubstr("rdrconf-cli: " + path + ":"));
    EXPECT_THAT(err.str(), HasSubstr(c.says));
    EXPECT_THAT(err.str(), Not(HasSubstr("json.exception")));
  }
  EXPECT_EQ(host.Opens(), 0);
}

// A profile is read as a regular file of at most 1 MiB: a FIFO in its
// place once blocked the watch in open(), deaf to SIGTERM and Ctrl+C.
TEST_F(FollowTest, WatchRefusesAProfileThatIsNoRegularFileOrTooLarge) {
  const std::string fifo = (folder_ / "fifo.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run({"watch", "--apply", fifo}), 2);
  EXPECT_THAT(err.str(), HasSubstr(fifo + ": not a regular file"));
  EXPECT_EQ(Run({"watch", "--apply", folder_.string()}), 2);
  EXPECT_THAT(err.str(), HasSubstr("not a regular file"));

  // Blanks are valid JSON around the profile, but not this many.
  const std::string profile = std::string(R"({"rdrconf_profile": 1, "settings": )") + kSettings + "}";
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(profile + std::string(1024 * 1024 - profile.size() + 1, ' '))}), 2);
  EXPECT_THAT(err.str(), HasSubstr("larger than a profile can be (1 MiB)"));
  const char byte = 1;
  stop.Write(&byte, 1);
  EXPECT_EQ(Run({"watch", "--apply", WriteProfile(profile + std::string(1024 * 1024 - profile.size(), ' '))}), 0)
      << err.str();
}

}  // namespace
}  // namespace rdrconf
