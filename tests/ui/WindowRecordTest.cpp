// The record as the settings window keeps and reads it: each write is
// recorded while the reader is still held, and the line "last written"
// shows the reader's own entry alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <filesystem>

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

  QString LastWritten() const { return Get<QLabel>(id::kLastWritten)->text(); }

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

TEST_F(WindowRecordTest, LastWrittenIsTheReadersOwnEntry) {
  // An earlier version's entry, under the bare serial number, written to
  // the reader at USB port 1-2.
  const std::string record = SettingsRecord::DefaultPath();
  std::filesystem::create_directories(std::filesystem::path(record).parent_path());
  test::WriteBytes(record, R"({"version": 1, "readers": {"A1": {
      "written_at": "2024-04-01T08:00:00Z", "outcome": "done", "path": "/dev/hidraw2", "serial": "A1",
      "usb_port": "1-2", "settings": {"format_index": 7, "mode": "passive", "enter": true, "power_saving": false}}}})");
  host.AddReader("/dev/hidraw1", "A1");  // USB 1-1
  host.AddReader("/dev/hidraw2", "A1");  // USB 1-2, the one it was written to
  Start();
  EXPECT_EQ(LastWritten(), "") << "its twin's entry is not its own";

  // Alone, the reader is known by its serial number wherever it is plugged in.
  host.RemoveInterface("/dev/hidraw2");
  Start();
  EXPECT_TRUE(LastWritten().startsWith("zh:last_written")) << LastWritten().toStdString();
}

}  // namespace
}  // namespace rdrconf
