// list and show over the in-memory host: what they print and that neither
// opens a reader or sends anything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "reader/SettingsRecord.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using Kind = FakeHidHost::Kind;
using ::testing::Each;
using ::testing::HasSubstr;
using Json = nlohmann::json;

class ListShowTest : public CliTest {
 protected:
  void RecordWritten(const std::string& path, const std::string& serial, const std::string& port,
                     const ReaderParameterBlock& block, Outcome outcome = Outcome::kDone) {
    HidInterfaceInfo info;
    info.path = path;
    info.serialNumber = serial;
    info.usbPort = port;
    std::string message;
    ASSERT_TRUE(SettingsRecord(environment.recordPath).Write(info, *ReaderSettings::FromBlock(block), outcome, kRecordTime, &message))
        << message;
  }
};

TEST_F(ListShowTest, ListGivesEveryReaderWithItsAccessAndRecordAndOpensNothing) {
  host.AddInterface("/dev/hidraw0", 0x046D, 0xC31C);
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "");
  host.DenyAccess("/dev/hidraw2");
  RecordWritten("/dev/hidraw1", "A1", "1-2", {1, 0, 0, 1, 0});

  EXPECT_EQ(Run({"list", "--json"}), 0) << err.str();
  EXPECT_EQ(Document(), Json::parse(R"({"schema_version": 1, "readers": [
      {"index": 0, "path": "/dev/hidraw1", "serial": "A1", "manufacturer": "Fake",
       "product": "Fake card reader", "usb_port": "1-2", "access": "ok",
       "last_written": {"format": "8h", "format_index": 1, "mode": "passive", "enter": false,
                        "power_saving": true}, "system_last_written": null, "system_written_at": null},
      {"index": 1, "path": "/dev/hidraw2", "serial": "", "manufacturer": "Fake",
       "product": "Fake card reader", "usb_port": "1-3", "access": "denied", "last_written": null,
       "system_last_written": null, "system_written_at": null}]})"));

  EXPECT_EQ(Run({"list"}), 0);
  EXPECT_EQ(out.str(),
            "0  /dev/hidraw1  serial A1  USB 1-2  Fake Fake card reader  access ok\n"
            "   last written 2024-05-01T12:00:00Z: format 8h (1), Passive, No-Enter, power saving on\n"
            "1  /dev/hidraw2  no serial  USB 1-3  Fake Fake card reader  access denied\n");
  EXPECT_EQ(host.Opens(), 0);
  EXPECT_THAT(host.Kinds(), Each(Kind::kList));
}

TEST_F(ListShowTest, ReaderWithoutSerialIsFoundInTheRecordByItsPort) {
  host.AddReader("/dev/hidraw4", "");
  RecordWritten("/dev/hidraw9", "", "1-1", {12, 1, 1, 0, 0});
  EXPECT_EQ(Run({"list", "--json"}), 0);
  EXPECT_EQ(Document()["readers"][0]["last_written"]["format"], "IC format 12");
}

TEST_F(ListShowTest, NoReaderIsAnEmptyListAndNoError) {
  host.AddInterface("/dev/hidraw0", 0x046D, 0xC31C);
  EXPECT_EQ(Run({"list", "--json"}), 0);
  EXPECT_EQ(Document(), Json::parse(R"({"schema_version": 1, "readers": []})"));
  EXPECT_EQ(Run({"list"}), 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "rdrconf-cli: no reader 1d57:ac08 is connected\n");
  EXPECT_EQ(Run({"list", "-q"}), 0);
  EXPECT_EQ(err.str(), "");
}

TEST_F(ListShowTest, ListingThatFailsIsAnInternalError) {
  host.FailListing();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"list"}, {"set", "--format", "1"}, {"restore"}, {"show"}}) {
    SCOPED_TRACE(arguments[0]);
    EXPECT_EQ(Run(arguments), 1);
    EXPECT_THAT(err.str(), HasSubstr("cannot list the HID devices"));
  }
}

