// The reader link over the real hidapi backend, against readers emulated as
// hidraw devices: what reaches the device, byte for byte, and what the link
// makes of the device's answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"
#include "reader/ReaderProtocol.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"

namespace rdrconf {
namespace {

using emulated::BytesOf;
using emulated::EmulatedHidBus;
using emulated::KindsOf;
using emulated::EmulatedHidDevice;
using emulated::EmulatedReader;
using emulated::FeatureRequest;
using emulated::ReaderBehaviour;
using emulated::ReportKind;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr FeatureRequest kSet = FeatureRequest::kSet;
constexpr FeatureRequest kGet = FeatureRequest::kGet;

const FeatureReport kCommand6Header{0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63};

FeatureReport ChunkOf(const ReaderParameterBlock& block) {
  return {0x00, block.cardno_type, block.mode, block.enter, block.power_saving, block.reserved,
          0x00, 0x00, 0x00};
}

class ReaderLinkE2E : public ::testing::Test {
 protected:
  EmulatedHidBus bus_;
  HidApiHost host_;
  CardReader reader_{host_};
};

TEST_F(ReaderLinkE2E, HostListsTheBusInOrderWithIdsAndNodes) {
  EmulatedHidDevice& keyboard = bus_.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& reader = bus_.AddReader();

  HidError error;
  const auto interfaces = host_.ListInterfaces(error);

  ASSERT_TRUE(interfaces.has_value());
  ASSERT_EQ(interfaces->size(), 2u);
  EXPECT_EQ((*interfaces)[0].path, keyboard.NodePath());
  EXPECT_EQ((*interfaces)[0].vendorId, 0x046D);
  EXPECT_EQ((*interfaces)[0].productId, 0xC31C);
  EXPECT_EQ((*interfaces)[1].path, reader.NodePath());
  EXPECT_EQ((*interfaces)[1].vendorId, kReaderVendorId);
  EXPECT_EQ((*interfaces)[1].productId, kReaderProductId);
  // The identity of each, from the listing alone.
  EXPECT_EQ((*interfaces)[1].serialNumber, "EMU0002");
  EXPECT_EQ((*interfaces)[1].manufacturer, "Emulated");
  EXPECT_EQ((*interfaces)[1].product, "Emulated card reader");
  EXPECT_EQ((*interfaces)[1].usbPort, reader.UsbName());
  EXPECT_EQ((*interfaces)[1].interfaceNumber, 0);
  const std::vector<ReaderIdentity> readers = reader_.ListReaders();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_EQ(readers[0].hid.path, reader.NodePath());
  EXPECT_TRUE(readers[0].mayOpen);
  EXPECT_EQ(keyboard.Opens() + reader.Opens(), 0);  // listing opens nothing
}

// A reader being pulled out while the readers are listed: its hidraw node
// is still listed, but its HID device can no longer be read (here its
// uevent has made way for a directory, as if the file went between two
// reads). hidapi 0.13's own listing read that attribute unchecked and
// crashed the program; such a device is left out, the others listed.
TEST_F(ReaderLinkE2E, AReaderGoingAwayDuringTheListingIsLeftOut) {
  EmulatedReader& going = bus_.AddReader();
  EmulatedReader& staying = bus_.AddReader();
  const std::filesystem::path usb =
      std::filesystem::path(std::getenv("UMOCKDEV_DIR")) / "sys/devices" / going.UsbName() / (going.UsbName() + ":1.0");
  std::vector<std::filesystem::path> hid;
  for (const auto& entry : std::filesystem::directory_iterator(usb)) {
    if (entry.path().filename().string().rfind("0003:", 0) == 0) hid.push_back(entry.path());
  }
  ASSERT_EQ(hid.size(), 1u) << "the HID device under " << usb;
  std::filesystem::remove(hid.front() / "uevent");
  std::filesystem::create_directory(hid.front() / "uevent");

  const std::vector<ReaderIdentity> readers = reader_.ListReaders();
  ASSERT_EQ(readers.size(), 1u);
  EXPECT_EQ(readers[0].hid.path, staying.NodePath());
  EXPECT_EQ(readers[0].hid.serialNumber, "EMU0002");
}

TEST_F(ReaderLinkE2E, SetAndRestoreReachTheReaderAsExactReports) {
  EmulatedReader& reader = bus_.AddReader();
  const ReaderParameterBlock blocks[] = {
      {7, 0, 0, 1, 0},   // "2h10d+4h10d", Passive, No-Enter, power saving on
      {12, 1, 0, 0, 0},  // an IC-only format
      {0, 0, 1, 1, 0},
  };
  for (const ReaderParameterBlock& block : blocks) {
    SCOPED_TRACE(DescribeBlock(block));
    reader.ClearRecords();
    ReaderHandle handle = reader_.OpenReader();
    ASSERT_TRUE(handle.IsOpen());

    EXPECT_EQ(SetReaderConfig(handle, block), kCommandDone);
    // One set exchange is three requests: header set, answer get, chunk set.
    EXPECT_THAT(reader.FeatureRequests(), ElementsAre(kSet, kGet, kSet));
    EXPECT_THAT(BytesOf(reader.Reports()), ElementsAre(kCommand6Header, ChunkOf(block)));
    EXPECT_EQ(reader.Settings(), block);

    reader.ClearRecords();
    EXPECT_EQ(RestoreReaderConfig(handle), kCommandDone);
    EXPECT_THAT(reader.FeatureRequests(), ElementsAre(kSet, kGet, kSet));
    EXPECT_THAT(BytesOf(reader.Reports()),
                ElementsAre(kCommand6Header,
                            FeatureReport{0x00, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
  }
}

TEST_F(ReaderLinkE2E, NoticesArriveAndAreAnswered) {
  EmulatedReader& reader = bus_.AddReader();
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());

  EXPECT_TRUE(NotifyOpen(handle));
  EXPECT_TRUE(NotifyClose(handle));

  EXPECT_THAT(reader.FeatureRequests(), ElementsAre(kSet, kGet, kSet, kGet));
  EXPECT_THAT(KindsOf(reader.Reports()),
              ElementsAre(ReportKind::kOpenNotice, ReportKind::kCloseNotice));
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(FeatureReport{0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63},
                          FeatureReport{0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63}));
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
}

TEST_F(ReaderLinkE2E, SearchOpensNoDeviceWithOtherIds) {
  EmulatedHidDevice& keyboard = bus_.AddOtherDevice(0x046D, 0xC31C);
  EmulatedHidDevice& sameVendor = bus_.AddOtherDevice(kReaderVendorId, 0x0001);
  EmulatedHidDevice& sameProduct = bus_.AddOtherDevice(0x1D58, kReaderProductId);
  EmulatedReader& reader = bus_.AddReader();
  EmulatedHidDevice& after = bus_.AddOtherDevice(0x04F3, 0x0C4B);

  ReaderHandle handle = reader_.OpenReader();

  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(SetReaderConfig(handle, {5, 1, 1, 0, 0}), kCommandDone);
  EXPECT_EQ(reader.Settings(), (ReaderParameterBlock{5, 1, 1, 0, 0}));
  EXPECT_EQ(reader.Opens(), 1);
  for (const EmulatedHidDevice* other : {&keyboard, &sameVendor, &sameProduct, &after}) {
    SCOPED_TRACE(other->UsbName());
    EXPECT_EQ(other->Opens(), 0);
    EXPECT_THAT(other->FeatureRequests(), IsEmpty());
  }
}

TEST_F(ReaderLinkE2E, FirstOfTwoReadersWinsAndTheSecondIsNeverOpened) {
  EmulatedReader& first = bus_.AddReader();
  EmulatedReader& second = bus_.AddReader();

  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(SetReaderConfig(handle, {1, 0, 1, 0, 0}), kCommandDone);

  EXPECT_EQ(first.Settings(), (ReaderParameterBlock{1, 0, 1, 0, 0}));
  EXPECT_EQ(second.Opens(), 0);
  EXPECT_EQ(second.Settings(), ReaderParameterBlock::Defaults());
}

TEST_F(ReaderLinkE2E, ReaderThatFailsToOpenDoesNotHideTheNextOne) {
  EmulatedReader& broken = bus_.AddReader();
  EmulatedReader& working = bus_.AddReader();
  broken.FailOpens(true);

  ReaderHandle handle = reader_.OpenReader();

  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(SetReaderConfig(handle, {3, 1, 0, 0, 0}), kCommandDone);
  EXPECT_EQ(working.Settings(), (ReaderParameterBlock{3, 1, 0, 0, 0}));
  EXPECT_EQ(broken.Opens(), 1);
  EXPECT_THAT(broken.FeatureRequests(), IsEmpty());
}

TEST_F(ReaderLinkE2E, NoReaderThatOpensGivesTheInvalidHandle) {
  bus_.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& broken = bus_.AddReader();
  broken.FailOpens(true);

  EXPECT_TRUE(reader_.OpenReader().IsInvalid());
  EXPECT_EQ(broken.Opens(), 1);
}

TEST_F(ReaderLinkE2E, UnpluggedReaderIsNotFoundAndWorksWhenPluggedBack) {
  EmulatedReader& reader = bus_.AddReader();
  reader.Unplug();

  EXPECT_TRUE(reader_.OpenReader().IsInvalid());
  EXPECT_EQ(reader.Opens(), 0);

  reader.Plug();
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(SetReaderConfig(handle, {6, 0, 0, 0, 0}), kCommandDone);
  EXPECT_EQ(reader.Settings(), (ReaderParameterBlock{6, 0, 0, 0, 0}));
}

TEST_F(ReaderLinkE2E, ReaderUnpluggedWhileOpenFailsTheExchange) {
  EmulatedReader& reader = bus_.AddReader();
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());

  reader.Unplug();

  EXPECT_EQ(SetReaderConfig(handle, {6, 0, 0, 0, 0}), kCommandFailed);
  EXPECT_FALSE(NotifyClose(handle));
  EXPECT_THAT(reader.Reports(), IsEmpty());
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
}

// A second program on the reader: while it holds the reader, an exchange
// here is told "busy" at once and sends nothing, so the frames of the two
// never interleave; once it lets go, the exchange goes through.
TEST_F(ReaderLinkE2E, AReaderHeldByAnotherProgramIsBusyUntilItLetsGo) {
  EmulatedReader& reader = bus_.AddReader();
  int toChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  std::FILE* fromChild = nullptr;
  const pid_t child = [&] {
    int fromChildFds[2];
    EXPECT_EQ(pipe(fromChildFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(toChild[0], STDIN_FILENO);
      dup2(fromChildFds[1], STDOUT_FILENO);
      close(toChild[1]);
      close(fromChildFds[0]);
      // The umockdev preload comes before the sanitizer runtime, as in this
      // process (see emulator/EmulatedHidBus.cpp).
      const char* options = std::getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":verify_asan_link_order=0").c_str(), 1);
      execl(HOLD_READER, HOLD_READER, reader.NodePath().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChildFds[1]);
    fromChild = fdopen(fromChildFds[0], "r");
    return pid;
  }();
  ASSERT_GT(child, 0);
  char said[128] = {};
  ASSERT_NE(std::fgets(said, sizeof said, fromChild), nullptr);
  ASSERT_STREQ(said, "held\n");

  OpenedReader opened = reader_.Open();
  ExchangeOutcome outcome = opened.outcome;
  EXPECT_TRUE(opened.handle.IsInvalid());
  EXPECT_EQ(outcome.outcome, Outcome::kBusy) << DescribeOutcome(outcome);
  EXPECT_EQ(outcome.error.number, EWOULDBLOCK);
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());

