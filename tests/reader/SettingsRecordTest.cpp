// The record of the settings last written to each reader: where it lives,
// what it holds, whose entry is whose, that it is replaced atomically, and
// that a record in any bad state is reported and kept aside (or left alone)
// instead of stopping anything or being lost.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <thread>

#include "reader/SettingsRecord.h"
#include "tests/support/ScratchFolder.h"
#ifndef _WIN32
#include "sqliteprovider/tests/support/WithoutPermissionOverride.h"
#endif

namespace rdrconf {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Key;
using ::testing::UnorderedElementsAre;
using Json = nlohmann::ordered_json;

// 2024-05-01T12:00:00Z
const auto kWhen = std::chrono::system_clock::from_time_t(1714564800);

HidInterfaceInfo Reader(const std::string& serial, const std::string& port, const std::string& path = "/dev/hidraw0") {
  HidInterfaceInfo info;
  info.path = path;
  info.vendorId = kReaderVendorId;
  info.productId = kReaderProductId;
  info.serialNumber = serial;
  info.usbPort = port;
  return info;
}

ReaderSettings Settings(const ReaderParameterBlock& block) { return ReaderSettings::FromBlock(block).value(); }

class SettingsRecordTest : public test::ScratchFolderTest {
 protected:
  std::string Path() const { return (folder_ / "state" / "rdrconf" / "readers.json").string(); }
  SettingsRecord Record() const { return SettingsRecord(Path()); }

  void WriteOk(const HidInterfaceInfo& reader, const ReaderParameterBlock& block, Outcome outcome = Outcome::kDone,
               std::chrono::system_clock::time_point when = kWhen) {
    std::string message;
    ASSERT_TRUE(Record().Write(reader, Settings(block), outcome, when, &message)) << message;
  }
  // The format recorded for `reader` while the readers `present` are
  // connected; -1 when it has no entry.
  int FormatFound(const HidInterfaceInfo& reader, const std::vector<HidInterfaceInfo>& present) const {
    std::vector<ReaderIdentity> identities;
    for (const HidInterfaceInfo& hid : present) identities.push_back(ReaderIdentity{0, hid, true, false});
    const auto entries = Record().Read();
    const auto found = SettingsRecord::Find(entries, reader, identities);
    return found == entries.end() ? -1 : found->second.settings.format;
  }
  void PutFile(const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(Path()).parent_path());
    test::WriteBytes(Path(), content);
  }
  std::set<std::string> RecordFolderEntries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(Path()).parent_path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
};

#ifdef _WIN32
TEST_F(SettingsRecordTest, LivesUnderTheLocalAppDataFolderAndIgnoresRelativeValues) {
  environment_.Set("LOCALAPPDATA", "C:\\Users\\alice\\AppData\\Local");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "C:\\Users\\alice\\AppData\\Local\\rdrconf\\readers.json");
  environment_.Set("LOCALAPPDATA", "Local");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "");
  environment_.Set("LOCALAPPDATA", nullptr);
  EXPECT_EQ(SettingsRecord::DefaultPath(), "");

  std::string message;
  EXPECT_FALSE(SettingsRecord::OfThisUser().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("%LOCALAPPDATA%"));
  EXPECT_THAT(SettingsRecord("").Read(), IsEmpty());
}
#else
TEST_F(SettingsRecordTest, LivesUnderTheStateFolderAndIgnoresRelativeValues) {
  environment_.Set("HOME", "/home/alice");
  environment_.Set("XDG_STATE_HOME", "/var/state/alice");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "/var/state/alice/rdrconf/readers.json");
  environment_.Set("XDG_STATE_HOME", "state");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "/home/alice/.local/state/rdrconf/readers.json");
  environment_.Set("XDG_STATE_HOME", "");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "/home/alice/.local/state/rdrconf/readers.json");
  environment_.Set("HOME", "alice");
  EXPECT_EQ(SettingsRecord::DefaultPath(), "");

  // With no place for it, nothing is recorded, and the caller learns why.
  std::string message;
  EXPECT_FALSE(SettingsRecord::OfThisUser().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("neither XDG_STATE_HOME nor HOME"));
  EXPECT_THAT(SettingsRecord("").Read(), IsEmpty());
}
#endif

