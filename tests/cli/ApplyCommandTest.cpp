// apply: each reader gets what the profile has for it, only when the record
// says it lacks it; --check sends nothing; a bad profile is refused where
// it is wrong, with nothing written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kDefault[] = R"({"format": "6h10d", "mode": "active", "enter": true, "power_saving": false})";
constexpr char kPassive[] = R"({"format": "8h10d", "mode": "passive", "enter": false, "power_saving": false})";
constexpr char kPort[] = R"({"format_index": 2, "mode": "active", "enter": true, "power_saving": true})";

class ApplyTest : public CliTest {
 protected:
  std::string Profile(const std::string& text) {
    const std::string path = (folder_ / "profile.json").string();
    WriteBytes(path, text);
    return path;
  }
  // The default, a serial number's own and a USB port's own settings.
  std::string ThreeWayProfile() {
    return Profile(std::string(R"({"rdrconf_profile": 1, "settings": )") + kDefault +
                   R"(, "readers": [{"usb_port": "1-2", "settings": )" + kPort +
                   R"(}, {"serial": "A1", "settings": )" + kPassive + "}]}");
  }
  std::vector<FeatureReport> Session(const ReaderParameterBlock& block) {
    return {kOpenNoticeReport, kHeaderReport, ChunkReport(block), kCloseNoticeReport};
  }
};

// The serial number's entry beats the port's, which beats the default;
// the second run finds every reader as the record says and sends nothing.
TEST_F(ApplyTest, EachReaderGetsItsOwnSettingsOnceAndThenNothing) {
  host.AddReader("/dev/hidraw1", "A1");  // USB 1-1, named by serial
  host.AddReader("/dev/hidraw2", "B2");  // USB 1-2, named by port
  host.AddReader("/dev/hidraw3", "C3");  // USB 1-3, the default
  const std::string profile = ThreeWayProfile();

  ASSERT_EQ(Run({"apply", "--profile", profile, "--json"}), 0) << err.str();
  std::vector<FeatureReport> expected = Session({5, 0, 0, 0, 0});
  for (const auto& more : {Session({2, 1, 1, 1, 0}), Session({4, 1, 1, 0, 0})}) {
    expected.insert(expected.end(), more.begin(), more.end());
  }
  EXPECT_EQ(host.SetReports(), expected);
  nlohmann::json document = Document();
  EXPECT_EQ(document["schema_version"], 1);
  EXPECT_EQ(document["outcome"], "done");
  EXPECT_EQ(document["changed"], true);
  const auto& readers = document["readers"];
  ASSERT_EQ(readers.size(), 3u);
  EXPECT_EQ(readers[0]["matched_by"], "serial");
  EXPECT_EQ(readers[1]["matched_by"], "usb_port");
  EXPECT_EQ(readers[2]["matched_by"], "default");
  EXPECT_EQ(readers[0]["before"], nullptr);
  EXPECT_EQ(readers[0]["after"]["mode"], "passive");
  EXPECT_EQ(readers[1]["after"]["format_index"], 2);

  host.ClearRequests();
  ASSERT_EQ(Run({"apply", "--profile", profile, "--json"}), 0) << err.str();
  EXPECT_EQ(host.Opens(), 3 * 3) << "the first run's sessions only";
  EXPECT_THAT(host.SetReports(), IsEmpty());
  document = Document();
  EXPECT_EQ(document["outcome"], "unchanged");
  EXPECT_EQ(document["changed"], false);
  for (const auto& reader : document["readers"]) {
    EXPECT_EQ(reader["outcome"], "unchanged");
    EXPECT_EQ(reader["before"], reader["after"]);
  }

  ASSERT_EQ(Run({"apply", "--profile", profile, "--force", "--reader", "C3"}), 0) << err.str();
  EXPECT_EQ(host.SetReports(), Session({4, 1, 1, 0, 0}));
}

