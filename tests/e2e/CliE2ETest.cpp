// The real rdrconf-cli program, started as a child process, against readers
// emulated as hidraw devices: what each reader receives, byte for byte,
// what the program says and exits with, and that no other device is ever
// opened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstring>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"
#include "reader/SettingsRecord.h"
#include "tests/e2e/ChildProgram.h"

namespace rdrconf {
namespace {

using emulated::BytesOf;
using emulated::EmulatedHidBus;
using emulated::EmulatedHidDevice;
using emulated::EmulatedReader;
using emulated::FeatureRequest;
using emulated::KindsOf;
using emulated::ReaderBehaviour;
using emulated::ReportKind;
using test::ChildProgram;
using test::ProgramRun;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Json = nlohmann::json;

constexpr FeatureRequest kSet = FeatureRequest::kSet;
constexpr FeatureRequest kGet = FeatureRequest::kGet;

const FeatureReport kOpenNotice{0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
const FeatureReport kHeader{0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63};
const FeatureReport kCloseNotice{0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};

FeatureReport ChunkOf(const ReaderParameterBlock& block) {
  return {0x00, block.cardno_type, block.mode, block.enter, block.power_saving, 0x00, 0x00, 0x00, 0x00};
}

std::string Trace(const EmulatedHidDevice& device) {
  std::string text;
  for (const emulated::ReceivedReport& report : device.Reports()) {
    text += "  " + emulated::Hex(report.bytes.data(), report.bytes.size()) + "   " + emulated::DescribeReport(report) + "\n";
  }
  return text;
}

class CliE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "rdrconf-cli-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    std::filesystem::create_directories(folder_ / "home");
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Each test has a home and a state folder of its own, so that no test
  // reads or writes a real user's record.
  std::map<std::string, std::string> Environment() const {
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {{"HOME", (folder_ / "home").string()},
            {"XDG_STATE_HOME", (folder_ / "state").string()},
            // Nor the machine's own profile and record.
            {"CONFIGURATION_DIRECTORY", (folder_ / "etc").string()},
            {"STATE_DIRECTORY", (folder_ / "lib").string()},
            // The preload comes before the sanitizer's runtime under the wrapper.
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
  }

  std::unique_ptr<ChildProgram> Start(const std::vector<std::string>& arguments) const {
    return std::make_unique<ChildProgram>(RDRCONF_CLI_PROGRAM, arguments, Environment());
  }
  ProgramRun Cli(const std::vector<std::string>& arguments) const { return Start(arguments)->Finish(); }

  static Json Parse(const ProgramRun& run) {
    Json document = Json::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "stdout is not one JSON document:\n" << run.out << run.err;
    return document;
  }

  // The record's entries by their reader's serial number.
  std::map<std::string, RecordEntry> Recorded() const {
    std::map<std::string, RecordEntry> bySerial;
    for (const auto& [key, entry] : SettingsRecord((folder_ / "state" / "rdrconf" / "readers.json").string()).Read()) {
      bySerial.emplace(entry.serial, entry);
    }
    return bySerial;
  }

  EmulatedHidBus bus_;
  std::filesystem::path folder_;
};

TEST_F(CliE2E, ListShowsTheReadersAndOpensNothing) {
  EmulatedHidDevice& keyboard = bus_.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& first = bus_.AddReader();
  EmulatedReader& second = bus_.AddReader();

  const ProgramRun run = Cli({"list", "--json"});

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Parse(run), Json::parse(R"({"schema_version": 1, "readers": [
      {"index": 0, "path": ")" + first.NodePath() + R"(", "serial": "EMU0002", "manufacturer": "Emulated",
       "product": "Emulated card reader", "usb_port": "1-2", "access": "ok", "last_written": null,
       "system_last_written": null, "system_written_at": null},
      {"index": 1, "path": ")" + second.NodePath() + R"(", "serial": "EMU0003", "manufacturer": "Emulated",
       "product": "Emulated card reader", "usb_port": "1-3", "access": "ok", "last_written": null,
       "system_last_written": null, "system_written_at": null}]})"));
  for (const EmulatedHidDevice* device : {&keyboard, static_cast<EmulatedHidDevice*>(&first),
                                          static_cast<EmulatedHidDevice*>(&second)}) {
    EXPECT_EQ(device->Opens(), 0);
    EXPECT_THAT(device->FeatureRequests(), IsEmpty());
  }
}

TEST_F(CliE2E, SetSendsOneWindowSessionByteForByte) {
  EmulatedHidDevice& keyboard = bus_.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& reader = bus_.AddReader();

  const ProgramRun run = Cli({"set", "--format", "8h10d", "--enter", "off"});

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, reader.NodePath() + " (serial EMU0002, USB 1-2): set format 8h10d (5), Active, No-Enter, "
                                         "power saving off\n");
  EXPECT_EQ(run.err, "");
  const ReaderParameterBlock block{5, 1, 0, 0, 0};
  EXPECT_THAT(BytesOf(reader.Reports()), ElementsAre(kOpenNotice, kHeader, ChunkOf(block), kCloseNotice))
      << Trace(reader);
  EXPECT_THAT(reader.FeatureRequests(), ElementsAre(kSet, kGet, kSet, kGet, kSet, kSet, kGet));
  EXPECT_EQ(reader.Opens(), 3);  // a handle of its own for each exchange
  EXPECT_EQ(reader.Settings(), block);
  EXPECT_EQ(keyboard.Opens(), 0);
  EXPECT_EQ(Recorded().at("EMU0002").settings.Block(), block);