TEST_F(SettingsRecordTest, SerialNumbersAndPortsHaveKeySpacesOfTheirOwn) {
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("A1", "1-1")), "serial:A1 usb:1-1");
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("A1", "")), "serial:A1");  // Windows gives no port
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("", "1-1.4")), "usb:1-1.4");
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("usb:1-5", "2-1")), "serial:usb:1-5 usb:2-1");
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("", "")), "");

  WriteOk(Reader("A1", "1-1"), {5, 1, 0, 0, 0});
  WriteOk(Reader("", "1-2", "/dev/hidraw1"), {9, 0, 1, 1, 0}, Outcome::kStatus);
  // A reader with neither has nothing lasting to be found by again.
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("", ""), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("neither a serial number nor a USB port"));

  const auto entries = Record().Read();
  ASSERT_THAT(entries, UnorderedElementsAre(Key("serial:A1 usb:1-1"), Key("usb:1-2")));
  const RecordEntry& serial = entries.at("serial:A1 usb:1-1");
  EXPECT_EQ(serial.settings.Block(), (ReaderParameterBlock{5, 1, 0, 0, 0}));
  EXPECT_EQ(serial.outcome, Outcome::kDone);
  EXPECT_EQ(serial.writtenAt, "2024-05-01T12:00:00Z");
  EXPECT_EQ(serial.path, "/dev/hidraw0");
  EXPECT_EQ(serial.serial, "A1");
  EXPECT_EQ(serial.usbPort, "1-1");
  const RecordEntry& port = entries.at("usb:1-2");
  EXPECT_EQ(port.settings.Block(), (ReaderParameterBlock{9, 0, 1, 1, 0}));
  EXPECT_EQ(port.outcome, Outcome::kStatus);
  EXPECT_EQ(port.path, "/dev/hidraw1");
}

TEST_F(SettingsRecordTest, FileHoldsTheDocumentedShape) {
  WriteOk(Reader("A1", "1-1"), {5, 1, 1, 0, 0});
  const Json document = Json::parse(test::ReadBytes(Path()));
  EXPECT_EQ(document, Json::parse(R"({"version": 1, "readers": {"serial:A1 usb:1-1": {
      "written_at": "2024-05-01T12:00:00Z", "outcome": "done", "path": "/dev/hidraw0",
      "serial": "A1", "usb_port": "1-1",
      "settings": {"format_index": 5, "mode": "active", "enter": true, "power_saving": false}}}})"));
}

