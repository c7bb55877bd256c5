// Finding the reader among the host's HID interfaces.
#include <gtest/gtest.h>

#include <cerrno>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/FakeHidHost.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using Kind = FakeHidHost::Kind;

class CardReaderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(host.Opens(), host.Closes()) << "every opened interface is closed";
  }
  FakeHidHost host;
  CardReader reader{host};
};

TEST_F(CardReaderTest, NoReaderGivesTheInvalidHandle) {
  struct Case {
    const char* name;
    void (*setUp)(FakeHidHost&);
  } const cases[] = {
      {"no interface at all", [](FakeHidHost&) {}},
      {"listing fails", [](FakeHidHost& h) { h.AddReader(); h.FailListing(); }},
      {"same vendor, other product", [](FakeHidHost& h) { h.AddInterface("/dev/a", kReaderVendorId, 0xAC09); }},
      {"other vendor, same product", [](FakeHidHost& h) { h.AddInterface("/dev/a", 0x1D58, kReaderProductId); }},
      {"the only reader will not open", [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidHost scenario;
    c.setUp(scenario);
    const CardReader reader(scenario);
    const ReaderHandle handle = reader.OpenReader();
    EXPECT_TRUE(handle.IsInvalid());
    EXPECT_FALSE(handle.IsOpen());
    EXPECT_EQ(scenario.Opens(), 0);
  }
}

TEST_F(CardReaderTest, OnlyTheFirstMatchingInterfaceIsOpened) {
  host.AddInterface("/dev/keyboard", 0x046D, 0xC31C);
  host.AddInterface("/dev/sibling", kReaderVendorId, 0x0001);
  host.AddReader("/dev/first-reader");
  host.AddReader("/dev/second-reader");
  host.AddInterface("/dev/mouse", 0x046D, 0xC077);

  ReaderHandle handle = reader.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(host.OpenedPaths(), std::vector<std::string>{"/dev/first-reader"});
  EXPECT_EQ(host.OpenNow(), 1);
  handle.Close();
  EXPECT_TRUE(handle.IsNull());
  EXPECT_EQ(host.OpenNow(), 0);
}

TEST_F(CardReaderTest, ReaderThatWillNotOpenIsPassedOver) {
  host.AddInterface("/dev/locked-keyboard", 0x046D, 0xC31C);
  host.AddReader("/dev/busy-reader");
  host.AddReader("/dev/usable-reader");
  host.FailOpen("/dev/locked-keyboard");  // never tried: other ids
  host.FailOpen("/dev/busy-reader");

  const ReaderHandle handle = reader.OpenReader();
  ASSERT_TRUE(handle.IsOpen());
  EXPECT_EQ(host.OpenedPaths(), (std::vector<std::string>{"/dev/busy-reader", "/dev/usable-reader"}));
  host.ClearRequests();
  EXPECT_TRUE(NotifyOpen(handle));
  EXPECT_EQ(host.Requests().front().path, "/dev/usable-reader");
}

TEST_F(CardReaderTest, UnpluggedReaderIsNotFoundAndPluggingItBackWorks) {
  host.AddReader();
  { EXPECT_TRUE(reader.OpenReader().IsOpen()); }
  host.RemoveInterface(FakeHidHost::kReaderPath);
  EXPECT_TRUE(reader.OpenReader().IsInvalid());
  host.AddReader();
  const ReaderHandle again = reader.OpenReader();
  EXPECT_TRUE(again.IsOpen());
  EXPECT_TRUE(NotifyOpen(again));
}

TEST_F(CardReaderTest, HandleClosesItsInterfaceExactlyOnceOnEveryPath) {
  host.AddReader();
  {
    ReaderHandle moved;
    {
      ReaderHandle opened = reader.OpenReader();
      moved = std::move(opened);
      EXPECT_TRUE(opened.IsNull());
    }
    EXPECT_EQ(host.Closes(), 0) << "the moved-from handle owns nothing";
    moved = reader.OpenReader();  // assigning over an open handle closes it first
    EXPECT_EQ(host.Closes(), 1);
    moved.Close();
    moved.Close();
    EXPECT_EQ(host.Closes(), 2);
  }
  ReaderHandle invalid = ReaderHandle::Invalid();
  invalid.Close();
  EXPECT_TRUE(invalid.IsInvalid()) << "closing the invalid handle leaves it as it is";
  EXPECT_EQ(host.Opens(), 2);
}

TEST_F(CardReaderTest, AFailedSearchSaysWhy) {
  struct Case {
    const char* name;
    void (*setUp)(FakeHidHost&);
    Outcome outcome;
    Request request;
    int number;
  } const cases[] = {
      {"nothing present", [](FakeHidHost&) {}, Outcome::kNoReader, Request::kNone, 0},
      {"listing fails", [](FakeHidHost& h) { h.FailListing(); }, Outcome::kNoReader, Request::kListing, EIO},
      {"permission denied", [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath, EACCES); },
       Outcome::kDenied, Request::kOpen, EACCES},
      {"not permitted", [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath, EPERM); },
       Outcome::kDenied, Request::kOpen, EPERM},
      {"held by another program",
       [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath, EWOULDBLOCK); },
       Outcome::kBusy, Request::kOpen, EWOULDBLOCK},
      {"gone since the listing", [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath, ENODEV); },
       Outcome::kNoReader, Request::kOpen, ENODEV},
      {"other failure", [](FakeHidHost& h) { h.AddReader(); h.FailOpen(FakeHidHost::kReaderPath, EIO); },
       Outcome::kFailed, Request::kOpen, EIO},
      // With two readers that both fail, the first one's reason is given.
      {"first of two denied", [](FakeHidHost& h) {
         h.AddReader("/dev/a");
         h.AddReader("/dev/b");
         h.FailOpen("/dev/a", EACCES);
         h.FailOpen("/dev/b", EWOULDBLOCK);
       }, Outcome::kDenied, Request::kOpen, EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHidHost scenario;
    c.setUp(scenario);
    const OpenedReader opened = CardReader(scenario).Open();
    const ExchangeOutcome& outcome = opened.outcome;
    EXPECT_TRUE(opened.handle.IsInvalid());
    EXPECT_EQ(outcome.outcome, c.outcome);
    EXPECT_EQ(outcome.request, c.request);
    EXPECT_EQ(outcome.error.number, c.number);
    EXPECT_FALSE(outcome.Succeeded());
  }
}