  // What the record now says, through the program.
  const ProgramRun shown = Cli({"show", "--json"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(Parse(shown)["readers"][0]["last_written"],
            Json::parse(R"({"format": "8h10d", "format_index": 5, "mode": "active", "enter": false,
                            "power_saving": false})"));
}

TEST_F(CliE2E, RestorePutsTheDefaultsBack) {
  EmulatedReader& reader = bus_.AddReader();
  ASSERT_EQ(Cli({"set", "--format", "IC format 11", "--mode", "passive", "--power-saving", "on"}).status, 0);
  EXPECT_EQ(reader.Settings(), (ReaderParameterBlock{11, 0, 1, 1, 0}));
  reader.ClearRecords();

  const ProgramRun run = Cli({"restore", "--json"});

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(kOpenNotice, kHeader, ChunkOf(ReaderParameterBlock::Defaults()), kCloseNotice));
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
  EXPECT_EQ(Parse(run)["readers"][0]["settings"]["format"], "6h10d");
}

TEST_F(CliE2E, AllConfiguresEveryReaderAndOpensNoOtherDevice) {
  EmulatedReader& first = bus_.AddReader();
  EmulatedHidDevice& between = bus_.AddOtherDevice(0x1D57, 0x0001);  // same maker, another product
  EmulatedReader& second = bus_.AddReader();

  const ProgramRun run = Cli({"set", "--all", "--format", "2", "--mode", "passive", "--json"});

  ASSERT_EQ(run.status, 0) << run.err;
  const Json document = Parse(run);
  EXPECT_EQ(document["outcome"], "done");
  ASSERT_EQ(document["readers"].size(), 2u);
  EXPECT_EQ(document["readers"][0]["path"], first.NodePath());
  EXPECT_EQ(document["readers"][1]["path"], second.NodePath());
  const ReaderParameterBlock block{2, 0, 1, 0, 0};
  for (EmulatedReader* reader : {&first, &second}) {
    EXPECT_EQ(reader->Settings(), block);
    EXPECT_THAT(BytesOf(reader->Reports()), ElementsAre(kOpenNotice, kHeader, ChunkOf(block), kCloseNotice));
  }
  EXPECT_EQ(between.Opens(), 0);
}

TEST_F(CliE2E, SelectionConfiguresOnlyTheReaderItNames) {
  EmulatedReader& first = bus_.AddReader();
  EmulatedReader& second = bus_.AddReader();

  // Without a selection nothing is sent, and the readers are named.
  const ProgramRun refused = Cli({"set", "--format", "1"});
  EXPECT_EQ(refused.status, 8);
  EXPECT_THAT(refused.err, HasSubstr(first.NodePath()));
  EXPECT_THAT(refused.err, HasSubstr(second.NodePath()));
  EXPECT_EQ(first.Opens() + second.Opens(), 0);

  const struct {
    std::string selection;
    EmulatedReader* chosen;
    EmulatedReader* other;
  } cases[] = {{second.NodePath(), &second, &first}, {"EMU0001", &first, &second}, {"1", &second, &first}};
  std::uint8_t format = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selection);
    first.ClearRecords();
    second.ClearRecords();
    ++format;
    const ProgramRun run = Cli({"set", "--format", std::to_string(format), "--reader", c.selection});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(c.chosen->Settings().cardno_type, format);
    EXPECT_EQ(c.chosen->Opens(), 3);
    EXPECT_EQ(c.other->Opens(), 0);
  }
}

