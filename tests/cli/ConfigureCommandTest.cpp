// set and restore over the in-memory host: what reaches the reader, on
// which handles, the exit status and the JSON of every outcome, the
// selection of readers, --all, --dry-run and the record they leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "reader/SettingsRecord.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using Kind = FakeHidHost::Kind;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Key;
using ::testing::Not;
using Json = nlohmann::json;

constexpr char kReader[] = "/dev/hidraw3";
constexpr char kSecond[] = "/dev/hidraw5";
constexpr char kThird[] = "/dev/hidraw7";

class ConfigureTest : public CliTest {
 protected:
  // The record's entries by their reader's serial number.
  std::map<std::string, RecordEntry> Recorded() const {
    std::map<std::string, RecordEntry> bySerial;
    for (const auto& [key, entry] : SettingsRecord(environment.recordPath).Read()) bySerial.emplace(entry.serial, entry);
    return bySerial;
  }
};

TEST_F(ConfigureTest, SetGivesTheReaderOneWindowSessionOnHandlesOfItsOwn) {
  host.AddInterface("/dev/hidraw0", 0x046D, 0xC31C);  // a keyboard, listed first
  host.AddReader(kReader, "A1");

  EXPECT_EQ(Run({"set", "--format", "8h10d", "--enter", "off"}), 0) << err.str();

  EXPECT_THAT(host.SetReports(), ElementsAre(kOpenNoticeReport, kHeaderReport,
                                             Report({0x00, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
                                             kCloseNoticeReport));
  // Three exchanges, each opened by the reader's path and closed before the next.
  EXPECT_THAT(host.Kinds(),
              ElementsAre(Kind::kList,                                                   // choosing the reader
                          Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kClose,  // open notice
                          Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kSet, Kind::kClose,
                          Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kClose));  // close notice
  EXPECT_THAT(host.OpenedPaths(), ElementsAre(kReader, kReader, kReader));
  EXPECT_EQ(host.OpenNow(), 0);
  EXPECT_EQ(out.str(), "/dev/hidraw3 (serial A1, USB 1-2): set format 8h10d (5), Active, No-Enter, power saving off\n");
  EXPECT_EQ(err.str(), "");
}

TEST_F(ConfigureTest, EachOptionFillsItsByteAndOptionsNotGivenTakeTheDefaults) {
  host.AddReader(kReader, "A1");
  const struct {
    std::vector<std::string> arguments;
    ReaderParameterBlock block;
  } cases[] = {
      {{"--format", "6h10d"}, {4, 1, 1, 0, 0}},
      {{"--format", "0", "--mode", "passive"}, {0, 0, 1, 0, 0}},
      {{"--format", "2h10d+4h10d", "--power-saving", "on"}, {7, 1, 1, 1, 0}},
      {{"--format", "8H10D", "--enter", "OFF", "--mode", "Active"}, {5, 1, 0, 0, 0}},
      {{"--format", "ic format 12"}, {12, 1, 1, 0, 0}},
      {{"--format", "IC format 8", "--card", "IC"}, {8, 1, 1, 0, 0}},
      {{"--format", "10", "--card", "ic"}, {10, 1, 1, 0, 0}},
      {{"--format", "7", "--card", "id", "--mode", "passive", "--enter", "off", "--power-saving", "on"},
       {7, 0, 0, 1, 0}},
      {{"-f", "05"}, {5, 1, 1, 0, 0}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"set"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    SCOPED_TRACE(::testing::PrintToString(arguments));
    host.ClearRequests();
    ASSERT_EQ(Run(arguments), 0) << err.str();
    ASSERT_EQ(host.SetReports().size(), 4u);
    EXPECT_EQ(host.SetReports()[2], ChunkReport(c.block));
  }
}

TEST_F(ConfigureTest, RestoreSendsTheDefaultBlock) {
  host.AddReader(kReader, "A1");
  EXPECT_EQ(Run({"restore", "--json"}), 0) << err.str();
  EXPECT_THAT(host.SetReports(),
              ElementsAre(kOpenNoticeReport, kHeaderReport,
                          Report({0x00, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}), kCloseNoticeReport));
  EXPECT_EQ(Document()["readers"][0]["settings"],
            Json::parse(R"({"format": "6h10d", "format_index": 4, "mode": "active", "enter": true,
                            "power_saving": false})"));
  EXPECT_EQ(Recorded().at("A1").settings.Block(), ReaderParameterBlock::Defaults());
}

// Each way an exchange can end: its exit status, and what set --json says.
struct OutcomeCase {
  const char* name;
  std::function<void(FakeHidHost&)> arrange;
  int exit;
  const char* outcome;
  Json failedRequest;
  bool chunkSent;
};

// By name: the struct's padding is no value to print.
void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class OutcomeTest : public ConfigureTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(OutcomeTest, GivesItsExitStatusAndJson) {
  const OutcomeCase& c = GetParam();
  host.AddReader(kReader, "A1");
  c.arrange(host);

  EXPECT_EQ(Run({"set", "--format", "8h", "--mode", "passive", "--enter", "off", "--power-saving", "on",
                 "--json"}),
            c.exit)
      << err.str();

  const Json document = Document();
  EXPECT_EQ(document["outcome"], c.outcome);
  ASSERT_EQ(document["readers"].size(), 1u);
  const Json& reader = document["readers"][0];
  EXPECT_EQ(reader["path"], kReader);
  EXPECT_EQ(reader["serial"], "A1");
  EXPECT_EQ(reader["outcome"], c.outcome);
  EXPECT_EQ(reader["failed_request"], c.failedRequest);
  EXPECT_EQ(reader["settings"], Json::parse(R"({"format": "8h", "format_index": 1, "mode": "passive",
                                                 "enter": false, "power_saving": true})"));
  const bool succeeded = c.exit == 0;
  EXPECT_EQ(reader["recorded"], succeeded);
  EXPECT_EQ(Recorded().count("A1"), succeeded ? 1u : 0u);
  const auto sets = host.SetReports();
  EXPECT_EQ(std::count(sets.begin(), sets.end(), ChunkReport({1, 0, 0, 1, 0})), c.chunkSent ? 1 : 0);
  if (!succeeded) {
    EXPECT_THAT(err.str(), HasSubstr(reader["message"].get<std::string>()));
  }
  EXPECT_EQ(host.OpenNow(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, OutcomeTest,
    ::testing::Values(
        OutcomeCase{"Done", [](FakeHidHost&) {}, 0, "done", nullptr, true},
        OutcomeCase{"Denied", [](FakeHidHost& h) { h.FailOpen(kReader, EACCES); }, 4, "denied", "open", false},
        OutcomeCase{"Busy", [](FakeHidHost& h) { h.FailOpen(kReader, EWOULDBLOCK); }, 5, "busy", "open", false},
        OutcomeCase{"OpenFails", [](FakeHidHost& h) { h.FailOpen(kReader, EIO); }, 6, "failed", "open", false},
        // Unplugged between the listing and the exchanges.
        OutcomeCase{"Unplugged", [](FakeHidHost& h) { h.FailOpen(kReader, ENODEV); }, 3, "no_reader", "open",
                    false},
        OutcomeCase{"Refused",
                    [](FakeHidHost& h) {
                      h.QueueAnswer(kPlainAnswer);  // the open notice's answer
                      h.QueueAnswer(kRefusal);
                    },
                    6, "refused", "answer", false},
        OutcomeCase{"HeaderFails", [](FakeHidHost& h) { h.FailSet(2, EPIPE); }, 6, "failed", "header", false},
        OutcomeCase{"AnswerFails", [](FakeHidHost& h) { h.FailGet(2, EPIPE); }, 6, "failed", "answer", false},
        OutcomeCase{"AnswerShort", [](FakeHidHost& h) { h.ShortGet(2, 4); }, 6, "failed", "answer", false},
        // The chunk was handed over but did not go through.
        OutcomeCase{"ChunkFails", [](FakeHidHost& h) { h.FailSet(3, EPIPE); }, 6, "failed", "chunk", true},
        OutcomeCase{"Status",
                    [](FakeHidHost& h) {
                      h.QueueAnswer(kPlainAnswer);
                      h.QueueAnswer(kStatusAnswer);
                    },
                    0, "status", nullptr, false}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

TEST_F(ConfigureTest, StatusAnswerSaysOnStderrThatTheReaderTookNoSettings) {
  host.AddReader(kReader, "A1");
  host.QueueAnswer(kPlainAnswer);
  host.QueueAnswer(kStatusAnswer);

  EXPECT_EQ(Run({"set", "--format", "1", "--quiet"}), 0);

  EXPECT_EQ(out.str(), "");
  EXPECT_THAT(err.str(), HasSubstr("status answer"));
  EXPECT_THAT(err.str(), HasSubstr("took no settings block"));
  EXPECT_EQ(Recorded().at("A1").outcome, Outcome::kStatus);
}

TEST_F(ConfigureTest, FailedNoticesAreReportedButDoNotStopTheCommand) {
  host.AddReader(kReader, "A1");
  host.FailSet(1, EPIPE);  // the open notice
  host.FailGet(2, EPIPE);  // the close notice's answer: the failed open notice asked for none

  EXPECT_EQ(Run({"set", "--format", "3", "--json"}), 0) << err.str();

  EXPECT_THAT(host.SetReports(), ElementsAre(kOpenNoticeReport, kHeaderReport, ChunkReport({3, 1, 1, 0, 0}),
                                             kCloseNoticeReport));
  const Json reader = Document()["readers"][0];
  EXPECT_EQ(reader["outcome"], "done");
  EXPECT_EQ(reader["open_notice"], "failed");
  EXPECT_EQ(reader["close_notice"], "failed");
  EXPECT_THAT(err.str(), HasSubstr("the open notice did not go through: the open notice request failed"));
  EXPECT_THAT(err.str(), HasSubstr("the close notice did not go through"));
}

TEST_F(ConfigureTest, NoReaderSendsNothing) {
  host.AddInterface("/dev/hidraw0", 0x046D, 0xC31C);
  for (const char* command : {"set", "restore"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> arguments{command, "--json"};
    if (std::string(command) == "set") arguments.insert(arguments.end(), {"--format", "1"});
    EXPECT_EQ(Run(arguments), 3);
    EXPECT_EQ(Document(), Json::parse(R"({"outcome": "no_reader", "readers": []})"));
    EXPECT_THAT(err.str(), HasSubstr("no reader 1d57:ac08 is connected"));
  }
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(ConfigureTest, SeveralReadersWithoutASelectionAreRefusedAndNamed) {
  host.AddReader(kReader, "A1");
  host.AddReader(kSecond, "");
  for (const char* command : {"set", "restore"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> arguments{command, "--json"};
    if (std::string(command) == "set") arguments.insert(arguments.end(), {"--format", "1"});
    EXPECT_EQ(Run(arguments), 8);
    EXPECT_THAT(err.str(), AllOf(HasSubstr("2 readers are connected"), HasSubstr("0  /dev/hidraw3 (serial A1, USB 1-1)"),
                                 HasSubstr("1  /dev/hidraw5 (USB 1-2)"), HasSubstr("--all")));
    const Json document = Document();
    EXPECT_EQ(document["outcome"], "several_readers");
    EXPECT_EQ(document["readers"], Json::array());
    EXPECT_EQ(document["candidates"], Json::parse(R"([
        {"index": 0, "path": "/dev/hidraw3", "serial": "A1", "usb_port": "1-1"},
        {"index": 1, "path": "/dev/hidraw5", "serial": "", "usb_port": "1-2"}])"));
  }
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(ConfigureTest, SelectionNamesOneReaderByPathSerialOrIndex) {
  host.AddReader(kReader, "A1");
  host.AddReader(kSecond, "B2");
  host.AddReader(kThird, "1");  // a serial that looks like an index
  const struct {
    const char* selection;
    const char* opened;
  } cases[] = {{kSecond, kSecond}, {"B2", kSecond}, {"0", kReader}, {"2", kThird}, {"1", kThird}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selection);
    host.ClearRequests();
    EXPECT_EQ(Run({"set", "--format", "1", "--reader", c.selection}), 0) << err.str();
    EXPECT_THAT(host.OpenedPaths(), ElementsAre(c.opened, c.opened, c.opened));
  }

  for (const char* unknown : {"/dev/hidraw9", "C3", "3"}) {
    SCOPED_TRACE(unknown);
    host.ClearRequests();
    EXPECT_EQ(Run({"set", "--format", "1", "--reader", unknown}), 3);
    EXPECT_THAT(err.str(), HasSubstr(std::string("no reader matches --reader ") + unknown));
    EXPECT_THAT(host.OpenedPaths(), IsEmpty());
  }
}

// Cheap readers often share one serial number: --reader with it names
// them all, and every command that takes --reader refuses it, listing the
// readers it matched with what tells them apart (path and USB port).
TEST_F(ConfigureTest, SelectionThatNamesTwoReadersIsRefusedAndListsThem) {
  host.AddReader(kReader, "SAME");
  host.AddReader(kSecond, "OTHER");
  host.AddReader(kThird, "SAME");
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"restore"},
                                                     {"set", "--format", "1"},
                                                     {"set", "--format", "1", "--dry-run"},
                                                     {"show"},
                                                     {"export"}}) {
    SCOPED_TRACE(arguments.size() > 2 ? arguments[0] + " " + arguments.back() : arguments[0]);
    std::vector<std::string> selected = arguments;
    selected.insert(selected.end(), {"--reader", "SAME"});
    EXPECT_EQ(Run(selected), 8);
    EXPECT_EQ(err.str(), "rdrconf-cli: --reader SAME names several readers; name one by its path:\n"
                         "  0  /dev/hidraw3 (serial SAME, USB 1-1)\n"
                         "  2  /dev/hidraw7 (serial SAME, USB 1-3)\n");
    EXPECT_EQ(out.str(), "");
  }
  EXPECT_EQ(Run({"set", "--format", "1", "--reader", "SAME", "--json"}), 8);
  EXPECT_EQ(Document(), Json::parse(R"({"outcome": "several_readers", "readers": [], "candidates": [
      {"index": 0, "path": "/dev/hidraw3", "serial": "SAME", "usb_port": "1-1"},
      {"index": 2, "path": "/dev/hidraw7", "serial": "SAME", "usb_port": "1-3"}]})"));
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(ConfigureTest, AllConfiguresEachReaderInTurnAndExitsWithTheWorst) {
  host.AddReader(kReader, "A1");
  host.AddReader(kSecond, "B2");
  host.AddReader(kThird, "C3");
  host.FailOpen(kSecond, EWOULDBLOCK);
  // Gets 1-3 are the first reader's; the third reader's header answer is get 5.
  for (int get = 0; get < 4; ++get) host.QueueAnswer(kPlainAnswer);
  host.QueueAnswer(kRefusal);

  EXPECT_EQ(Run({"set", "--all", "--format", "6h", "--json"}), 6);

  const Json document = Document();
  EXPECT_EQ(document["outcome"], "refused");
  ASSERT_EQ(document["readers"].size(), 3u);
  EXPECT_EQ(document["readers"][0]["outcome"], "done");
  EXPECT_EQ(document["readers"][1]["outcome"], "busy");
  EXPECT_EQ(document["readers"][2]["outcome"], "refused");
  EXPECT_EQ(document["readers"][2]["path"], kThird);
  EXPECT_THAT(Recorded(), ElementsAre(Key("A1")));
  EXPECT_THAT(err.str(), AllOf(HasSubstr("/dev/hidraw5 (serial B2, USB 1-2): another program is using the reader"),
                               HasSubstr("/dev/hidraw7 (serial C3, USB 1-3): the reader refused")));
}

TEST_F(ConfigureTest, AllTakesTheHighestCodeAndStatusOnlyWhenNothingFailed) {
  host.AddReader(kReader, "A1");
  host.AddReader(kSecond, "B2");
  host.FailOpen(kReader, EACCES);
  host.FailOpen(kSecond, EWOULDBLOCK);
  EXPECT_EQ(Run({"restore", "--all", "--json"}), 5);
  EXPECT_EQ(Document()["outcome"], "busy");

  FakeHidHost statusHost;
  statusHost.AddReader(kReader, "A1");
  statusHost.AddReader(kSecond, "B2");
  statusHost.QueueAnswer(kPlainAnswer);
  statusHost.QueueAnswer(kStatusAnswer);
  out.str("");
  EXPECT_EQ(cli::RunCli({"restore", "--all", "--json"}, statusHost, environment, out, err), 0);
  const Json document = Document();
  EXPECT_EQ(document["outcome"], "status");
  EXPECT_EQ(document["readers"][0]["outcome"], "status");
  EXPECT_EQ(document["readers"][1]["outcome"], "done");
}

TEST_F(ConfigureTest, DryRunPrintsTheReportsAndOpensNothing) {
  host.AddReader(kReader, "A1");

  EXPECT_EQ(Run({"set", "--format", "IC format 11", "--power-saving", "on", "--dry-run"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "/dev/hidraw3 (serial A1, USB 1-1): would be set these reports, in order (--dry-run opens and sends "
            "nothing):\n"
            "  00 55 12 00 00 00 00 63 63   open notice\n"
            "  00 55 11 06 05 63 63 63 63   command header\n"
            "  00 0b 01 01 01 00 00 00 00   data chunk\n"
            "  00 55 13 00 00 00 00 63 63   close notice\n");

  EXPECT_EQ(Run({"restore", "--dry-run", "--json"}), 0) << err.str();
  const Json reader = Document()["readers"][0];
  EXPECT_EQ(Document()["outcome"], "dry_run");
  EXPECT_EQ(reader["reports"], Json::parse(R"(["00 55 12 00 00 00 00 63 63", "00 55 11 06 05 63 63 63 63",
                                               "00 04 01 01 00 00 00 00 00", "00 55 13 00 00 00 00 63 63"])"));
  EXPECT_EQ(reader["settings"]["format_index"], 4);

  EXPECT_EQ(host.Opens(), 0);
  EXPECT_THAT(host.Kinds(), Each(Kind::kList));
  EXPECT_FALSE(std::filesystem::exists(environment.recordPath));
}

TEST_F(ConfigureTest, DryRunChecksTheSelectionLikeARealRun) {
  host.AddReader(kReader, "A1");
  host.AddReader(kSecond, "B2");
  EXPECT_EQ(Run({"set", "--format", "1", "--dry-run"}), 8);
  EXPECT_EQ(Run({"set", "--format", "1", "--dry-run", "--reader", "Z9"}), 3);
  EXPECT_EQ(Run({"set", "--format", "1", "--dry-run", "--all"}), 0);
  EXPECT_THAT(out.str(), AllOf(HasSubstr("/dev/hidraw3"), HasSubstr("/dev/hidraw5")));
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(ConfigureTest, RecordTroubleIsReportedAndNeverStopsConfiguring) {
  host.AddReader(kReader, "A1");
  // A corrupt record: kept aside with a warning, and a new one started.
  std::filesystem::create_directories(std::filesystem::path(environment.recordPath).parent_path());
  WriteBytes(environment.recordPath, "{ not json");
  EXPECT_EQ(Run({"set", "--format", "2", "--json"}), 0);
  EXPECT_THAT(err.str(), HasSubstr("it is kept as " + environment.recordPath + ".unusable-20240501T120000Z"));
  EXPECT_EQ(Document()["readers"][0]["recorded"], true);
  EXPECT_EQ(Recorded().at("A1").settings.format, 2);

  // A record that cannot be written: the reader is configured all the same.
  environment.recordPath = (folder_ / "blocked" / "rdrconf" / "readers.json").string();
  WriteBytes((folder_ / "blocked").string(), "a file in the way");
  EXPECT_EQ(Run({"set", "--format", "3", "--json"}), 0);
  EXPECT_THAT(err.str(), HasSubstr("not recorded: cannot create the folder"));
  EXPECT_EQ(Document()["readers"][0]["recorded"], false);
  EXPECT_EQ(host.SetReports().back(), kCloseNoticeReport);
}

TEST_F(ConfigureTest, QuietSuccessPrintsNothing) {
  host.AddReader(kReader, "A1");
  EXPECT_EQ(Run({"set", "--format", "1", "--quiet"}), 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Run({"--quiet", "restore"}), 0);
  EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(ConfigureTest, OutputThatCannotBeWrittenIsAFailure) {
  host.AddReader(kReader, "A1");
  out.setstate(std::ios::badbit);
  EXPECT_EQ(cli::RunCli({"set", "--format", "1"}, host, environment, out, err), 1);
  EXPECT_THAT(err.str(), HasSubstr("cannot write the output"));
}

}  // namespace
}  // namespace rdrconf::test