TEST_F(SettingsRecordTest, OnlyExchangesThatSucceededAreRecorded) {
  for (const Outcome outcome : {Outcome::kRefused, Outcome::kFailed, Outcome::kBusy, Outcome::kDenied,
                                Outcome::kNoReader}) {
    SCOPED_TRACE(OutcomeName(outcome));
    std::string message;
    EXPECT_FALSE(Record().Write(Reader("A1", "1-1"), {}, outcome, kWhen, &message));
    EXPECT_THAT(message, HasSubstr(OutcomeName(outcome)));
  }
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(SettingsRecordTest, WritingAgainReplacesThatEntryAndKeepsTheOthers) {
  WriteOk(Reader("A1", "1-1"), {5, 1, 1, 0, 0});
  WriteOk(Reader("B2", "1-2"), {1, 0, 0, 1, 0});
  WriteOk(Reader("A1", "1-1", "/dev/hidraw4"), {2, 0, 1, 0, 0});

  const auto entries = Record().Read();
  ASSERT_THAT(entries, UnorderedElementsAre(Key("serial:A1 usb:1-1"), Key("serial:B2 usb:1-2")));
  EXPECT_EQ(entries.at("serial:A1 usb:1-1").settings.Block(), (ReaderParameterBlock{2, 0, 1, 0, 0}));
  EXPECT_EQ(entries.at("serial:A1 usb:1-1").path, "/dev/hidraw4");
  EXPECT_EQ(entries.at("serial:B2 usb:1-2").settings.Block(), (ReaderParameterBlock{1, 0, 0, 1, 0}));
}

// Cheap readers often share one serial number; listing one as configured
// when only its twin was is what the record must never do.
TEST_F(SettingsRecordTest, ReadersWithOneSerialNumberAreToldApartByTheirPort) {
  const HidInterfaceInfo first = Reader("A1", "1-1", "/dev/hidraw1");
  const HidInterfaceInfo second = Reader("A1", "1-2", "/dev/hidraw2");
  WriteOk(first, {5, 1, 1, 0, 0});
  EXPECT_EQ(FormatFound(first, {first, second}), 5);
  EXPECT_EQ(FormatFound(second, {first, second}), -1) << "never configured";

  WriteOk(second, {7, 1, 1, 0, 0});
  EXPECT_EQ(FormatFound(first, {first, second}), 5);
  EXPECT_EQ(FormatFound(second, {first, second}), 7);
  // Alone, each is found by its serial number; of two writes in one second
  // the one at its own port counts.
  EXPECT_EQ(FormatFound(first, {first}), 5);
  EXPECT_EQ(FormatFound(second, {second}), 7);

  // With no port to tell them apart (Windows gives none), neither has one.
  const HidInterfaceInfo firstOffUsb = Reader("A1", "", "/dev/hidraw1");
  const HidInterfaceInfo secondOffUsb = Reader("A1", "", "/dev/hidraw2");
  WriteOk(firstOffUsb, {3, 1, 1, 0, 0});
  EXPECT_EQ(FormatFound(firstOffUsb, {firstOffUsb}), 3);
  EXPECT_EQ(FormatFound(firstOffUsb, {firstOffUsb, secondOffUsb}), -1);
  EXPECT_EQ(FormatFound(secondOffUsb, {firstOffUsb, secondOffUsb}), -1);
}

TEST_F(SettingsRecordTest, SerialNumberThatLooksLikeAPortNeverTakesThatPortsEntry) {
  const HidInterfaceInfo odd = Reader("usb:1-5", "2-1", "/dev/hidraw1");
  const HidInterfaceInfo bare = Reader("", "1-5", "/dev/hidraw2");
  WriteOk(bare, {9, 1, 1, 0, 0});
  EXPECT_EQ(FormatFound(odd, {odd, bare}), -1);
  EXPECT_EQ(FormatFound(bare, {odd, bare}), 9);
  WriteOk(odd, {2, 1, 1, 0, 0});
  EXPECT_EQ(FormatFound(odd, {odd, bare}), 2);
  EXPECT_EQ(FormatFound(bare, {odd, bare}), 9);
  EXPECT_EQ(Record().Read().size(), 2u);
}

TEST_F(SettingsRecordTest, ReaderIsFoundWhereverItIsPluggedInAndItsLatestWriteCounts) {
  WriteOk(Reader("A1", "1-1"), {3, 1, 1, 0, 0}, Outcome::kDone, kWhen);
  WriteOk(Reader("A1", "1-2"), {5, 1, 1, 0, 0}, Outcome::kDone, kWhen + std::chrono::minutes(1));
  EXPECT_EQ(FormatFound(Reader("A1", "1-1"), {Reader("A1", "1-1")}), 5) << "moved back to where it was first written";
  EXPECT_EQ(FormatFound(Reader("A1", "1-3"), {Reader("A1", "1-3")}), 5);
  WriteOk(Reader("A1", "1-1"), {6, 1, 1, 0, 0}, Outcome::kDone, kWhen + std::chrono::minutes(2));
  EXPECT_EQ(FormatFound(Reader("A1", "1-2"), {Reader("A1", "1-2")}), 6);
  // Ports and serial numbers never meet.
  EXPECT_EQ(FormatFound(Reader("", "1-1"), {Reader("", "1-1")}), -1);
}

TEST_F(SettingsRecordTest, RecordOfAnEarlierVersionKeepsItsMeaning) {
  // Earlier versions keyed an entry by the bare serial number, or "usb:"
  // and the port, so a serial number "usb:1-5" took the key of a port.
  PutFile(R"({"version": 1, "readers": {
    "A1": {"written_at": "2024-04-01T08:00:00Z", "outcome": "done", "path": "/dev/hidraw0",
           "serial": "A1", "usb_port": "1-1",
           "settings": {"format_index": 3, "mode": "active", "enter": true, "power_saving": false}},
    "usb:1-5": {"written_at": "2024-04-01T08:00:00Z", "outcome": "done", "path": "/dev/hidraw1",
                "serial": "usb:1-5", "usb_port": "2-1",
                "settings": {"format_index": 7, "mode": "active", "enter": true, "power_saving": false}},
    "usb:1-6": {"written_at": "2024-04-01T08:00:00Z", "outcome": "status", "path": "/dev/hidraw2",
                "serial": "", "usb_port": "1-6",
                "settings": {"format_index": 9, "mode": "active", "enter": true, "power_saving": false}}}})");
  const auto expectMeaning = [this] {
    EXPECT_EQ(FormatFound(Reader("A1", "1-4"), {Reader("A1", "1-4")}), 3);
    EXPECT_EQ(FormatFound(Reader("usb:1-5", "2-1"), {}), 7);
    EXPECT_EQ(FormatFound(Reader("", "1-6"), {}), 9);
  };
  expectMeaning();
  EXPECT_EQ(FormatFound(Reader("", "1-5"), {}), -1);

  // The first write keys every entry anew and loses none.
  WriteOk(Reader("", "1-5"), {1, 1, 1, 0, 0});
  expectMeaning();
  EXPECT_EQ(FormatFound(Reader("", "1-5"), {}), 1);
  const auto entries = Record().Read();
  EXPECT_THAT(entries, UnorderedElementsAre(Key("serial:A1 usb:1-1"), Key("serial:usb:1-5 usb:2-1"), Key("usb:1-6"),
                                            Key("usb:1-5")));
  EXPECT_EQ(entries.at("usb:1-6").outcome, Outcome::kStatus);
  EXPECT_EQ(Json::parse(test::ReadBytes(Path()))["version"], 1);
}