// Cheap readers often share a serial number: --reader with it names both,
// is refused, and lists them by what tells them apart.
TEST_F(CliE2E, SerialThatTwoReadersShareIsRefusedAndTheyAreListed) {
  EmulatedReader& first = bus_.AddReader({"SAME", ""});
  EmulatedReader& second = bus_.AddReader({"SAME", ""});

  const ProgramRun run = Cli({"set", "--format", "1", "--reader", "SAME"});

  EXPECT_EQ(run.status, 8) << run.err;
  EXPECT_EQ(run.err, "rdrconf-cli: --reader SAME names several readers; name one by its path:\n"
                     "  0  " + first.NodePath() + " (serial SAME, USB 1-1)\n"
                     "  1  " + second.NodePath() + " (serial SAME, USB 1-2)\n");
  EXPECT_EQ(first.Opens() + second.Opens(), 0);
}

// Device strings reach the command line as the device gave them, UTF-8,
// whatever the locale: under LC_ALL=C they were once lost, so --reader
// found nothing and the record key fell back to the USB port, unlike the
// window's.
TEST_F(CliE2E, NonAsciiSerialAndProductWorkUnderTheCLocale) {
  const std::string serial = "RDR-\xc3\x84" "1";          // RDR-Ä1
  const std::string product = "\xe8\xaf\xbb\xe5\x8d\xa1\xe5\x99\xa8";  // 读卡器
  bus_.AddReader({"OTHER", ""});
  EmulatedReader& reader = bus_.AddReader({serial, product});
  std::map<std::string, std::string> locale = Environment();
  locale["LC_ALL"] = "C";

  ProgramRun run = ChildProgram(RDRCONF_CLI_PROGRAM, {"list", "--json"}, locale).Finish();
  ASSERT_EQ(run.status, 0) << run.err;
  const Json list = Parse(run)["readers"];
  EXPECT_EQ(list[1]["serial"], serial);
  EXPECT_EQ(list[1]["product"], product);
  run = ChildProgram(RDRCONF_CLI_PROGRAM, {"list"}, locale).Finish();
  EXPECT_THAT(run.out, HasSubstr("serial " + serial + "  USB 1-2  Emulated " + product + "  access ok"));

  run = ChildProgram(RDRCONF_CLI_PROGRAM, {"set", "--format", "3", "--reader", serial}, locale).Finish();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(reader.Settings().cardno_type, 3);

  // The record key is the one the window computes from its own listing.
  HidApiHost host;
  const ReaderIdentity listed = CardReader(host).ListReaders().at(1);
  ASSERT_EQ(listed.hid.serialNumber, serial);
  const std::map<std::string, RecordEntry> recorded =
      SettingsRecord((folder_ / "state" / "rdrconf" / "readers.json").string()).Read();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded.begin()->first, SettingsRecord::KeyOf(listed.hid));
  EXPECT_EQ(recorded.begin()->second.serial, serial);
}