TEST_F(CardReaderTest, ReadersAreListedWithTheirIdentityWithoutOpeningAnything) {
  host.AddInterface("/dev/keyboard", 0x046D, 0xC31C);
  host.AddReader("/dev/hidraw3", "SN-1");
  host.AddReader("/dev/hidraw4");
  host.DenyAccess("/dev/hidraw4");

  const std::vector<ReaderIdentity> readers = reader.ListReaders();
  ASSERT_EQ(readers.size(), 2u);
  EXPECT_EQ(readers[0].index, 0);
  EXPECT_EQ(readers[0].hid.path, "/dev/hidraw3");
  EXPECT_EQ(readers[0].hid.serialNumber, "SN-1");
  EXPECT_EQ(readers[0].hid.product, "Fake card reader");
  EXPECT_TRUE(readers[0].mayOpen);
  EXPECT_EQ(readers[0].Label(), "SN-1");
  EXPECT_EQ(readers[1].index, 1);
  EXPECT_FALSE(readers[1].mayOpen);
  EXPECT_EQ(readers[1].Label(), "USB " + readers[1].hid.usbPort) << "no serial: the USB port";
  EXPECT_EQ(host.Kinds(), std::vector<Kind>{Kind::kList}) << "the listing alone";
}

TEST_F(CardReaderTest, SelectorNamesOneReaderByPathSerialOrIndex) {
  host.AddReader("/dev/hidraw1", "A1");
  host.AddReader("/dev/hidraw2", "1");  // a serial that looks like an index
  host.AddReader("/dev/hidraw3", "");

  const auto opened = [&](const ReaderSelector& selector) {
    host.ClearRequests();
    const OpenedReader opened = reader.Open(selector);
    return opened.handle.IsOpen() ? opened.handle.Interface().path : std::string(OutcomeName(opened.outcome.outcome));
  };
  EXPECT_EQ(opened({}), "/dev/hidraw1");
  EXPECT_EQ(opened(ReaderSelector::Parse("/dev/hidraw3")), "/dev/hidraw3");
  EXPECT_EQ(opened(ReaderSelector::Parse("A1")), "/dev/hidraw1");
  EXPECT_EQ(opened(ReaderSelector::Parse("1")), "/dev/hidraw2") << "a matching serial wins over an index";
  EXPECT_EQ(opened(ReaderSelector::Parse("2")), "/dev/hidraw3");
  EXPECT_EQ(opened(ReaderSelector::Index(1)), "/dev/hidraw2");
  EXPECT_EQ(opened(ReaderSelector::Parse("/dev/hidraw9")), "no_reader");
  EXPECT_EQ(opened(ReaderSelector::Parse("Z9")), "no_reader");
  EXPECT_EQ(opened(ReaderSelector::Parse("7")), "no_reader");
  EXPECT_EQ(host.OpenedPaths(), std::vector<std::string>{}) << "a selector that names none opens nothing";

  // A named reader that will not open is not replaced by another.
  host.FailOpen("/dev/hidraw1", EWOULDBLOCK);
  EXPECT_EQ(opened(ReaderSelector::Parse("A1")), "busy");
  EXPECT_EQ(host.OpenedPaths(), std::vector<std::string>{"/dev/hidraw1"});
  EXPECT_EQ(opened({}), "/dev/hidraw2") << "the default passes a busy reader by";
}

TEST(ReaderOutcomeTest, DescriptionsNameTheRequestAndTheSystemsReason) {
  ExchangeOutcome chunk{Outcome::kFailed, Request::kChunk, 0, {EPIPE, "Broken pipe"}};
  EXPECT_EQ(DescribeOutcome(chunk), "the data chunk 0 request failed: Broken pipe (errno 32)");
  ExchangeOutcome refused{Outcome::kRefused, Request::kAnswer, -1, {}};
  EXPECT_EQ(DescribeOutcome(refused), "the reader refused the command: eight 0xAA bytes as the answer to the command header");
  EXPECT_EQ(DescribeOutcome(OpenFailure({EACCES, "cannot open /dev/hidraw0: Permission denied"})),
            "permission denied opening the reader: cannot open /dev/hidraw0: Permission denied (errno 13)");
  EXPECT_STREQ(OutcomeName(Outcome::kNoReader), "no_reader");
  EXPECT_STREQ(RequestName(Request::kAcknowledgement), "acknowledgement");
  EXPECT_STREQ(RequestName(Request::kNone), "");
}

}  // namespace
}  // namespace rdrconf