TEST_F(SettingsRecordTest, FileIsReplacedWholeNeverRewrittenInPlace) {
  WriteOk(Reader("A1", "1-1"), {5, 1, 1, 0, 0});
  const std::string before = test::ReadBytes(Path());
  // A second name for the old file: a write in place would change it too.
  const std::string oldFile = (folder_ / "old.json").string();
  std::error_code linked;
  std::filesystem::create_hard_link(Path(), oldFile, linked);
  ASSERT_FALSE(linked) << linked.message();

  WriteOk(Reader("A1", "1-1"), {6, 0, 0, 0, 0});

  EXPECT_EQ(test::ReadBytes(oldFile), before);
  EXPECT_NE(test::ReadBytes(Path()), before);
  EXPECT_THAT(RecordFolderEntries(), ElementsAre("readers.json"));  // no temporary file stays behind
}

TEST_F(SettingsRecordTest, UnusableRecordIsKeptAsideBeforeANewOneIsStarted) {
  const std::string validRecord = R"({"version": 1, "readers": {"serial:B2 usb:1-2": {
      "written_at": "2024-04-01T08:00:00Z", "outcome": "done", "path": "/dev/hidraw1", "serial": "B2",
      "usb_port": "1-2", "settings": {"format_index": 1, "mode": "active", "enter": true, "power_saving": false}}}})";
  const struct {
    std::string content;
    const char* why;
  } cases[] = {
      {"", "it is not valid JSON: syntax error while parsing value - unexpected end of input; expected '[', "
           "'{', or a literal (at line 1, column 1)"},
      {"{\"version\": 1, \"readers\": {", "it is not valid JSON"},
      {"{\"version\": 1, \"readers\": {},}", "it is not valid JSON"},  // one trailing comma
      {std::string("\xff\xfe\x00garbage", 10), "it is not valid JSON"},
      {"[]", "it holds no record of readers"},
      {"{\"version\": 1}", "it holds no record of readers"},
      {"{\"version\": 1, \"readers\": []}", "it holds no record of readers"},
      {"{\"version\": \"1\", \"readers\": {}}", "it holds no record of readers"},
      {"{\"version\": 0, \"readers\": {}}", "it has version 0, this program reads version 1"},
      {validRecord + std::string(4 << 20, ' '), "too large for a record"},  // a valid record padded
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].why);
    PutFile(cases[i].content);
    std::string warning;
    EXPECT_THAT(Record().Read(&warning), IsEmpty());
    EXPECT_EQ(warning.rfind("ignoring the settings record " + Path() + ": " + cases[i].why, 0), 0u) << warning;

    // Each at a time of its own, so each is kept under a name of its own.
    const auto when = kWhen + std::chrono::seconds(i);
    const std::string aside = Path() + ".unusable-20240501T1200" + (i < 10 ? "0" : "") + std::to_string(i) + "Z";
    std::string message;
    EXPECT_TRUE(Record().Write(Reader("A1", "1-1"), Settings({3, 1, 1, 0, 0}), Outcome::kDone, when, &message));
    EXPECT_EQ(message.rfind("the settings record " + Path() + " was unusable (" + cases[i].why, 0), 0u) << message;
    EXPECT_THAT(message, EndsWith("); it is kept as " + aside + " and a new record is started"));
    // Kept whole (read back byte by byte only when small: a sanitized read
    // of 4 MiB takes seconds).
    EXPECT_EQ(std::filesystem::file_size(aside), cases[i].content.size());
    if (cases[i].content.size() < 4096) {
      EXPECT_EQ(test::ReadBytes(aside), cases[i].content);
    }
    EXPECT_THAT(Record().Read(&warning), ElementsAre(Key("serial:A1 usb:1-1")));
    EXPECT_EQ(warning, "");
  }
}

