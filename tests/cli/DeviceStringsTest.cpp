// What a device or a process chooses to call itself reaches the terminal
// only as text: Printable, and every command's lines and messages built
// with it. The JSON keeps the strings as they are.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/Output.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/FakeReaderSides.h"

namespace rdrconf::test {
namespace {

using cli::Printable;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

TEST(PrintableTest, EscapesWhatATerminalActsOnAndKeepsTheText) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"RDR-A1", "RDR-A1"},
      {"", ""},
      {"RDR-\xc3\x84" "1 \xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8 \xf0\x9f\x94\x91", "RDR-\xc3\x84" "1 \xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8 \xf0\x9f\x94\x91"},
      {"\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},                     // clear the screen
      {"\x1b]52;c;SGk=\x07", "\\x1b]52;c;SGk=\\x07"},             // OSC 52: set the clipboard
      {"\x1b]0;title\x1b\\", "\\x1b]0;title\\x1b\\"},             // the window's title
      {"a\nb\rc\td", "a\\nb\\rc\\td"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x7f", "\\x7f"},
      {"\xc2\x9b" "2J \xc2\x80 \xc2\x9f \xc2\xa0", "\\u009b2J \\u0080 \\u009f \xc2\xa0"},  // C1 controls; NBSP stays
      {"\xe2\x80\xae" "gpj.exe \xe2\x80\xa8 \xe2\x81\xa6", "\\u202egpj.exe \\u2028 \\u2066"},  // reordering, separators
      // Bytes that are no UTF-8: alone, cut short, overlong, surrogates, past U+10FFFF.
      {"\xff\x9b\xfe", "\\xff\\x9b\\xfe"},
      {"A\xe8\xaf", "A\\xe8\\xaf"},
      {"\xc0\xaf \xe0\x80\xaf", "\\xc0\\xaf \\xe0\\x80\\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},  // U+10FFFF, the last code point
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(Printable(c.text), c.shown);
    EXPECT_EQ(Printable(Printable(c.text)), c.shown) << "what it gives is printable already";
  }
}

// A reader whose serial number writes the clipboard, whose maker clears the
// screen and whose product name forges a line of `list`.
constexpr char kSerial[] = "A1\x1b]52;c;SGk=\x07";
constexpr char kMaker[] = "\x1b[2J\xc2\x9b" "0m\x7f";
constexpr char kProduct[] = "Reader\n9  /dev/hidraw9  serial FORGED";
constexpr char kSerialShown[] = "A1\\x1b]52;c;SGk=\\x07";

HidInterfaceInfo Hostile(const std::string& path, const std::string& port) {
  HidInterfaceInfo info;
  info.path = path;
  info.vendorId = 0x1D57;
  info.productId = 0xAC08;
  info.serialNumber = kSerial;
  info.manufacturer = kMaker;
  info.product = kProduct;
  info.usbPort = port;
  return info;
}

// No byte in `text` that a terminal acts on: only line breaks and
// printable text.
void ExpectInert(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE((byte >= 0x20 && byte != 0x7f) || byte == '\n') << "byte " << int(byte) << " in:\n" << text;
  }
  EXPECT_THAT(text, Not(HasSubstr("\xc2\x9b")));
}

class DeviceStringsTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    environment.keyboard = [this] { return static_cast<KeyboardSource*>(&keyboard); };
    environment.hotplug = [this] { return static_cast<HotplugSource*>(&hotplug); };
    environment.stopDescriptor = stop.ReadEnd();
  }

  // Runs the program and checks that neither of its outputs could act on
  // the terminal.
  int RunInert(const std::vector<std::string>& arguments) {
    const int code = Run(arguments);
    ExpectInert(out.str());
    ExpectInert(err.str());
    return code;
  }

  FakeKeyboard keyboard;
  FakeHotplug hotplug;
  WatchedPipe stop;
};

TEST_F(DeviceStringsTest, EveryCommandShowsTheDevicesStringsEscaped) {
  host.AddInterface(Hostile("/dev/hidraw1", "1-1"));

  EXPECT_EQ(RunInert({"list"}), 0);
  EXPECT_EQ(out.str(), std::string("0  /dev/hidraw1  serial ") + kSerialShown +
                           "  USB 1-1  \\x1b[2J\\u009b0m\\x7f Reader\\n9  /dev/hidraw9  serial FORGED  access ok\n")
      << "one line for the one reader";

  const std::string name = std::string("/dev/hidraw1 (serial ") + kSerialShown + ", USB 1-1)";
  EXPECT_EQ(RunInert({"set", "--format", "1"}), 0);
  EXPECT_THAT(out.str(), HasSubstr(name + ": set format 8h (1)"));
  EXPECT_EQ(RunInert({"restore"}), 0);
  EXPECT_THAT(out.str(), HasSubstr(name + ": restored the defaults"));
  EXPECT_EQ(RunInert({"set", "--format", "2", "--dry-run"}), 0);
  EXPECT_THAT(out.str(), HasSubstr(name + ": would be set these reports"));
  EXPECT_EQ(RunInert({"show"}), 0);
  EXPECT_THAT(out.str(), HasSubstr(name + ": last written"));
  EXPECT_EQ(RunInert({"list"}), 0);
  keyboard.Type({{TypedKey::Kind::kCharacter, '7', {}}, {TypedKey::Kind::kEnter, 0, {}}});
  EXPECT_EQ(RunInert({"test"}), 0);
  EXPECT_THAT(err.str(), HasSubstr("hold a card to the reader " + name));
  EXPECT_EQ(RunInert({"export"}), 0) << "a profile is JSON";
}

