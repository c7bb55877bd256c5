// The reader in sight over the real back-ends: udev's hot-plug events (as
// umockdev sends them), hidapi's listing and the two emulated readers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

#include "dialogs/qt/DialogWindow.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/linux/EvdevKeyboard.h"
#include "reader/linux/HidApiHost.h"
#include "reader/linux/ReaderMonitor.h"
#include "reader/SettingsRecord.h"
#include "tests/e2e/ChildProgram.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using emulated::BytesOf;
using emulated::EmulatedHidBus;
using emulated::EmulatedReader;
using emulated::KindsOf;
using emulated::ReportKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace id = settings_id;

class ReaderSightE2E : public test::SettingsWindowFixture {
 protected:
  ReaderSightE2E() : SettingsWindowFixture(host, &monitor, &keyboard) {}

  QString Status() const { return Get<QLabel>(id::kStatus)->text(); }
  bool WaitForStatus(const char* key) {
    return QTest::qWaitFor([&] { return Status() == test::Text("zh", key); }, 5000);
  }

  EmulatedHidBus bus;
  HidApiHost host;
  ReaderMonitor monitor;
  EvdevKeyboard keyboard;
};

TEST_F(ReaderSightE2E, StatusFollowsPluggingAndUnpluggingAndNothingIsSent) {
  ASSERT_TRUE(monitor.IsWatching());
  Start();
  EXPECT_EQ(Status(), test::Text("zh", "status_no_reader"));

  EmulatedReader& reader = bus.AddReader();
  EXPECT_TRUE(WaitForStatus("status_connected")) << Status().toStdString();
  reader.Unplug();
  EXPECT_TRUE(WaitForStatus("status_no_reader")) << Status().toStdString();
  reader.Plug();
  EXPECT_TRUE(WaitForStatus("status_connected")) << Status().toStdString();

  EXPECT_EQ(reader.Opens(), 0) << "the status never opens the reader";
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
}

TEST_F(ReaderSightE2E, WithTwoReadersOnlyThePickedOneReceivesTheExchanges) {
  EmulatedReader& first = bus.AddReader();
  EmulatedReader& second = bus.AddReader();
  Start();
  QComboBox* picker = Get<QComboBox>(id::kReaderPicker);
  ASSERT_TRUE(picker->isVisible());
  EXPECT_EQ(picker->itemText(0), "EMU0001");
  EXPECT_EQ(picker->itemText(1), "EMU0002");
  EXPECT_THAT(KindsOf(first.Reports()), ElementsAre(ReportKind::kOpenNotice));
  EXPECT_THAT(second.Reports(), IsEmpty());

  first.ClearRecords();
  Choose(id::kReaderPicker, 1);
  Choose(id::kMode, 1);
  Press(id::kSetConfig);
  Press(id::kRestoreConfig);
  window->Window().close();
  EXPECT_THAT(KindsOf(second.Reports()),
              ElementsAre(ReportKind::kHeader, ReportKind::kDataChunk, ReportKind::kHeader, ReportKind::kDataChunk,
                          ReportKind::kCloseNotice));
  EXPECT_EQ(first.Opens(), 0);
  EXPECT_THAT(first.FeatureRequests(), IsEmpty());
  EXPECT_EQ(second.Settings(), ReaderParameterBlock::Defaults());
}

// Two cheap readers with one serial number: the picker shows their ports,
// and only the one picked is written.
TEST_F(ReaderSightE2E, OfTwoReadersWithOneSerialNumberOnlyThePickedOneIsWritten) {
  EmulatedReader& first = bus.AddReader({"TWIN", ""});
  EmulatedReader& second = bus.AddReader({"TWIN", ""});
  Start();
  QComboBox* picker = Get<QComboBox>(id::kReaderPicker);
  ASSERT_EQ(picker->count(), 2);
  EXPECT_EQ(picker->itemText(0).toStdString(), "TWIN (USB " + first.UsbName() + ")");
  EXPECT_EQ(picker->itemText(1).toStdString(), "TWIN (USB " + second.UsbName() + ")");

  first.ClearRecords();
  Choose(id::kReaderPicker, 1);
  Choose(id::kMode, 1);
  Press(id::kSetConfig);
  EXPECT_THAT(KindsOf(second.Reports()), ElementsAre(ReportKind::kHeader, ReportKind::kDataChunk));
  EXPECT_EQ(second.Settings().mode, 0) << "Passive";
  EXPECT_EQ(first.Opens(), 0);
  EXPECT_THAT(boxes.Texts(), ElementsAre(test::TextBytes("zh", ui_text::kSysSuccess)));
}

// Device strings reach the window as the device gave them, whatever the
// locale: in the C locale the window shows and records a reader with a
// non-ASCII serial number under what rdrconf-cli (which never sets a
// locale) shows, so the two share one record entry for it.
TEST_F(ReaderSightE2E, InTheCLocaleTheWindowAndTheCommandLineNameAReaderAlike) {
  constexpr char kSerial[] = "RDR-Ä1";
  constexpr char kProduct[] = "读卡器";
  bus.AddReader({kSerial, kProduct});
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  std::remove("RDRCONF.zh-CN.ini");  // the English status line, with its {reader}
  Start();
  EXPECT_EQ(Status().toStdString(), std::string("Reader connected: ") + kSerial);
  Press(id::kSetConfig);
  window.reset();
  std::setlocale(LC_ALL, locale.c_str());

  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::map<std::string, std::string> environment{
      {"LC_ALL", "C"}, {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
  const auto cli = [&](const std::vector<std::string>& arguments) {
    return test::ChildProgram(RDRCONF_CLI_PROGRAM, arguments, environment).Finish();
  };
  const test::ProgramRun list = cli({"list", "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  const nlohmann::json listed = nlohmann::json::parse(list.out, nullptr, false).value("readers", nlohmann::json());
  ASSERT_TRUE(listed.is_array() && listed.size() == 1) << list.out;
  EXPECT_EQ(listed[0]["serial"], kSerial);
  EXPECT_EQ(listed[0]["product"], kProduct);
  EXPECT_FALSE(listed[0]["last_written"].is_null()) << "the window's entry is the command line's";

  const test::ProgramRun set = cli({"set", "--reader", kSerial, "--format", "5"});
  EXPECT_EQ(set.status, 0) << set.err;
  const std::map<std::string, RecordEntry> recorded = SettingsRecord::OfThisUser().Read();
  ASSERT_EQ(recorded.size(), 1u) << "one reader, one entry";
  EXPECT_EQ(recorded.begin()->second.serial, kSerial);
  EXPECT_EQ(recorded.begin()->second.settings.format, 5);
}

TEST_F(ReaderSightE2E, TheKeyboardSideIsFoundUnderTheReadersUsbDevice) {
  bus.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& reader = bus.AddReader();
  ASSERT_FALSE(reader.KeyboardNode().empty());
  EXPECT_EQ(keyboard.FindNode(reader.NodePath()), reader.KeyboardNode());
  EXPECT_EQ(keyboard.FindNode("/dev/hidraw0"), std::nullopt) << "the other device has no keyboard side";

  // The emulated node answers no evdev request: the test says so, holds
  // nothing and sends nothing.
  Start();
  reader.ClearRecords();
  Press(id::kTestScan);
  EXPECT_FALSE(keyboard.IsHeld());
  EXPECT_TRUE(Get<QLabel>(id::kScanResult)->text().startsWith(test::Text("zh", "scan_failed")));
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
}

}  // namespace
}  // namespace rdrconf