TEST_F(ListShowTest, CorruptRecordIsListedAsNothingWithAWarning) {
  host.AddReader("/dev/hidraw1", "A1");
  std::filesystem::create_directories(std::filesystem::path(environment.recordPath).parent_path());
  WriteBytes(environment.recordPath, "[1, 2");
  EXPECT_EQ(Run({"list", "--json"}), 0);
  EXPECT_EQ(Document()["readers"][0]["last_written"], nullptr);
  EXPECT_THAT(err.str(), HasSubstr("warning: ignoring the settings record"));
}

TEST_F(ListShowTest, ShowLabelsWhatWasLastWrittenFromThisComputer) {
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "B2");
  host.AddReader("/dev/hidraw3", "C3");
  RecordWritten("/dev/hidraw1", "A1", "1-1", {5, 1, 0, 0, 0});
  RecordWritten("/dev/hidraw3", "C3", "1-3", {4, 1, 1, 0, 0}, Outcome::kStatus);

  EXPECT_EQ(Run({"show"}), 0) << err.str();
  EXPECT_EQ(out.str(),
            "The reader cannot report its settings: these are the settings last written to it from this "
            "computer. (record: " + environment.recordPath + ")\n"
            "/dev/hidraw1 (serial A1, USB 1-1): last written 2024-05-01T12:00:00Z: format 8h10d (5), Active, "
            "No-Enter, power saving off\n"
            "/dev/hidraw2 (serial B2, USB 1-2): nothing recorded: no settings were written to it from this "
            "computer\n"
            "/dev/hidraw3 (serial C3, USB 1-3): last written 2024-05-01T12:00:00Z: format 6h10d (4), Active, "
            "Enter, power saving off (the reader gave a status answer then and may not have taken them)\n");

  EXPECT_EQ(Run({"show", "--reader", "B2", "--json"}), 0);
  const Json document = Document();
  EXPECT_THAT(document["note"].get<std::string>(), HasSubstr("cannot report its settings"));
  EXPECT_EQ(document["record"], environment.recordPath);
  EXPECT_EQ(document["readers"], Json::parse(R"([{"index": 1, "path": "/dev/hidraw2", "serial": "B2",
      "usb_port": "1-2", "key": "serial:B2 usb:1-2", "last_written": null, "written_at": null, "outcome": null,
      "system_last_written": null, "system_written_at": null}])"));

  EXPECT_EQ(Run({"show", "--reader", "/dev/hidraw1", "--json"}), 0);
  EXPECT_EQ(Document()["readers"][0]["last_written"]["format"], "8h10d");
  EXPECT_EQ(Document()["readers"][0]["written_at"], "2024-05-01T12:00:00Z");
  EXPECT_EQ(Document()["readers"][0]["outcome"], "done");
  EXPECT_EQ(host.Opens(), 0);
}

TEST_F(ListShowTest, ShowWithoutAReaderToShowExits3) {
  EXPECT_EQ(Run({"show", "--json"}), 3);
  EXPECT_EQ(Document(), Json::parse(R"({"schema_version": 1, "outcome": "no_reader", "readers": []})"));
  host.AddReader("/dev/hidraw1", "A1");
  EXPECT_EQ(Run({"show", "--reader", "Z9"}), 3);
  EXPECT_THAT(err.str(), HasSubstr("no reader matches --reader Z9"));
}

TEST_F(ListShowTest, ShowSaysWhyAReaderWithoutSerialOrPortHasNoRecord) {
  HidInterfaceInfo bare;
  bare.path = "/dev/hidraw6";
  bare.vendorId = kReaderVendorId;
  bare.productId = kReaderProductId;
  host.AddInterface(bare);
  EXPECT_EQ(Run({"show"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("neither a serial number nor a USB port"));
  EXPECT_EQ(Run({"show", "--json"}), 0);
  EXPECT_EQ(Document()["readers"][0]["key"], nullptr);
}

}  // namespace
}  // namespace rdrconf::test
