// The reader commands on the wire, report id included.
#include <gtest/gtest.h>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/FakeHidHost.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using test::Report;
using Kind = FakeHidHost::Kind;

class ReaderCommandsTest : public ::testing::Test {
 protected:
  ReaderCommandsTest() { host.AddReader(); }

  ReaderHandle Open() {
    ReaderHandle handle = reader.OpenReader();
    EXPECT_TRUE(handle.IsOpen());
    host.ClearRequests();
    return handle;
  }

  FakeHidHost host;
  CardReader reader{host};
};

TEST_F(ReaderCommandsTest, SetExchangeIsHeaderAnswerAndOneZeroFilledChunk) {
  const ReaderHandle handle = Open();
  const ReaderParameterBlock block{7, 0, 0, 1, 0};
  EXPECT_EQ(SetReaderConfig(handle, block), kCommandDone);

  EXPECT_EQ(host.Kinds(), (std::vector<Kind>{Kind::kSet, Kind::kGet, Kind::kSet}));
  EXPECT_EQ(host.SetReports(),
            (std::vector<FeatureReport>{Report({0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63}),
                                        Report({0x00, 0x07, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00})}));
  EXPECT_EQ(host.Requests()[1].report[0], 0x00) << "the answer is asked for with report id 0";
}

TEST_F(ReaderCommandsTest, RestoreSendsTheDefaultBlock) {
  const ReaderHandle handle = Open();
  EXPECT_EQ(RestoreReaderConfig(handle), kCommandDone);
  EXPECT_EQ(host.SetReports(),
            (std::vector<FeatureReport>{Report({0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63}),
                                        Report({0x00, 0x04, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00})}));
  EXPECT_EQ((ReaderParameterBlock::Defaults().Bytes()),
            (std::array<std::uint8_t, 5>{0x04, 0x01, 0x01, 0x00, 0x00}));
}

TEST_F(ReaderCommandsTest, CommandSixReadsNothingAfterItsChunkAndPassesTheResultOn) {
  struct Case {
    const char* name;
    ReaderFrame headerAnswer;
    CommandResult result;
    std::size_t requests;
  } const cases[] = {
      // A reader that ignores the data still gives "done": nothing is read after the chunk.
      {"answer ignored", {0, 0, 0, 0, 0, 0, 0, 0}, kCommandDone, 3},
      {"refusal", {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, kCommandFailed, 2},
      {"status", {0x55, 0x11, 0x06, 0x05, 0x02, 0, 0, 0}, kCommandStatus, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReaderHandle handle = Open();
    host.QueueAnswer(c.headerAnswer);
    EXPECT_EQ(SetReaderConfig(handle, ReaderParameterBlock::Defaults()), c.result);
    EXPECT_EQ(host.Requests().size(), c.requests);
  }
}

TEST_F(ReaderCommandsTest, NoticesAreOneFrameAndOneAnswer) {
  const ReaderHandle handle = Open();
  host.QueueAnswer({0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});  // content is not examined
  EXPECT_TRUE(NotifyOpen(handle));
  EXPECT_TRUE(NotifyClose(handle));
  EXPECT_EQ(host.Kinds(), (std::vector<Kind>{Kind::kSet, Kind::kGet, Kind::kSet, Kind::kGet}));
  EXPECT_EQ(host.SetReports(),
            (std::vector<FeatureReport>{Report({0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63}),
                                        Report({0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63})}));
}

TEST_F(ReaderCommandsTest, NoticeFailsWhenItsSetOrItsAnswerFails) {
  {
    const ReaderHandle handle = Open();
    host.FailSet(1);
    EXPECT_FALSE(NotifyOpen(handle));
    EXPECT_EQ(host.Kinds(), std::vector<Kind>{Kind::kSet}) << "nothing is read after a failed set";
  }
  {
    const ReaderHandle handle = Open();
    host.FailGet(1);
    EXPECT_FALSE(NotifyClose(handle));
  }
}

TEST_F(ReaderCommandsTest, NullAndInvalidHandlesMakeNoRequest) {
  host.ClearRequests();
  const ReaderHandle null;
  const ReaderHandle invalid = ReaderHandle::Invalid();
  for (const ReaderHandle* handle : {&null, &invalid}) {
    EXPECT_FALSE(NotifyOpen(*handle));
    EXPECT_FALSE(NotifyClose(*handle));
    EXPECT_EQ(SetReaderConfig(*handle, ReaderParameterBlock::Defaults()), kCommandFailed);
    EXPECT_EQ(RestoreReaderConfig(*handle), kCommandFailed);
  }
  EXPECT_TRUE(host.Requests().empty());
}

}  // namespace
}  // namespace rdrconf
