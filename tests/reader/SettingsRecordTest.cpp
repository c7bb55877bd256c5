// The record of the settings last written to each reader: where it lives,
// what it holds, that it is replaced atomically, and that a record in any
// bad state is reported and set aside instead of stopping anything.
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

namespace rdrconf {
namespace {

using ::testing::ElementsAre;
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

  void WriteOk(const HidInterfaceInfo& reader, const ReaderParameterBlock& block, Outcome outcome = Outcome::kDone) {
    std::string message;
    ASSERT_TRUE(Record().Write(reader, Settings(block), outcome, kWhen, &message)) << message;
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

TEST_F(SettingsRecordTest, ReadersAreKeyedBySerialElsePort) {
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("A1", "1-1")), "A1");
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("", "1-1.4")), "usb:1-1.4");
  EXPECT_EQ(SettingsRecord::KeyOf(Reader("", "")), "");

  WriteOk(Reader("A1", "1-1"), {5, 1, 0, 0, 0});
  WriteOk(Reader("", "1-2", "/dev/hidraw1"), {9, 0, 1, 1, 0}, Outcome::kStatus);
  // A reader with neither has nothing lasting to be found by again.
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("", ""), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("neither a serial number nor a USB port"));

  const auto entries = Record().Read();
  ASSERT_THAT(entries, UnorderedElementsAre(Key("A1"), Key("usb:1-2")));
  const RecordEntry& serial = entries.at("A1");
  EXPECT_EQ(serial.settings.Block(), (ReaderParameterBlock{5, 1, 0, 0, 0}));
  EXPECT_EQ(serial.outcome, Outcome::kDone);
  EXPECT_EQ(serial.writtenAt, "2024-05-01T12:00:00Z");
  EXPECT_EQ(serial.path, "/dev/hidraw0");
  EXPECT_EQ(serial.usbPort, "1-1");
  const RecordEntry& port = entries.at("usb:1-2");
  EXPECT_EQ(port.settings.Block(), (ReaderParameterBlock{9, 0, 1, 1, 0}));
  EXPECT_EQ(port.outcome, Outcome::kStatus);
  EXPECT_EQ(port.path, "/dev/hidraw1");
}

TEST_F(SettingsRecordTest, FileHoldsTheDocumentedShape) {
  WriteOk(Reader("A1", "1-1"), {5, 1, 1, 0, 0});
  const Json document = Json::parse(test::ReadBytes(Path()));
  EXPECT_EQ(document, Json::parse(R"({"version": 1, "readers": {"A1": {
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
  WriteOk(Reader("A1", "1-3"), {2, 0, 1, 0, 0});

  const auto entries = Record().Read();
  ASSERT_THAT(entries, UnorderedElementsAre(Key("A1"), Key("B2")));
  EXPECT_EQ(entries.at("A1").settings.Block(), (ReaderParameterBlock{2, 0, 1, 0, 0}));
  EXPECT_EQ(entries.at("A1").usbPort, "1-3");
  EXPECT_EQ(entries.at("B2").settings.Block(), (ReaderParameterBlock{1, 0, 0, 1, 0}));
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

TEST_F(SettingsRecordTest, CorruptRecordIsIgnoredWithAWarningAndReplaced) {
  const std::string contents[] = {
      "",
      "{\"version\": 1, \"readers\": {",
      "[]",
      "{\"version\": 1}",
      "{\"version\": 1, \"readers\": []}",
      "{\"version\": \"1\", \"readers\": {}}",
      std::string("\xff\xfe\x00garbage", 10),
  };
  for (const std::string& content : contents) {
    SCOPED_TRACE(content);
    PutFile(content);
    std::string warning;
    EXPECT_THAT(Record().Read(&warning), IsEmpty());
    EXPECT_THAT(warning, HasSubstr("ignoring the settings record " + Path()));

    std::string message;
    EXPECT_TRUE(Record().Write(Reader("A1", "1-1"), Settings({3, 1, 1, 0, 0}), Outcome::kDone, kWhen, &message));
    EXPECT_THAT(message, HasSubstr("replaced"));
    EXPECT_THAT(Record().Read(&warning), ElementsAre(Key("A1")));
    EXPECT_EQ(warning, "");
  }
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
  EXPECT_THAT(Record().Read(), ElementsAre(Key("A1")));
}
#endif

TEST_F(SettingsRecordTest, RecordOfANewerVersionIsLeftAlone) {
  const std::string newer = R"({"version": 2, "readers": {"A1": {"something": "new"}}})";
  PutFile(newer);
  std::string message;
  EXPECT_FALSE(Record().Write(Reader("A1", "1-1"), {}, Outcome::kDone, kWhen, &message));
  EXPECT_THAT(message, HasSubstr("version 2"));
  EXPECT_EQ(test::ReadBytes(Path()), newer);
}

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
  ASSERT_THAT(entries, UnorderedElementsAre(Key("A1"), Key("B2")));
  EXPECT_EQ(entries.at("A1").settings.format, (kWrites - 1) % 13);
  EXPECT_EQ(entries.at("B2").settings.format, (kWrites - 1) % 13);
}

}  // namespace
}  // namespace rdrconf