TEST_F(SettingsRecordTest, RecordsKeptAsideInOneSecondTakeNamesOfTheirOwn) {
  for (const char* name : {"readers.json.unusable-20240501T120000Z", "readers.json.unusable-20240501T120000Z-2"}) {
    PutFile(std::string("not a record: ") + name);
    std::string message;
    EXPECT_TRUE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
    EXPECT_THAT(message, HasSubstr("it is kept as " + (std::filesystem::path(Path()).parent_path() / name).string()));
  }
  EXPECT_THAT(RecordFolderEntries(),
              UnorderedElementsAre("readers.json", "readers.json.unusable-20240501T120000Z",
                                   "readers.json.unusable-20240501T120000Z-2"));
  EXPECT_EQ(test::ReadBytes(Path() + ".unusable-20240501T120000Z"),
            "not a record: readers.json.unusable-20240501T120000Z");
}

// A record nested twenty thousand deep (40 KB) overflowed the stack of a
// Debug build when it was written back, after the reader had been
// configured, and at every later set. Far below that, anything deeper than
// a record can be is refused while it is read.
TEST_F(SettingsRecordTest, RecordNestedDeeperThanARecordIsRefusedWhenRead) {
  const std::string deep = "{\"version\": 1, \"readers\": {\"B2\": " + std::string(20000, '[') +
                           std::string(20000, ']') + "}}";
  PutFile(deep);
  std::string warning;
  EXPECT_THAT(Record().Read(&warning), IsEmpty());
  EXPECT_EQ(warning, "ignoring the settings record " + Path() + ": it nests objects and arrays deeper than 8 levels");
  std::string message;
  EXPECT_TRUE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("it is kept as " + Path() + ".unusable-"));
  EXPECT_THAT(Record().Read(), ElementsAre(Key("serial:A1 usb:1-1")));

  // What a later version may add to an entry, four levels below the
  // settings, is kept.
  const std::string roomy = R"({"version": 1, "readers": {"B2": {"serial": "B2", "usb_port": "1-2",
      "written_at": "x", "outcome": "done", "later": {"a": [{"b": [1]}]},
      "settings": {"format_index": 1, "mode": "active", "enter": true, "power_saving": false}}}})";
  PutFile(roomy);
  WriteOk(Reader("A1", "1-1"), {});
  EXPECT_EQ(Json::parse(test::ReadBytes(Path()))["readers"]["serial:B2 usb:1-2"]["later"],
            Json::parse(R"({"a": [{"b": [1]}]})"));
}

TEST_F(SettingsRecordTest, EntryWithoutValidSettingsIsLeftOut) {
  PutFile(R"({"version": 1, "readers": {
    "good": {"written_at": "2024-05-01T12:00:00Z", "outcome": "done",
             "settings": {"format_index": 12, "mode": "passive", "enter": false, "power_saving": true}},
    "format": {"written_at": "x", "outcome": "done",
               "settings": {"format_index": 13, "mode": "active", "enter": true, "power_saving": false}},
    "mode": {"written_at": "x", "outcome": "done",
             "settings": {"format_index": 1, "mode": "sideways", "enter": true, "power_saving": false}},
    "enter": {"written_at": "x", "outcome": "done",
              "settings": {"format_index": 1, "mode": "active", "enter": 1, "power_saving": false}},
    "outcome": {"written_at": "x", "outcome": "refused",
                "settings": {"format_index": 1, "mode": "active", "enter": true, "power_saving": false}},
    "none": {"written_at": "x", "outcome": "done"},
    "text": "hello"}})");
  std::string warning;
  const auto entries = Record().Read(&warning);
  ASSERT_THAT(entries, ElementsAre(Key("good")));
  EXPECT_EQ(entries.at("good").settings.Block(), (ReaderParameterBlock{12, 0, 0, 1, 0}));
  EXPECT_THAT(warning, HasSubstr("holds no valid settings"));

  // Writing keeps the entries it does not understand: they are not its own.
  WriteOk(Reader("A1", "1-1"), {});
  const Json document = Json::parse(test::ReadBytes(Path()));
  EXPECT_EQ(document["readers"].size(), 8u);
}

