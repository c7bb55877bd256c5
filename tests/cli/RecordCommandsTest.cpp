// The record as the commands keep it: each write is recorded while the
// reader is still held, so that the record ends up saying what the reader
// last received.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reader/SettingsRecord.h"
#include "tests/cli/CliFixture.h"
#ifndef _WIN32
#include "tests/support/FakeReaderSides.h"
#endif

namespace rdrconf::test {
namespace {

using ::testing::ElementsAre;

constexpr char kFirst[] = "/dev/hidraw3";

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

}  // namespace
}  // namespace rdrconf::test