TEST_F(CliE2E, NoReaderExits3AndOpensNothing) {
  EmulatedHidDevice& keyboard = bus_.AddOtherDevice(0x046D, 0xC31C);

  ProgramRun run = Cli({"set", "--format", "1", "--json"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(Parse(run), Json::parse(R"({"schema_version": 1, "outcome": "no_reader", "message": "no reader 1d57:ac08 is connected", "readers": []})"));
  EXPECT_THAT(run.err, HasSubstr("no reader 1d57:ac08 is connected"));

  run = Cli({"list"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");

  EmulatedReader& reader = bus_.AddReader();
  run = Cli({"restore", "--reader", "EMU9999"});
  EXPECT_EQ(run.status, 3);
  EXPECT_THAT(run.err, HasSubstr("no reader matches --reader EMU9999"));
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_EQ(keyboard.Opens(), 0);
}

TEST_F(CliE2E, RefusalExits6AndSendsNoChunk) {
  EmulatedReader& reader = bus_.AddReader();
  reader.SetBehaviour(ReaderBehaviour::kRefuse);

  const ProgramRun run = Cli({"set", "--format", "5", "--json"});

  EXPECT_EQ(run.status, 6) << run.err;
  const Json document = Parse(run);
  EXPECT_EQ(document["outcome"], "refused");
  EXPECT_EQ(document["readers"][0]["failed_request"], "answer");
  EXPECT_EQ(document["readers"][0]["recorded"], false);
  EXPECT_THAT(run.err, HasSubstr("the reader refused the command: eight 0xAA bytes as the answer to the command header"));
  EXPECT_THAT(BytesOf(reader.Reports()), ElementsAre(kOpenNotice, kHeader, kCloseNotice));
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(CliE2E, StatusAnswerExits0WithANote) {
  EmulatedReader& reader = bus_.AddReader();
  reader.SetBehaviour(ReaderBehaviour::kStatus);

  const ProgramRun run = Cli({"set", "--format", "5", "--json"});

  EXPECT_EQ(run.status, 0) << run.err;
  const Json document = Parse(run);
  EXPECT_EQ(document["outcome"], "status");
  EXPECT_EQ(document["readers"][0]["failed_request"], nullptr);
  EXPECT_THAT(run.err, HasSubstr("took no settings block"));
  EXPECT_THAT(KindsOf(reader.Reports()),
              ElementsAre(ReportKind::kOpenNotice, ReportKind::kHeader, ReportKind::kCloseNotice));
  EXPECT_EQ(Recorded().at("EMU0001").outcome, Outcome::kStatus);
}

TEST_F(CliE2E, DryRunOpensNothing) {
  EmulatedReader& reader = bus_.AddReader();
  const ProgramRun run = Cli({"set", "--format", "10h10d", "--dry-run", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Parse(run)["readers"][0]["reports"][2], "00 06 01 01 00 00 00 00 00");
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
}

TEST_F(CliE2E, ReaderHeldByAnotherProgramIsBusyAndDoctorNamesIt) {
  EmulatedReader& reader = bus_.AddReader();
  HidApiHost host;
  CardReader link(host);
  ReaderHandle held = link.OpenReader();
  ASSERT_TRUE(held.IsOpen());
  reader.ClearRecords();

  const ProgramRun busy = Cli({"set", "--format", "1", "--json"});
  EXPECT_EQ(busy.status, 5) << busy.err;
  EXPECT_EQ(Parse(busy)["readers"][0]["outcome"], "busy");
  EXPECT_THAT(reader.Reports(), IsEmpty());

  const ProgramRun doctor = Cli({"doctor", "--json"});
  const Json document = Parse(doctor);
  std::string ourName;
  std::getline(std::ifstream("/proc/self/comm"), ourName);
  const auto held_check = std::find_if(document["checks"].begin(), document["checks"].end(),
                                       [](const Json& check) { return check["check"] == "not_held"; });
  ASSERT_NE(held_check, document["checks"].end()) << doctor.out;
  EXPECT_EQ((*held_check)["ok"], false);
  EXPECT_EQ((*held_check)["holders"], Json::parse(R"([{"pid": )" + std::to_string(getpid()) + R"(, "name": ")" +
                                                  ourName + R"("}])"));

  held.Close();
  EXPECT_EQ(Cli({"set", "--format", "1"}).status, 0);
  EXPECT_EQ(reader.Settings().cardno_type, 1);
}

TEST_F(CliE2E, TwoProgramsAtOnceNeverInterleaveTheirFrames) {
  EmulatedReader& reader = bus_.AddReader();
  const ReaderParameterBlock blocks[2] = {{1, 0, 0, 1, 0}, {7, 1, 1, 0, 0}};
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    reader.ClearRecords();
    const ReaderParameterBlock before = reader.Settings();
    const auto a = Start({"set", "--format", "1", "--mode", "passive", "--enter", "off", "--power-saving", "on"});
    const auto b = Start({"set", "--format", "7"});
    const ProgramRun runs[2] = {a->Finish(), b->Finish()};

    int succeeded = 0;
    std::vector<ReaderParameterBlock> taken;
    for (int i = 0; i < 2; ++i) {
      EXPECT_THAT(runs[i].status, AnyOf(0, 5)) << runs[i].err;
      if (runs[i].status == 0) {
        ++succeeded;
        taken.push_back(blocks[i]);
      }
    }
    // Each exchange holds the reader alone, so the two sessions may take
    // turns exchange by exchange: a program whose command found the reader
    // held exits 5 and its block is not written. Both may lose so; then
    // the reader keeps what it had.
    if (succeeded == 0) {
      EXPECT_EQ(reader.Settings(), before);
    } else {
      EXPECT_THAT(taken, ::testing::Contains(reader.Settings()));
    }

    // Every header is followed at once by its chunk: no frame of the other
    // program comes between them.
    const std::vector<emulated::ReceivedReport> reports = reader.Reports();
    int headers = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
      if (reports[i].kind == ReportKind::kHeader) {
        ++headers;
        ASSERT_LT(i + 1, reports.size()) << Trace(reader);
        EXPECT_EQ(reports[i + 1].kind, ReportKind::kDataChunk) << Trace(reader);
      }
      if (reports[i].kind == ReportKind::kDataChunk) {
        EXPECT_TRUE(i > 0 && reports[i - 1].kind == ReportKind::kHeader) << Trace(reader);
      }
    }
    EXPECT_EQ(headers, succeeded) << Trace(reader);
  }
}

}  // namespace
}  // namespace rdrconf