// watch names each reader it gives the profile to: a line for a person, or
// with --json a JSON object a line, which a byte that is no UTF-8 once made
// the JSON library throw, ending the watch.
TEST_F(DeviceStringsTest, WatchNamesTheReadersItConfiguresSafely) {
  const std::string profile = (folder_ / "profile.json").string();
  WriteBytes(profile, R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": true, "power_saving": false}})");
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "text");
    const std::string path = json ? "/dev/hidraw2" : "/dev/hidraw1";
    HidInterfaceInfo reader = Hostile(path, json ? "1-2" : "1-1");
    reader.serialNumber += "\xff";
    hotplug.Announce({HotplugEvent::Action::kAdded, path});
    hotplug.WhenTaken([&] {
      host.AddInterface(reader);
      const char byte = 1;
      stop.Write(&byte, 1);
    });
    std::vector<std::string> arguments{"watch", "--apply", profile};
    if (json) arguments.push_back("--json");
    EXPECT_EQ(RunInert(arguments), 0) << err.str();
    stop.Drain();
    if (json) {
      const Json line = Json::parse(out.str());
      EXPECT_EQ(line["serial"], std::string(kSerial) + "\xef\xbf\xbd");
      EXPECT_EQ(line["outcome"], "done");
    } else {
      EXPECT_EQ(out.str(), std::string("/dev/hidraw1 (serial ") + kSerialShown +
                               "\\xff, USB 1-1): done: format 6h10d (4), Active, Enter, power saving off\n");
    }
  }
}

TEST_F(DeviceStringsTest, MessagesThatNameAReaderShowItEscaped) {
  host.AddInterface(Hostile("/dev/hidraw1", "1-1"));
  host.AddInterface(Hostile("/dev/hidraw2", "1-2"));
  const std::string first = std::string("/dev/hidraw1 (serial ") + kSerialShown + ", USB 1-1)";

  EXPECT_EQ(RunInert({"set", "--format", "1"}), 8);
  EXPECT_THAT(err.str(), HasSubstr("\n  0  " + first + "\n"));
  EXPECT_EQ(RunInert({"set", "--format", "1", "--reader", kSerial}), 8);
  EXPECT_THAT(err.str(), HasSubstr("names several readers"));

  host.FailOpen("/dev/hidraw1", EACCES);
  EXPECT_EQ(RunInert({"set", "--format", "1", "--reader", "/dev/hidraw1"}), 4);
  EXPECT_THAT(err.str(), HasSubstr(first + ": "));
  keyboard.FailOpen(EBUSY);
  EXPECT_EQ(RunInert({"test", "--reader", "/dev/hidraw1"}), 5);
  EXPECT_THAT(err.str(), HasSubstr(first + ": "));

  // The record's own warnings may quote a key, which a reader chose.
  std::filesystem::create_directories(std::filesystem::path(environment.recordPath).parent_path());
  WriteBytes(environment.recordPath, R"({"version": 1, "readers": {"B\n\u001b[2J": {"settings": {}}}})");
  EXPECT_EQ(RunInert({"list", "--quiet"}), 0);
  const std::string warning = err.str();
  EXPECT_THAT(warning, HasSubstr("B\\n\\x1b[2J"));
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << "one line: " << warning;
}

TEST_F(DeviceStringsTest, JsonGivesTheStringsAsTheDeviceGaveThem) {
  host.AddInterface(Hostile("/dev/hidraw1", "1-1"));
  HidInterfaceInfo chinese = Hostile("/dev/hidraw2", "1-2");
  chinese.serialNumber = "RDR-\xc3\x84" "1";
  chinese.product = "\xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8";
  chinese.manufacturer = "bad \xff byte";
  host.AddInterface(chinese);

  EXPECT_EQ(Run({"list", "--json"}), 0);
  EXPECT_THAT(out.str(), AllOf(HasSubstr("\\u001b]52;c;SGk=\\u0007"), Not(HasSubstr("\x1b"))));
  const Json list = Document()["readers"];
  EXPECT_EQ(list[0]["serial"], kSerial);
  EXPECT_EQ(list[0]["manufacturer"], kMaker);
  EXPECT_EQ(list[0]["product"], kProduct);
  EXPECT_EQ(list[1]["serial"], "RDR-\xc3\x84" "1");
  EXPECT_EQ(list[1]["product"], "\xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8");
  EXPECT_EQ(list[1]["manufacturer"], "bad \xef\xbf\xbd byte") << "a byte that is no UTF-8 becomes U+FFFD";

  EXPECT_EQ(Run({"list"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("serial RDR-\xc3\x84" "1  USB 1-2  bad \\xff byte \xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8  access ok"))
      << "text that is no control stays as it is";
}

}  // namespace
}  // namespace rdrconf::test
