// The reader in sight over the real back-ends: udev's hot-plug events (as
// umockdev sends them), hidapi's listing and the two emulated readers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "dialogs/qt/DialogWindow.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/linux/EvdevKeyboard.h"
#include "reader/linux/HidApiHost.h"
#include "reader/linux/ReaderMonitor.h"
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
  EXPECT_EQ(boxes.Texts().join('|').toStdString(), "zh:sys_success");
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