namespace rdrconf {
namespace {

// A reader plugged in while watch runs gets the profile; the one that was
// there before is left alone; a reader unplugged and plugged again counts
// as new. SIGTERM ends the watch cleanly.
TEST_F(CliE2E, WatchConfiguresReadersPluggedInLaterAndLeavesTheOthersAlone) {
  EmulatedReader& present = bus_.AddReader();
  const std::filesystem::path profile = folder_ / "profile.json";
  std::ofstream(profile) << R"({"rdrconf_profile": 1, "settings": )"
                         << R"({"format_index": 5, "mode": "passive", "enter": false, "power_saving": true}})";
  const ReaderParameterBlock wanted{5, 0, 0, 1, 0};

  const std::unique_ptr<ChildProgram> watch = Start({"watch", "--apply", profile.string()});
  ASSERT_TRUE(watch->WaitForError("watching for readers", 10000));
  EmulatedReader& later = bus_.AddReader();
  // Waits (at most 5 s) until the reader has received a whole session.
  const auto session = [](EmulatedReader& reader) {
    for (int i = 0; i < 500 && reader.Reports().size() < 4; ++i) usleep(10000);
    return KindsOf(reader.Reports());
  };
  const std::vector<ReportKind> whole{ReportKind::kOpenNotice, ReportKind::kHeader, ReportKind::kDataChunk,
                                      ReportKind::kCloseNotice};
  EXPECT_EQ(session(later), whole);
  EXPECT_EQ(later.Settings(), wanted) << DescribeBlock(later.Settings());
  later.ClearRecords();
  later.Unplug();
  later.Plug();
  EXPECT_EQ(session(later), whole) << "the replugged reader is written again";

  watch->Signal(SIGTERM);
  const ProgramRun run = watch->Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("stopped watching"));
  EXPECT_EQ(present.Opens(), 0) << "the reader that was there is left alone";
  EXPECT_THAT(present.Reports(), IsEmpty());
  ASSERT_EQ(Recorded().count("EMU0002"), 1u) << "each write goes into the record";
  EXPECT_EQ(Recorded().at("EMU0002").settings.Block(), wanted);
}

// apply, as the system unit runs it and as a person or a fleet tool does.
class ApplyE2E : public CliE2E {
 protected:
  static constexpr char kProfile[] =
      R"({"rdrconf_profile": 1, "settings": {"format": "8h10d", "mode": "passive", "enter": false,
          "power_saving": true}})";
  static constexpr ReaderParameterBlock kProfileBlock{5, 0, 0, 1, 0};

  void SetUp() override {
    CliE2E::SetUp();
    std::filesystem::create_directories(folder_ / "etc");
    std::filesystem::create_directories(folder_ / "lib");
    WriteProfile(kProfile);
  }
  void WriteProfile(const std::string& text) const { std::ofstream(folder_ / "etc" / "profile.json") << text; }
  std::string ProfilePath() const { return (folder_ / "etc" / "profile.json").string(); }

  // The command of the unit's ExecStart= for `node` (/dev/hidrawN), with
  // the program built here in the place of the installed one.
  static std::vector<std::string> UnitCommand(const std::string& node) {
    std::ifstream unit(RDRCONF_APPLY_UNIT);
    std::string line;
    while (std::getline(unit, line) && line.rfind("ExecStart=", 0) != 0) {
    }
    std::vector<std::string> words;
    std::istringstream split(line.substr(std::strlen("ExecStart=")));
    for (std::string word; split >> word;) {
      if (const std::size_t at = word.find("/dev/%I"); at != std::string::npos) word = node;
      words.push_back(word);
    }
    EXPECT_EQ(words.empty() ? "" : words.front(), "/usr/bin/rdrconf-cli") << line;
    if (!words.empty()) words.erase(words.begin());
    return words;
  }

  // The unit's command as a user other than root that may open `node` and
  // no other node, as the unit's own user is: when the test runs as root,
  // the command runs as nobody, and only `node` is opened up to it.
  ProgramRun RunAsTheUnitsUser(std::vector<std::string> arguments, const std::string& node) const {
    if (geteuid() != 0) return RunAsTheUnit(arguments);
    namespace fs = std::filesystem;
    const auto openUp = [](const fs::path& path, fs::perms perms) {
      fs::permissions(path, perms, fs::perm_options::add);
    };
    // What the emulation is made of, readable (its sockets usable) by all.
    const fs::path testbed = std::getenv("UMOCKDEV_DIR");
    openUp(testbed, fs::perms::others_read | fs::perms::others_exec);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(testbed)) {
      if (entry.is_symlink()) continue;
      openUp(entry.path(), entry.is_directory() ? fs::perms::others_read | fs::perms::others_exec
                                                : fs::perms::others_read | fs::perms::others_write);
    }
    // The reader's node behind its emulated path, and the unit's folders.
    openUp(fs::canonical(testbed / node.substr(1)), fs::perms::others_read | fs::perms::others_write);
    openUp(folder_, fs::perms::others_exec);
    openUp(folder_ / "etc", fs::perms::others_read | fs::perms::others_exec);
    openUp(folder_ / "lib", fs::perms::all);
    arguments.insert(arguments.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                         RDRCONF_CLI_PROGRAM});
    return ChildProgram("/usr/bin/setpriv", arguments, Environment()).Finish();
  }

  // As systemd runs the unit, with its configuration and state folders.
  ProgramRun RunAsTheUnit(const std::vector<std::string>& arguments) const {
    return ChildProgram(RDRCONF_CLI_PROGRAM, arguments, Environment()).Finish();
  }
};

