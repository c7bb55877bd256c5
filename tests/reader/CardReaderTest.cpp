// Finding the reader among the host's HID interfaces.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace rdrconf
