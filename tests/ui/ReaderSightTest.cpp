// The reader in sight, below the options of the settings window: the status
// line and the picker follow the listing and hot-plug news without a single
// request to a reader, exchanges go to the chosen reader, and the test scan
// holds the keyboard side only while it runs.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "dialogs/qt/DialogWindow.h"
#include "reader/linux/EvdevKeyboard.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/FakeReaderSides.h"
#include "tests/support/SettingsWindowFixture.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using test::FakeHotplug;
using test::FakeKeyboard;
using test::Report;
using test::Text;
using Kind = FakeHidHost::Kind;
namespace id = settings_id;

const FeatureReport kOpenNotice = Report({0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63});
const FeatureReport kCloseNotice = Report({0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63});

// The keys evdev gives for pressing and releasing each key, as the
// reader's keyboard side makes them out.
std::vector<TypedKey> Keys(std::initializer_list<unsigned> codes) {
  std::vector<TypedKey> keys;
  for (const unsigned code : codes) {
    for (const int value : {1, 0}) {
      input_event event{};
      event.type = EV_KEY;
      event.code = static_cast<__u16>(code);
      event.value = value;
      if (std::optional<TypedKey> key = TypedKeyOf(event)) keys.push_back(*key);
    }
  }
  return keys;
}

class ReaderSightTest : public test::SettingsWindowFixture {
 protected:
  ReaderSightTest() : SettingsWindowFixture(host, &hotplug, &keyboard) {}

  QString Line(int label) const { return Get<QLabel>(label)->text(); }
  QComboBox* Picker() const { return Get<QComboBox>(id::kReaderPicker); }
  // The kinds of the requests since the last clear, leaving out listings.
  std::vector<Kind> RequestsBesidesListing() const {
    std::vector<Kind> kinds;
    for (const Kind kind : host.Kinds()) {
      if (kind != Kind::kList) kinds.push_back(kind);
    }
    return kinds;
  }
  void Plug(const std::string& path, const std::string& serial) {
    host.AddReader(path, serial);
    hotplug.Announce({HotplugEvent::Action::kAdded, path});
  }
  // A reader with the serial number and USB port a test needs.
  void PlugAt(const std::string& path, const std::string& serial, const std::string& port) {
    HidInterfaceInfo info;
    info.path = path;
    info.vendorId = kReaderVendorId;
    info.productId = kReaderProductId;
    info.serialNumber = serial;
    info.usbPort = port;
    host.AddInterface(info);
    hotplug.Announce({HotplugEvent::Action::kAdded, path});
  }
  void Unplug(const std::string& path) {
    host.RemoveInterface(path);
    hotplug.Announce({HotplugEvent::Action::kRemoved, path});
  }
  // How long a test waits for the window's event loop to take what a
  // descriptor brought: generous, for a loaded machine and a sanitizer build.
  static constexpr int kPatienceMs = 10000;

  bool WaitForLine(int label, const QString& text) {
    return QTest::qWaitFor([&] { return Line(label) == text; }, kPatienceMs);
  }
  // Makes the window's timer of `milliseconds` fire now.
  void ElapseTimer(int milliseconds) {
    for (QTimer* timer : window->Window().findChildren<QTimer*>()) {
      if (timer->isActive() && timer->interval() == milliseconds) timer->start(0);
    }
  }

  FakeHidHost host;
  FakeHotplug hotplug;
  FakeKeyboard keyboard;
};