#ifndef _WIN32
TEST_F(SettingsRecordTest, WhatIsNoRegularFileIsNeverOpenedToBlock) {
  std::filesystem::create_directories(std::filesystem::path(Path()).parent_path());
  ASSERT_EQ(mkfifo(Path().c_str(), 0600), 0);
  std::string warning;
  EXPECT_THAT(Record().Read(&warning), IsEmpty());  // a blocking open would never return
  EXPECT_THAT(warning, HasSubstr("not a regular file"));
  WriteOk(Reader("A1", "1-1"), {});
  EXPECT_THAT(Record().Read(), ElementsAre(Key("serial:A1 usb:1-1")));
  struct stat aside {};
  ASSERT_EQ(stat((Path() + ".unusable-20240501T120000Z").c_str(), &aside), 0);
  EXPECT_TRUE(S_ISFIFO(aside.st_mode)) << "kept aside as it was";
}
#endif

TEST_F(SettingsRecordTest, RecordOfANewerVersionIsLeftAlone) {
  const std::string newer = R"({"version": 2, "readers": {"A1": {"something": "new"}}})";
  PutFile(newer);
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_EQ(message, "not recorded: the settings record " + Path() +
                         " is from a newer rdrconf (it has version 2, this program reads version 1); it is left "
                         "as it is");
  EXPECT_EQ(test::ReadBytes(Path()), newer);
  EXPECT_THAT(RecordFolderEntries(), ElementsAre("readers.json"));
}

#ifndef _WIN32
// A record this user may not read is not corrupt: it may hold every other
// reader's entry. It is left as it is, and the write is not recorded.
TEST_F(SettingsRecordTest, RecordThatCannotBeReadIsLeftAloneAndNothingIsRecorded) {
  WriteOk(Reader("B2", "1-2"), {1, 0, 0, 1, 0});
  const std::string before = test::ReadBytes(Path());
  ASSERT_EQ(chmod(Path().c_str(), 0), 0);
  test::WithoutPermissionOverride asAnyUser;  // root reads whatever the bits say
  ASSERT_EQ(asAnyUser.error(), "");

  std::string warning;
  EXPECT_THAT(Record().Read(&warning), IsEmpty());
  EXPECT_EQ(warning, "ignoring the settings record " + Path() + ": Permission denied");
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_EQ(message, "not recorded: cannot read the settings record " + Path() +
                         ": Permission denied; it is left as it is");
  ASSERT_EQ(chmod(Path().c_str(), 0600), 0);
  EXPECT_EQ(test::ReadBytes(Path()), before);
  EXPECT_THAT(RecordFolderEntries(), ElementsAre("readers.json"));
}
#endif

TEST_F(SettingsRecordTest, FolderThatCannotBeMadeFailsWithTheReason) {
  test::WriteBytes((folder_ / "state").string(), "a file where the folder should be");
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("cannot create the folder " + (folder_ / "state" / "rdrconf").string()));
}

TEST_F(SettingsRecordTest, TwoWritersAtOnceKeepBothEntries) {
  constexpr int kWrites = 25;
  const auto writer = [this](const std::string& serial) {
    for (int i = 0; i < kWrites; ++i) {
      std::string message;
      EXPECT_TRUE(Record().Write(Reader(serial, "1-1"), Settings({static_cast<std::uint8_t>(i % 13), 1, 1, 0, 0}),
                                 Outcome::kDone, kWhen, &message))
          << message;
    }
  };
  std::thread first(writer, "A1");
  std::thread second(writer, "B2");
  first.join();
  second.join();
  const auto entries = Record().Read();
  ASSERT_THAT(entries, UnorderedElementsAre(Key("serial:A1 usb:1-1"), Key("serial:B2 usb:1-1")));
  EXPECT_EQ(entries.at("serial:A1 usb:1-1").settings.format, (kWrites - 1) % 13);
  EXPECT_EQ(entries.at("serial:B2 usb:1-1").settings.format, (kWrites - 1) % 13);
}

}  // namespace
}  // namespace rdrconf
