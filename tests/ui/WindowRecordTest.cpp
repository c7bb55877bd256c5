// The record as the settings window keeps it: each write is recorded while
// the reader is still held.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reader/SettingsRecord.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using ::testing::ElementsAre;
namespace id = settings_id;

class WindowRecordTest : public test::SettingsWindowFixture {
 protected:
  WindowRecordTest() : SettingsWindowFixture(host) {}

  test::FakeHidHost host;
};

// A second program takes the reader as soon as this one lets it go; the
// record written after that could land after the other program's and
// contradict what the reader holds.
TEST_F(WindowRecordTest, EachWriteIsRecordedBeforeTheReaderIsLetGo) {
  host.AddReader("/dev/hidraw1", "A1");
  std::vector<int> formatsAtClose;
  host.OnClose([&](const std::string&) {
    const auto entries = SettingsRecord::OfThisUser().Read();
    formatsAtClose.push_back(entries.empty() ? -1 : entries.begin()->second.settings.format);
  });
  Start();
  Choose(id::kCardnoType, 5);
  Press(id::kSetConfig);
  Press(id::kRestoreConfig);
  // The open notice, the settings, the defaults.
  EXPECT_THAT(formatsAtClose, ElementsAre(-1, 5, ReaderSettings::Defaults().format));
}

}  // namespace
}  // namespace rdrconf