TEST_F(ReaderSightTest, StatusLineTellsEachStateFromTheListingAlone) {
  struct Case {
    const char* name;
    void (*setUp)(FakeHidHost&);
    QString line;
  } const cases[] = {
      {"connected", [](FakeHidHost& h) { h.AddReader("/dev/hidraw0", "SN42"); },
       Text("zh", "status_connected")},
      {"no reader", [](FakeHidHost&) {}, Text("zh", "status_no_reader")},
      {"denied", [](FakeHidHost& h) { h.AddReader("/dev/hidraw0", "SN42"); h.DenyAccess("/dev/hidraw0"); },
       Text("zh", "status_denied")},
      {"busy", [](FakeHidHost& h) { h.AddReader("/dev/hidraw0", "SN42"); h.HoldElsewhere("/dev/hidraw0"); },
       Text("zh", "status_busy")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidHost scenario;
    c.setUp(scenario);
    CardReader cardReader(scenario);
    test::FakeMessageBox shown;
    CRDRCONFNormalDlg dialog(cardReader, shown);
    dialog.Window().show();
    EXPECT_EQ(dialog.Window().ControlAs<QLabel>(id::kStatus)->text(), c.line);
    EXPECT_FALSE(dialog.Window().ControlAs<QComboBox>(id::kReaderPicker)->isVisible()) << "one reader, no picker";
  }
  // The serial number stands in the line: our language file's text lacks
  // the {reader} mark, so the English one shows it.
  std::remove("RDRCONF.zh-CN.ini");
  host.AddReader("/dev/hidraw0", "SN42");
  Start();
  EXPECT_EQ(Line(id::kStatus), "Reader connected: SN42");
}

TEST_F(ReaderSightTest, PluggingAndUnpluggingChangeTheLineAndSendNothing) {
  Start();
  EXPECT_EQ(Line(id::kStatus), Text("zh", "status_no_reader"));
  host.ClearRequests();

  Plug("/dev/hidraw3", "A1");
  EXPECT_TRUE(WaitForLine(id::kStatus, Text("zh", "status_connected")));
  Unplug("/dev/hidraw3");
  EXPECT_TRUE(WaitForLine(id::kStatus, Text("zh", "status_no_reader")));
  EXPECT_TRUE(RequestsBesidesListing().empty()) << "nothing was opened or sent";
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ReaderSightTest, WithSeveralReadersEveryExchangeGoesToThePickedOne) {
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "");  // no serial: known by its USB port
  Start();
  ASSERT_TRUE(Picker()->isVisible());
  ASSERT_EQ(Picker()->count(), 2);
  EXPECT_EQ(Picker()->itemText(0), "A1");
  EXPECT_EQ(Picker()->itemText(1), "USB 1-2");
  EXPECT_EQ(host.OpenedPaths(), std::vector<std::string>{"/dev/hidraw1"}) << "the open notice";

  host.ClearRequests();
  Choose(id::kReaderPicker, 1);
  Press(id::kSetConfig);
  Press(id::kRestoreConfig);
  window->Window().close();
  EXPECT_EQ(host.OpenedPaths(), (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw2", "/dev/hidraw2"}));
  EXPECT_EQ(host.SetReports().back(), kCloseNotice);

  // The pick survives a reader coming and going beside it.
  Start();
  Choose(id::kReaderPicker, 0);
  Plug("/dev/hidraw5", "C3");
  EXPECT_TRUE(QTest::qWaitFor([&] { return Picker()->count() == 3; }, kPatienceMs));
  EXPECT_EQ(Picker()->currentText(), "A1");
  host.ClearRequests();
  Press(id::kSetConfig);
  EXPECT_EQ(host.OpenedPaths(), std::vector<std::string>{"/dev/hidraw1"});

  // Down to one reader, the window is as it always was.
  Unplug("/dev/hidraw1");
  Unplug("/dev/hidraw2");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Picker()->isVisible(); }, kPatienceMs));
  EXPECT_EQ(Line(id::kStatus), Text("zh", "status_connected"));
}

// Cheap readers often share one serial number: the picker tells them apart
// by their USB ports, and an exchange goes to the reader picked, by its node,
// not to the first with its serial number.
TEST_F(ReaderSightTest, ReadersSharingASerialNumberAreToldApartAndThePickedOneIsWritten) {
  PlugAt("/dev/hidraw1", "SAME", "1-1");
  PlugAt("/dev/hidraw2", "SAME", "1-2");
  PlugAt("/dev/hidraw3", "C3", "1-3");
  std::remove("RDRCONF.zh-CN.ini");  // the English status line, with its {reader}
  Start();
  ASSERT_EQ(Picker()->count(), 3);
  EXPECT_EQ(Picker()->itemText(0).toStdString(), "SAME (USB 1-1)");
  EXPECT_EQ(Picker()->itemText(1).toStdString(), "SAME (USB 1-2)");
  EXPECT_EQ(Picker()->itemText(2).toStdString(), "C3") << "a serial number of its own is enough";

  host.ClearRequests();
  Choose(id::kReaderPicker, 1);
  EXPECT_EQ(Line(id::kStatus).toStdString(), "Reader connected: SAME (USB 1-2)");
  Press(id::kSetConfig);
  Press(id::kRestoreConfig);
  EXPECT_EQ(host.OpenedPaths(), (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw2"}));
  const std::string written = "The settings have been written to the reader.";
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{written, written}));
}

