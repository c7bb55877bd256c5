// Frames and the command transfer, checked on the wire.
#include <gtest/gtest.h>

#include <numeric>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/FakeHidHost.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using test::Report;
using Kind = FakeHidHost::Kind;

constexpr ReaderFrame kRefusal{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
constexpr ReaderFrame kGarbage{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
constexpr std::uint8_t kOtherCommand = 0x07;

ReaderFrame Acknowledgement(std::uint8_t code, std::uint8_t length) {
  return {0x55, 0x11, code, length, 0x00, 0x00, 0x00, 0x00};
}

class FrameTransferTest : public ::testing::Test {
 protected:
  FrameTransferTest() {
    host.AddReader();
    handle = reader.OpenReader();
    host.ClearRequests();
  }

  std::vector<FeatureReport> Chunks() const {
    auto reports = host.SetReports();
    reports.erase(reports.begin());  // the header
    return reports;
  }

  FakeHidHost host;
  CardReader reader{host};
  ReaderHandle handle;
};

TEST_F(FrameTransferTest, FramesTravelAfterReportIdZero) {
  EXPECT_TRUE(SendFrame(handle, {1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(host.SetReports().front(), Report({0, 1, 2, 3, 4, 5, 6, 7, 8}));

  host.QueueAnswer({9, 10, 11, 12, 13, 14, 15, 16});
  ReaderFrame frame{};
  EXPECT_TRUE(ReadFrame(handle, frame));
  EXPECT_EQ(frame, (ReaderFrame{9, 10, 11, 12, 13, 14, 15, 16}));

  host.FailGet(2);
  EXPECT_FALSE(ReadFrame(handle, frame));
  EXPECT_EQ(frame, (ReaderFrame{9, 10, 11, 12, 13, 14, 15, 16})) << "a failed read leaves the frame";

  host.FailSet(2);
  EXPECT_FALSE(SendFrame(handle, {}));
}

TEST_F(FrameTransferTest, DataIsCutIntoZeroFilledChunks) {
  std::vector<std::uint8_t> data(255);
  std::iota(data.begin(), data.end(), std::uint8_t{1});
  struct Case {
    std::uint8_t length;
    std::size_t chunks;
  } const cases[] = {{0, 0}, {1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}, {255, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.length));
    host.ClearRequests();
    ASSERT_EQ(SendReaderCommand(handle, kWriteParametersCommand, c.length, data.data()), kCommandDone);
    EXPECT_EQ(host.SetReports().front(),
              Report({0x00, 0x55, 0x11, 0x06, c.length, 0x63, 0x63, 0x63, 0x63}));
    const auto chunks = Chunks();
    ASSERT_EQ(chunks.size(), c.chunks);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      EXPECT_EQ(chunks[i][0], 0x00);
      for (std::size_t b = 0; b < 8; ++b) {
        const std::size_t offset = 8 * i + b;
        EXPECT_EQ(chunks[i][b + 1], offset < c.length ? data[offset] : 0x00)
            << "chunk " << i << " byte " << b;
      }
    }
  }
}

TEST_F(FrameTransferTest, AnswerToTheHeaderDecidesWhetherChunksFollow) {
  const std::uint8_t data[] = {0xDE, 0xAD};
  ReaderFrame sevenRefusalBytes = kRefusal;
  sevenRefusalBytes[7] = 0x00;
  ReaderFrame refusalLookalikeWithStatus = kRefusal;
  refusalLookalikeWithStatus[4] = 0x02;
  struct Case {
    const char* name;
    ReaderFrame answer;
    CommandResult result;
    std::size_t chunks;
  } const cases[] = {
      {"eight zero bytes are accepted", {}, kCommandDone, 1},
      {"the answer need not echo the header", kGarbage, kCommandDone, 1},
      {"seven refusal bytes are not a refusal", sevenRefusalBytes, kCommandDone, 1},
      {"refusal", kRefusal, kCommandFailed, 0},
      {"status in byte 4", {0, 0, 0, 0, 0x02, 0, 0, 0}, kCommandStatus, 0},
      {"status wins over a refusal look-alike", refusalLookalikeWithStatus, kCommandStatus, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearRequests();
    host.QueueAnswer(c.answer);
    EXPECT_EQ(SendReaderCommand(handle, kWriteParametersCommand, sizeof data, data), c.result);
    EXPECT_EQ(Chunks().size(), c.chunks);
  }
}

TEST_F(FrameTransferTest, FailedHeaderRequestsGiveFailure) {
  const std::uint8_t data[] = {1};
  host.FailSet(1);
  EXPECT_EQ(SendReaderCommand(handle, kWriteParametersCommand, 1, data), kCommandFailed);
  EXPECT_EQ(host.Kinds(), std::vector<Kind>{Kind::kSet}) << "nothing is read after a failed header";

  host.ClearRequests();
  host.FailGet(1);
  EXPECT_EQ(SendReaderCommand(handle, kWriteParametersCommand, 1, data), kCommandFailed);
  EXPECT_EQ(host.Kinds(), (std::vector<Kind>{Kind::kSet, Kind::kGet}));
}

TEST_F(FrameTransferTest, ChunkThatCannotBeSetFailsTheTransferForEveryCode) {
  std::uint8_t data[16] = {};
  for (const std::uint8_t code : {kWriteParametersCommand, kOtherCommand}) {
    SCOPED_TRACE(static_cast<int>(code));
    FakeHidHost failing;
    failing.AddReader();
    failing.SetDefaultAnswer(Acknowledgement(code, sizeof data));
    const ReaderHandle opened = CardReader(failing).OpenReader();
    failing.FailSet(2);  // the first chunk
    EXPECT_EQ(SendReaderCommand(opened, code, sizeof data, data), kCommandFailed);
    EXPECT_EQ(failing.SetReports().size(), 2u) << "no chunk follows a lost one";
  }
}

TEST_F(FrameTransferTest, OtherCommandsWaitForAnAcknowledgementOfEachChunk) {
  std::uint8_t data[12] = {};  // two chunks
  const ReaderFrame ack = Acknowledgement(kOtherCommand, sizeof data);
  ReaderFrame ackOfOtherLength = Acknowledgement(kOtherCommand, 1);
  ReaderFrame ackWithStatus = ack;
  ackWithStatus[4] = 0x02;

  struct Case {
    const char* name;
    std::vector<ReaderFrame> pollAnswers;  // after the header's answer
    std::vector<int> failingPolls;         // 1 = the first read after the first chunk
    CommandResult result;
    std::size_t chunksSent;
  } const cases[] = {
      {"acknowledged at once", {ack, ack}, {}, kCommandDone, 2},
      {"acknowledged at the fifth read", {kGarbage, kGarbage, ackOfOtherLength, kGarbage, ack, ack}, {}, kCommandDone, 2},
      {"failed reads count toward the five", {ack, ack}, {1, 2, 3, 4}, kCommandDone, 2},
      {"five failed reads", {ack, ack}, {1, 2, 3, 4, 5}, kCommandFailed, 1},
      {"no acknowledgement in five reads", {kGarbage, kGarbage, kGarbage, kGarbage, kGarbage, ack}, {}, kCommandFailed, 1},
      {"status before acknowledgement", {ackWithStatus}, {}, kCommandStatus, 1},
      {"refusal while polling", {kGarbage, kRefusal}, {}, kCommandFailed, 1},
      {"status at the second chunk", {ack, kGarbage, ackWithStatus}, {}, kCommandStatus, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidHost scripted;
    scripted.AddReader();
    scripted.SetDefaultAnswer(kGarbage);
    scripted.QueueAnswer({});  // the header's answer
    for (const ReaderFrame& answer : c.pollAnswers) scripted.QueueAnswer(answer);
    const ReaderHandle opened = CardReader(scripted).OpenReader();
    // Failed gets consume no scripted answer, so the script continues after them.
    for (int poll : c.failingPolls) scripted.FailGet(poll + 1);
    EXPECT_EQ(SendReaderCommand(opened, kOtherCommand, sizeof data, data), c.result);
    EXPECT_EQ(scripted.SetReports().size() - 1, c.chunksSent);
  }
}

TEST_F(FrameTransferTest, NullHandleOrNullDataMakesNoRequest) {
  const std::uint8_t data[] = {1};
  const ReaderHandle null;
  ReaderFrame frame{};
  EXPECT_FALSE(SendFrame(null, frame));
  EXPECT_FALSE(ReadFrame(null, frame));
  EXPECT_EQ(SendReaderCommand(null, kWriteParametersCommand, 1, data), kCommandFailed);
  EXPECT_EQ(SendReaderCommand(handle, kWriteParametersCommand, 0, nullptr), kCommandFailed);
  EXPECT_EQ(SendReaderCommand(ReaderHandle::Invalid(), kOtherCommand, 1, data), kCommandFailed);
  EXPECT_TRUE(host.Requests().empty());
}

}  // namespace
}  // namespace rdrconf