  close(toChild[1]);  // the other program lets go and ends
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::fclose(fromChild);

  opened = reader_.Open();
  ASSERT_TRUE(opened.handle.IsOpen()) << DescribeOutcome(opened.outcome);
  EXPECT_EQ(SetReaderConfig(opened.handle, {5, 0, 1, 0, 0}), kCommandDone);
  EXPECT_EQ(reader.Settings(), (ReaderParameterBlock{5, 0, 1, 0, 0}));
}

// What the link makes of each way the reader can answer a command-6 header.
struct AnswerCase {
  const char* name;
  ReaderBehaviour behaviour;
  CommandResult result;
  std::vector<FeatureRequest> requests;
  std::vector<ReportKind> received;
  bool settingsTaken;
};

class ReaderAnswerE2E : public ReaderLinkE2E, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ReaderAnswerE2E, DecidesTheResultAndWhetherTheChunkIsSent) {
  const AnswerCase& c = GetParam();
  EmulatedReader& reader = bus_.AddReader();
  reader.SetBehaviour(c.behaviour);
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  const ReaderParameterBlock block{2, 0, 1, 1, 0};

  EXPECT_EQ(SetReaderConfig(handle, block), c.result);

  EXPECT_EQ(reader.FeatureRequests(), c.requests);
  EXPECT_EQ(KindsOf(reader.Reports()), c.received);
  EXPECT_EQ(reader.Settings(), c.settingsTaken ? block : ReaderParameterBlock::Defaults());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReaderAnswerE2E,
    ::testing::Values(
        AnswerCase{"Acknowledged", ReaderBehaviour::kNormal, kCommandDone, {kSet, kGet, kSet},
                   {ReportKind::kHeader, ReportKind::kDataChunk}, true},
        AnswerCase{"Refused", ReaderBehaviour::kRefuse, kCommandFailed, {kSet, kGet},
                   {ReportKind::kHeader}, false},
        AnswerCase{"Status", ReaderBehaviour::kStatus, kCommandStatus, {kSet, kGet},
                   {ReportKind::kHeader}, false},
        AnswerCase{"Stalled", ReaderBehaviour::kStall, kCommandFailed, {kSet}, {}, false},
        // The header's answer need not echo it, and command 6 reads nothing
        // after its chunk.
        AnswerCase{"Garbage", ReaderBehaviour::kGarbage, kCommandDone, {kSet, kGet, kSet},
                   {ReportKind::kHeader, ReportKind::kDataChunk}, true}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(ReaderLinkE2E, OtherCommandsWaitForEachChunksAcknowledgement) {
  EmulatedReader& reader = bus_.AddReader();
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  const std::uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

  EXPECT_EQ(SendReaderCommand(handle, 0x07, sizeof data, data), kCommandDone);

  EXPECT_THAT(reader.FeatureRequests(), ElementsAre(kSet, kGet, kSet, kGet, kSet, kGet));
  EXPECT_THAT(BytesOf(reader.Reports()),
              ElementsAre(FeatureReport{0x00, 0x55, 0x11, 0x07, 0x0A, 0x63, 0x63, 0x63, 0x63},
                          FeatureReport{0x00, 1, 2, 3, 4, 5, 6, 7, 8},
                          FeatureReport{0x00, 9, 10, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reader.Settings(), ReaderParameterBlock::Defaults());
}

TEST_F(ReaderLinkE2E, ChunkWithoutAcknowledgementEndsTheTransferAfterFiveReads) {
  EmulatedReader& reader = bus_.AddReader();
  reader.SetBehaviour(ReaderBehaviour::kGarbage);
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  const std::uint8_t data[10] = {};

  EXPECT_EQ(SendReaderCommand(handle, 0x07, sizeof data, data), kCommandFailed);

  EXPECT_THAT(reader.FeatureRequests(),
              ElementsAre(kSet, kGet, kSet, kGet, kGet, kGet, kGet, kGet));
  EXPECT_THAT(KindsOf(reader.Reports()), ElementsAre(ReportKind::kHeader, ReportKind::kDataChunk));
}

TEST_F(ReaderLinkE2E, ObserverSeesEachReportBeforeTheRequestCompletes) {
  EmulatedReader& reader = bus_.AddReader();
  std::mutex mutex;
  std::vector<std::string> seen;
  reader.SetReportObserver([&](const emulated::ReceivedReport& report) {
    std::lock_guard lock(mutex);
    seen.push_back(emulated::DescribeReport(report));
  });
  ReaderHandle handle = reader_.OpenReader();
  ASSERT_TRUE(handle.IsOpen());

  ASSERT_TRUE(NotifyOpen(handle));
  {
    std::lock_guard lock(mutex);
    EXPECT_THAT(seen, ElementsAre("open notice"));
  }
  ASSERT_EQ(SetReaderConfig(handle, {7, 0, 0, 1, 0}), kCommandDone);

  std::lock_guard lock(mutex);
  EXPECT_THAT(seen, ElementsAre("open notice", "header: command 6, 5 bytes",
                                "data chunk: 07 00 00 01 00 00 00 00 = settings: format "
                                "2h10d+4h10d (7), Passive, No-Enter, power saving on"));
}

TEST(ReportText, DescribesSettingsAndReports) {
  struct {
    ReaderParameterBlock block;
    const char* text;
  } const settings[] = {
      {ReaderParameterBlock::Defaults(), "format 6h10d (4), Active, Enter, power saving off"},
      {{0, 0, 0, 1, 0}, "format 6h (0), Passive, No-Enter, power saving on"},
      {{8, 1, 1, 0, 0}, "format IC format 8 (8), Active, Enter, power saving off"},
      {{12, 1, 1, 0, 0}, "format IC format 12 (12), Active, Enter, power saving off"},
      {{13, 2, 3, 4, 0}, "format 13, mode 2, enter 3, power saving 4"},
  };
  for (const auto& s : settings) EXPECT_EQ(DescribeBlock(s.block), s.text);

  emulated::ReceivedReport unknown;
  unknown.bytes = {0x01, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0xAB};
  EXPECT_EQ(emulated::DescribeReport(unknown), "unknown: 01 55 11 06 05 63 63 63 ab");
  emulated::ReceivedReport secondChunk{ReportKind::kDataChunk, {0x00, 9}, 6, 9, 1};
  EXPECT_EQ(emulated::DescribeReport(secondChunk), "data chunk: 09 00 00 00 00 00 00 00");
}

}  // namespace
}  // namespace rdrconf
