// The record as the commands keep and read it: each write is recorded while
// the reader is still held, so that the record ends up saying what the
// reader last received, and each reader is listed, shown and exported with
// its own entry alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "reader/SettingsRecord.h"
#include "tests/cli/CliFixture.h"
#ifndef _WIN32
#include "tests/support/FakeReaderSides.h"
#endif

namespace rdrconf::test {
namespace {

using ::testing::ElementsAre;

constexpr char kFirst[] = "/dev/hidraw3";
constexpr char kSecond[] = "/dev/hidraw5";

class RecordCommandsTest : public CliTest {
 protected:
  // At each close of the reader, the format that the record held for it
  // then (-1 for none).
  void FollowTheRecordAtEachClose() {
    host.OnClose([this](const std::string&) {
      const auto entries = SettingsRecord(environment.recordPath).Read();
      formatsAtClose.push_back(entries.empty() ? -1 : entries.begin()->second.settings.format);
    });
  }

  std::vector<int> formatsAtClose;
};

// Recorded after the reader was let go, two programs setting one reader at
// once could leave the record saying what the other one sent, which the
// reader did not keep: a second program takes the reader as soon as it is
// let go, so it is too late then.
TEST_F(RecordCommandsTest, EachWriteIsRecordedBeforeTheReaderIsLetGo) {
  host.AddReader(kFirst, "A1");
  FollowTheRecordAtEachClose();
  ASSERT_EQ(Run({"set", "--format", "5"}), 0) << err.str();
  // The open notice, the settings, the close notice.
  EXPECT_THAT(formatsAtClose, ElementsAre(-1, 5, 5));

  formatsAtClose.clear();
  ASSERT_EQ(Run({"restore"}), 0) << err.str();
  const int defaults = ReaderSettings::Defaults().format;
  EXPECT_THAT(formatsAtClose, ElementsAre(5, defaults, defaults));
}

#ifndef _WIN32
TEST_F(RecordCommandsTest, WatchRecordsEachWriteBeforeTheReaderIsLetGo) {
  FakeHotplug hotplug;
  WatchedPipe stop;
  environment.hotplug = [&] { return static_cast<HotplugSource*>(&hotplug); };
  environment.stopDescriptor = stop.ReadEnd();
  const std::string profile = (folder_ / "profile.json").string();
  WriteBytes(profile, R"({"rdrconf_profile": 1, "settings": {"format_index": 9, "mode": "active", "enter": true,
                          "power_saving": false}})");
  hotplug.Announce({HotplugEvent::Action::kAdded, kFirst});
  hotplug.WhenTaken([&] {
    host.AddReader(kFirst, "A1");
    const char byte = 1;
    stop.Write(&byte, 1);
  });
  FollowTheRecordAtEachClose();
  ASSERT_EQ(Run({"watch", "--apply", profile}), 0) << err.str();
  EXPECT_THAT(formatsAtClose, ElementsAre(-1, 9, 9));
}
#endif

// Two readers with one serial number: only the one that was set has
// anything to show.
TEST_F(RecordCommandsTest, ReadersWithOneSerialNumberAreEachShownWithTheirOwnEntry) {
  host.AddReader(kFirst, "A1");   // USB 1-1
  host.AddReader(kSecond, "A1");  // USB 1-2
  ASSERT_EQ(Run({"set", "--reader", kFirst, "--format", "5"}), 0) << err.str();

  ASSERT_EQ(Run({"list", "--json"}), 0) << err.str();
  nlohmann::json document = Document()["readers"];
  EXPECT_EQ(document[0]["last_written"]["format_index"], 5);
  EXPECT_EQ(document[1]["last_written"], nullptr) << "never configured";
  ASSERT_EQ(Run({"list"}), 0);
  const std::string text = out.str();
  const std::size_t written = text.find("last written");
  EXPECT_NE(written, std::string::npos) << text;
  EXPECT_EQ(text.find("last written", written + 1), std::string::npos) << text;

  ASSERT_EQ(Run({"show", "--json"}), 0) << err.str();
  document = Document();
  EXPECT_EQ(document["readers"][0]["key"], "serial:A1 usb:1-1");
  EXPECT_EQ(document["readers"][0]["last_written"]["format_index"], 5);
  EXPECT_EQ(document["readers"][1]["key"], "serial:A1 usb:1-2");
  EXPECT_EQ(document["readers"][1]["last_written"], nullptr);

  EXPECT_EQ(Run({"export", "--reader", kSecond}), 11);
  EXPECT_THAT(err.str(), ::testing::HasSubstr("nothing was written to it from this computer"));
  ASSERT_EQ(Run({"export", "--reader", kFirst}), 0) << err.str();
  EXPECT_EQ(Document()["settings"]["format_index"], 5);
}

// A record that an earlier version wrote, under the bare serial number,
// still counts for that reader wherever it is plugged in now.
TEST_F(RecordCommandsTest, RecordOfAnEarlierVersionIsReadByEveryCommand) {
  std::filesystem::create_directories(std::filesystem::path(environment.recordPath).parent_path());
  WriteBytes(environment.recordPath, R"({"version": 1, "readers": {"A1": {
      "written_at": "2024-04-01T08:00:00Z", "outcome": "done", "path": "/dev/hidraw0", "serial": "A1",
      "usb_port": "2-4", "settings": {"format_index": 7, "mode": "passive", "enter": true, "power_saving": false}}}})");
  host.AddReader(kFirst, "A1");

  ASSERT_EQ(Run({"list", "--json"}), 0) << err.str();
  EXPECT_EQ(Document()["readers"][0]["last_written"]["format_index"], 7);
  ASSERT_EQ(Run({"show", "--json"}), 0) << err.str();
  EXPECT_EQ(Document()["readers"][0]["key"], "A1");
  EXPECT_EQ(Document()["readers"][0]["written_at"], "2024-04-01T08:00:00Z");
  ASSERT_EQ(Run({"export"}), 0) << err.str();
  EXPECT_EQ(Document()["settings"]["mode"], "passive");
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace rdrconf::test