// A changed profile writes the reader again; --check and --diff say what
// would change from what, opening nothing.
TEST_F(ApplyTest, CheckAndDiffSayWhatWouldChangeAndSendNothing) {
  host.AddReader("/dev/hidraw1", "A1");
  ASSERT_EQ(Run({"set", "--format", "6h10d"}), 0) << err.str();
  const std::string profile = Profile(std::string(R"({"rdrconf_profile": 1, "settings": )") + kPassive + "}");
  host.ClearRequests();

  ASSERT_EQ(Run({"apply", "--profile", profile, "--check", "--diff"}), 0) << err.str();
  EXPECT_THAT(host.Requests(), ElementsAre(::testing::Field(&FakeHidHost::Request::kind, FakeHidHost::Kind::kList)));
  EXPECT_EQ(out.str(),
            "/dev/hidraw1 (serial A1, USB 1-1): would be set format 8h10d (5), Passive, No-Enter, power saving off\n"
            "  format: 6h10d (4) -> 8h10d (5)\n"
            "  mode: active -> passive\n"
            "  enter: true -> false\n"
            "  power_saving: false -> false\n");
  ASSERT_EQ(Run({"apply", "--profile", profile, "--check", "--json"}), 0);
  EXPECT_EQ(Document()["outcome"], "would_change");
  EXPECT_EQ(Document()["readers"][0]["changed"], true);
  EXPECT_THAT(host.SetReports(), IsEmpty());

  ASSERT_EQ(Run({"apply", "--profile", profile, "--diff"}), 0) << err.str();
  EXPECT_EQ(host.SetReports(), Session({5, 0, 0, 0, 0}));
  ASSERT_EQ(Run({"apply", "--profile", profile, "--check", "--diff"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("unchanged: has the settings already: format 8h10d (5)"));
}

// Someone using the reader in the window holds it for a moment: apply
// tries again as often as asked, then reports it busy and writes nothing.
TEST_F(ApplyTest, AReaderHeldElsewhereIsTriedAgainThenReportedBusy) {
  host.AddReader("/dev/hidraw1", "A1");
  host.FailOpen("/dev/hidraw1", EWOULDBLOCK);
  const std::string profile = ThreeWayProfile();
  EXPECT_EQ(Run({"apply", "--profile", profile, "--busy-retries", "1", "--json"}), 5);
  EXPECT_THAT(err.str(), HasSubstr("busy (another program holds it); trying again in a second (1 of 1)"));
  EXPECT_EQ(host.Opens(), 0);
  EXPECT_EQ(Document()["outcome"], "busy");
  EXPECT_EQ(Document()["changed"], false);
  EXPECT_EQ(Run({"apply", "--profile", profile, "--busy-retries", "21"}), 2) << "at most 20";
}

// The system's record is the system unit's, and readable by every user.
TEST_F(ApplyTest, SystemGoesByTheSystemsRecordReadableByAll) {
  host.AddReader("/dev/hidraw1", "A1");
  environment.systemRecordPath = (folder_ / "system" / "readers.json").string();
  std::filesystem::create_directories(folder_ / "system");
  environment.systemProfilePath = ThreeWayProfile();
  ASSERT_EQ(Run({"apply", "--system"}), 0) << err.str();
  struct stat status {};
  ASSERT_EQ(stat(environment.systemRecordPath.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
  EXPECT_FALSE(std::filesystem::exists(environment.recordPath)) << "the user's record is left alone";
  host.ClearRequests();
  ASSERT_EQ(Run({"apply", "--system"}), 0);
  EXPECT_THAT(host.SetReports(), IsEmpty());

  // Every user's list and show say what the system wrote.
  ASSERT_EQ(Run({"list", "--json"}), 0) << err.str();
  EXPECT_EQ(Document()["readers"][0]["last_written"], nullptr);
  EXPECT_EQ(Document()["readers"][0]["system_last_written"]["format"], "8h10d");
  ASSERT_EQ(Run({"show"}), 0) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("\n   the system wrote 2024-05-01T12:00:00Z: format 8h10d (5), Passive"));
}

// A profile that cannot be used is refused where it is wrong, and nothing
// is opened, let alone written.
TEST_F(ApplyTest, ABadProfileIsRefusedWithItsFileLineAndColumn) {
  host.AddReader("/dev/hidraw1", "A1");
  const std::string settings = kDefault;
  const struct {
    std::string profile;
    std::string says;
  } cases[] = {
      {"{\"rdrconf_profile\": 1,\n \"settings\": }", ":2:14: it is not valid JSON: syntax error"},
      {"{\"rdrconf_profile\": 1,\n  \"setings\": {}}", ":2:3: unknown key \"setings\""},
      {"{\"rdrconf_profile\": 1, \"settings\":\n {\"format\": \"9h\", \"mode\": \"active\", \"enter\": true, "
       "\"power_saving\": false}}",
       ":2:13: \"format\": \"9h\" is not a card-number format"},
      {"{\"rdrconf_profile\": 1, \"settings\": {\"format_index\": 13, \"mode\": \"active\", \"enter\": true, "
       "\"power_saving\": false}}",
       ":1:53: \"format_index\": 13 is out of range (0-12)"},
      {"{\"rdrconf_profile\": 1, \"settings\": " + settings + ",\n \"readers\": [{\"serial\": \"X\",\n  \"settings\": "
       "{\"format\": \"8h\", \"mode\": \"active\", \"enter\": \"yes\", \"power_saving\": false}}]}",
       ":3:59: \"enter\" must be true or false"},
      {"{\"rdrconf_profile\": 1, \"settings\": " + settings + ", \"readers\": [{\"serial\": \"X\", \"usb_port\": "
       "\"1-1\", \"settings\": " + settings + "}]}",
       ":1:125: a reader's entry names its reader by exactly one of \"serial\" and \"usb_port\""},
      {"{\"rdrconf_profile\": 1, \"settings\": " + settings + ", \"readers\": [{\"serial\": \"X\", \"settings\": " +
           settings + "}, {\"serial\": \"X\", \"settings\": " + settings + "}]}",
       ":1:242: a second entry for the reader with serial number \"X\""},
      {"{\"rdrconf_profile\": 1, \"settings\": " + settings + ", \"readers\": {\"serial\": \"X\"}}",
       ":1:124: \"readers\" must be an array of readers' entries, not an object"},
      {"{\"rdrconf_profile\": 1, \"settings\": {\"format\": \"6h\", \"mode\": \"Active\", \"enter\": true, "
       "\"power_saving\": false}}",
       ":1:61: \"mode\" must be \"active\" or \"passive\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    const std::string path = Profile(c.profile);
    EXPECT_EQ(Run({"apply", "--profile", path, "--json"}), 2);
    EXPECT_THAT(err.str(), HasSubstr(path + c.says));
    EXPECT_THAT(err.str(), HasSubstr("nothing was written"));
    EXPECT_EQ(Document()["outcome"], "bad_profile");
  }
  EXPECT_EQ(Run({"apply", "--profile", (folder_ / "none.json").string()}), 2);
  EXPECT_THAT(err.str(), HasSubstr("none.json: there is no such file"));
  const std::string fifo = (folder_ / "fifo.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run({"apply", "--profile", fifo}), 2);
  EXPECT_THAT(err.str(), HasSubstr("fifo.json: not a regular file"));
  EXPECT_EQ(Run({"apply", "--profile", Profile(std::string(1024 * 1024 + 1, ' '))}), 2);
  EXPECT_THAT(err.str(), HasSubstr("larger than a profile can be (1 MiB)"));
  EXPECT_EQ(host.Opens(), 0);
}

}  // namespace
}  // namespace rdrconf::test