// The picked reader stays picked while it is away and when it comes back
// under another node, as long as something tells it apart: its serial
// number when no other reader has it, else its serial number and port. A
// reader that merely gets its node or its serial number is not it.
TEST_F(ReaderSightTest, ThePickFollowsTheReaderToAnotherNode) {
  PlugAt("/dev/hidraw1", "SAME", "1-1");
  PlugAt("/dev/hidraw2", "SAME", "1-2");
  PlugAt("/dev/hidraw3", "C3", "1-3");
  Start();
  const auto pickedAfter = [&](const std::function<void()>& change, int readers) {
    change();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Picker()->count() == readers; }, kPatienceMs));
    host.ClearRequests();
    Press(id::kSetConfig);
    const std::vector<std::string> opened = host.OpenedPaths();
    return opened.empty() ? std::string() : opened.front();
  };

  Choose(id::kReaderPicker, 1);
  EXPECT_EQ(pickedAfter([&] { Unplug("/dev/hidraw2"); }, 2), "/dev/hidraw1") << "away: the first is shown";
  EXPECT_EQ(pickedAfter([&] { PlugAt("/dev/hidraw7", "SAME", "1-2"); }, 3), "/dev/hidraw7");
  EXPECT_EQ(Picker()->currentText().toStdString(), "SAME (USB 1-2)");
  // Its twin at another port is not it, even on its old node.
  EXPECT_EQ(pickedAfter([&] { Unplug("/dev/hidraw7"); }, 2), "/dev/hidraw1");
  EXPECT_EQ(pickedAfter([&] { PlugAt("/dev/hidraw7", "SAME", "1-5"); }, 3), "/dev/hidraw1");

  // A serial number of its own follows the reader to another port.
  Choose(id::kReaderPicker, 1);
  ASSERT_EQ(Picker()->currentText().toStdString(), "C3");
  EXPECT_EQ(pickedAfter([&] { Unplug("/dev/hidraw3"); }, 2), "/dev/hidraw1");
  EXPECT_EQ(pickedAfter([&] { PlugAt("/dev/hidraw3", "D4", "1-3"); }, 3), "/dev/hidraw1")
      << "another reader on its node and port";
  EXPECT_EQ(pickedAfter([&] { PlugAt("/dev/hidraw9", "C3", "1-9"); }, 4), "/dev/hidraw9");
  EXPECT_EQ(Picker()->currentText().toStdString(), "C3");
}

TEST_F(ReaderSightTest, WhatWasWrittenLastShowsForThatReader) {
  host.AddReader("/dev/hidraw1", "A1");
  Start();
  EXPECT_EQ(Line(id::kLastWritten), "");
  Choose(id::kCardnoType, 5);  // 8h10d
  Choose(id::kMode, 1);
  Press(id::kSetConfig);
  const std::string line = Line(id::kLastWritten).toStdString();
  EXPECT_EQ(line.rfind("zh:last_written", 0), 0u) << line;
  // It is kept in the record that rdrconf-cli shares, so the next start
  // shows it, and a write the reader refused changes nothing.
  Start();
  EXPECT_EQ(Line(id::kLastWritten).toStdString(), line);
  host.QueueAnswer({0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});
  Choose(id::kCardnoType, 0);
  Press(id::kSetConfig);
  EXPECT_EQ(Line(id::kLastWritten).toStdString(), line);
  EXPECT_TRUE(std::filesystem::exists(folder_ / "home/.local/state/rdrconf/readers.json"));

  std::remove("RDRCONF.zh-CN.ini");  // the English text, with its {settings}
  Start();
  Choose(id::kCardnoType, 5);
  Choose(id::kMode, 1);
  Choose(id::kEnter, 1);
  Press(id::kSetConfig);
  EXPECT_TRUE(Line(id::kLastWritten).startsWith(
      "Last written from this computer: 8h10d, Passive, No-Enter, power saving off, 20"))
      << Line(id::kLastWritten).toStdString();
}

TEST_F(ReaderSightTest, TestScanShowsWhatTheReaderTypedAndHoldsItsKeyboardOnlyWhileItRuns) {
  std::remove("RDRCONF.zh-CN.ini");  // English texts, to read the result
  host.AddReader("/dev/hidraw1", "A1");
  Start();
  ASSERT_TRUE(Get<QPushButton>(id::kTestScan)->isEnabled());
  Press(id::kTestScan);
  EXPECT_TRUE(keyboard.IsHeld());
  EXPECT_EQ(keyboard.SearchedFor(), "/dev/hidraw1");
  EXPECT_EQ(Get<QPushButton>(id::kTestScan)->text(), "Stop the test");

  // Whatever the layout: key codes, with shift and releases in between.
  keyboard.Type(Keys({KEY_1, KEY_LEFTSHIFT, KEY_A, KEY_0, KEY_F, KEY_KP9, KEY_ENTER}));
  EXPECT_TRUE(WaitForLine(id::kScanResult, "Read: 1A0F9 (5 characters, Enter)"))
      << Line(id::kScanResult).toStdString();

  // Without Enter, the number ends when the keys stop; another key is named.
  keyboard.Type(Keys({KEY_4, KEY_X}));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    ElapseTimer(600);
    return Line(id::kScanResult) == "Read: 4<KEY_X> (2 characters, no Enter)";
  }, kPatienceMs));
  EXPECT_TRUE(keyboard.IsHeld()) << "the test goes on for the next card";

  Press(id::kTestScan);
  EXPECT_FALSE(keyboard.IsHeld());
  EXPECT_EQ(keyboard.Releases(), 1);
  EXPECT_TRUE(host.SetReports() == std::vector<FeatureReport>{kOpenNotice}) << "a scan sends nothing";
}