// The unit's own command line gives the system's profile to its node alone
// and keeps the system's record, readable by every user; the record lets
// list report what the system wrote.
TEST_F(ApplyE2E, TheUnitsCommandGivesTheProfileToItsNodeAloneAndRecordsIt) {
  EmulatedReader& other = bus_.AddReader();
  EmulatedReader& plugged = bus_.AddReader();
  other.FailOpens(true);  // as a node the unit's user may not open, also when the test is not root

  const ProgramRun run = RunAsTheUnitsUser(UnitCommand(plugged.NodePath()), plugged.NodePath());

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plugged.NodePath() + " (serial EMU0002, USB 1-2): set format 8h10d (5), Passive, No-Enter, "
                                          "power saving on\n");
  EXPECT_THAT(BytesOf(plugged.Reports()), ElementsAre(kOpenNotice, kHeader, ChunkOf(kProfileBlock), kCloseNotice))
      << Trace(plugged);
  EXPECT_EQ(other.Opens(), 0);
  const std::filesystem::path record = folder_ / "lib" / "readers.json";
  EXPECT_EQ(std::filesystem::status(record).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  EXPECT_EQ(SettingsRecord(record.string()).Read().begin()->second.settings.Block(), kProfileBlock);
  struct stat owner {};
  ASSERT_EQ(stat(record.c_str(), &owner), 0);
  EXPECT_NE(owner.st_uid, 0u) << "written by a user other than root";
  EXPECT_FALSE(std::filesystem::exists(folder_ / "state")) << "no user's record";
}