TEST_F(ReaderSightTest, TestScanLetsGoWhenTheWindowClosesAndAfterThirtySecondsWithoutACard) {
  host.AddReader("/dev/hidraw1", "A1");
  Start();
  Press(id::kTestScan);
  ASSERT_TRUE(keyboard.IsHeld());
  window->Window().close();
  EXPECT_FALSE(keyboard.IsHeld());

  Start();
  Press(id::kTestScan);
  ASSERT_TRUE(keyboard.IsHeld());
  QTest::keyClick(Get<QComboBox>(id::kCardType), Qt::Key_Escape);  // ends the window, no close request
  EXPECT_FALSE(keyboard.IsHeld());

  Start();
  Press(id::kTestScan);
  ASSERT_TRUE(keyboard.IsHeld());
  EXPECT_TRUE(QTest::qWaitFor([&] {
    ElapseTimer(30000);
    return !keyboard.IsHeld();
  }, kPatienceMs));
  EXPECT_EQ(Line(id::kScanResult), Text("zh", "scan_timeout"));
  EXPECT_EQ(keyboard.Grabs(), 3);
  EXPECT_EQ(keyboard.Releases(), 3);
}

// A reader pulled out during the test: its keyboard side's node hangs up
// and stays readable. The scan ends at once and says why, and the window
// stops watching the node instead of reading it until the card timer ends.
TEST_F(ReaderSightTest, UnpluggingTheReaderEndsTheTestScanAtOnce) {
  host.AddReader("/dev/hidraw1", "A1");
  Start();
  Press(id::kTestScan);
  ASSERT_TRUE(keyboard.IsHeld());
  keyboard.Type(Keys({KEY_4, KEY_2}));  // half a number, then the reader goes
  keyboard.Unplug();
  Unplug("/dev/hidraw1");

  EXPECT_TRUE(WaitForLine(id::kScanResult, Text("zh", "scan_unplugged"))) << Line(id::kScanResult).toStdString();
  EXPECT_FALSE(keyboard.IsHeld());
  EXPECT_EQ(keyboard.Releases(), 1);
  EXPECT_EQ(Get<QPushButton>(id::kTestScan)->text().toStdString(), "zh:test_card");
  EXPECT_TRUE(WaitForLine(id::kStatus, Text("zh", "status_no_reader")));
  const int reads = keyboard.Reads();
  for (int turn = 0; turn < 20; ++turn) QCoreApplication::processEvents();
  EXPECT_EQ(keyboard.Reads(), reads) << "the hung-up node is no longer watched";
  for (const QTimer* timer : window->Window().findChildren<QTimer*>()) {
    EXPECT_FALSE(timer->isActive() && timer->interval() == 30000) << "the card timer is stopped";
  }
}

TEST_F(ReaderSightTest, TestScanSaysWhyItCannotStart) {
  host.AddReader("/dev/hidraw1", "A1");
  keyboard.HaveNoNode();
  Start();
  Press(id::kTestScan);
  EXPECT_FALSE(keyboard.IsHeld());
  EXPECT_EQ(Line(id::kScanResult), Text("zh", "scan_no_keyboard"));

  FakeKeyboard locked;
  locked.FailOpen(EACCES);
  CardReader cardReader(host, nullptr, &locked);
  test::FakeMessageBox shown;
  CRDRCONFNormalDlg dialog(cardReader, shown);
  dialog.Window().show();
  dialog.Window().ControlAs<QPushButton>(id::kTestScan)->click();
  EXPECT_EQ(dialog.Window().ControlAs<QLabel>(id::kScanResult)->text(),
            Text("zh", "scan_failed") + "\ncannot open " + FakeKeyboard::kNode);
}

TEST_F(ReaderSightTest, NewControlsComeAfterTheOptionsInTheTabOrder) {
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "B2");
  Start();
  const std::vector<int> tabOrder = {id::kCardType,     id::kCardnoType, id::kMode,         id::kEnter,
                                     id::kPowerSaving,  id::kSetConfig,  id::kRestoreConfig, id::kReaderPicker,
                                     id::kTestScan};
  QWidget* at = window->Window().Control(tabOrder.front());
  for (std::size_t i = 1; i < tabOrder.size(); ++i) {
    QWidget* next = at->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus || !next->isVisibleTo(&window->Window())) next = next->nextInFocusChain();
    EXPECT_EQ(next, window->Window().Control(tabOrder[i])) << "after control " << tabOrder[i - 1];
    at = next;
  }
}

}  // namespace
}  // namespace rdrconf