// Changed, unchanged, forced, checked and diffed, each on the wire.
TEST_F(ApplyE2E, WritesOnlyWhatTheRecordSaysIsMissing) {
  EmulatedReader& reader = bus_.AddReader();
  const std::vector<FeatureReport> session{kOpenNotice, kHeader, ChunkOf(kProfileBlock), kCloseNotice};

  ProgramRun run = Cli({"apply", "--profile", ProfilePath(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Parse(run)["changed"], true);
  EXPECT_EQ(BytesOf(reader.Reports()), session) << Trace(reader);

  reader.ClearRecords();
  run = Cli({"apply", "--profile", ProfilePath(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Parse(run)["readers"][0]["outcome"], "unchanged");
  EXPECT_EQ(Parse(run)["changed"], false);
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_THAT(reader.Reports(), IsEmpty());

  run = Cli({"apply", "--profile", ProfilePath(), "--force"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(BytesOf(reader.Reports()), session) << Trace(reader);

  reader.ClearRecords();
  WriteProfile(R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "passive", "enter": false,
                   "power_saving": true}})");
  run = Cli({"apply", "--profile", ProfilePath(), "--check", "--diff"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("would be set format 6h10d (4), Passive, No-Enter, power saving on\n"
                                 "  format: 8h10d (5) -> 6h10d (4)\n  mode: passive -> passive\n"));
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_THAT(reader.Reports(), IsEmpty());

  run = Cli({"apply", "--profile", ProfilePath(), "--diff"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("  format: 8h10d (5) -> 6h10d (4)\n"));
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(kOpenNotice, kHeader, ChunkOf({4, 0, 0, 1, 0}), kCloseNotice));
}

// A profile that cannot be used: refused where it is wrong, nothing sent.
TEST_F(ApplyE2E, EveryBadProfileIsRefusedAndNothingIsWritten) {
  EmulatedReader& reader = bus_.AddReader();
  const std::string settings = R"("settings": {"format": "6h", "mode": "active", "enter": true, "power_saving": false})";
  const struct {
    std::string text;
    std::string says;
  } cases[] = {
      {"{\"rdrconf_profile\": 1,\n  " + settings, ":2:" + std::to_string(settings.size() + 3) + ": it is not valid JSON"},
      {"{\"rdrconf_profile\": 1, " + settings + ", \"colour\": 1}", "unknown key \"colour\""},
      {R"({"rdrconf_profile": 1, "settings": {"format": "7h", "mode": "active", "enter": true, "power_saving": false}})",
       "\"format\": \"7h\" is not a card-number format"},
      {R"({"rdrconf_profile": 1, "settings": {"format_index": 40, "mode": "active", "enter": true, "power_saving": false}})",
       "\"format_index\": 40 is out of range (0-12)"},
      {R"({"rdrconf_profile": 1, "settings": {"format_index": 4, "mode": "active", "enter": true, "power_saving": 0}})",
       "\"power_saving\" must be true or false"},
      {std::string(2 * 1024 * 1024, '\n'), "larger than a profile can be (1 MiB)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    WriteProfile(c.text);
    const ProgramRun run = RunAsTheUnit({"apply", "--system"});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr(ProfilePath() + (c.says[0] == ':' ? "" : ":")));
    EXPECT_THAT(run.err, HasSubstr(c.says));
  }
  std::filesystem::remove(ProfilePath());
  ASSERT_EQ(mkfifo(ProfilePath().c_str(), 0600), 0);
  const ProgramRun fifo = RunAsTheUnit({"apply", "--system"});
  EXPECT_EQ(fifo.status, 2);
  EXPECT_THAT(fifo.err, HasSubstr(ProfilePath() + ": not a regular file"));
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "lib" / "readers.json"));
}

// Someone setting the reader in the window holds it for the moment of an
// exchange: the unit's apply waits its turn instead of failing.
TEST_F(ApplyE2E, AReaderTheWindowHoldsIsWrittenOnceItIsLetGo) {
  EmulatedReader& reader = bus_.AddReader();
  HidApiHost host;
  CardReader link(host);
  ReaderHandle held = link.OpenReader();
  ASSERT_TRUE(held.IsOpen());
  reader.ClearRecords();

  ChildProgram apply(RDRCONF_CLI_PROGRAM, UnitCommand(reader.NodePath()), Environment());
  ASSERT_TRUE(apply.WaitForError("trying again", 60000));
  EXPECT_THAT(reader.Reports(), IsEmpty());
  held.Close();
  const ProgramRun run = apply.Finish();

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(BytesOf(reader.Reports()), ElementsAre(kOpenNotice, kHeader, ChunkOf(kProfileBlock), kCloseNotice));
}

}  // namespace
}  // namespace rdrconf
