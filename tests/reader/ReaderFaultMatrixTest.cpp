// Every exchange with the reader, run as the settings window runs it (search,
// the exchange on the handle found, close), with each of its requests made to
// fail in turn.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/FakeHidHost.h"

namespace rdrconf {
namespace {

using test::FakeHidHost;
using Kind = FakeHidHost::Kind;

// What the exchange gave: whether a reader was found for the search,
// true/false for a notice, the command result for set and restore.
using Exchange = std::function<int(const ReaderHandle&)>;

int Search(const ReaderHandle& handle) { return handle.IsOpen() ? 1 : 0; }
int OpenNotice(const ReaderHandle& handle) { return NotifyOpen(handle) ? 1 : 0; }
int CloseNotice(const ReaderHandle& handle) { return NotifyClose(handle) ? 1 : 0; }
int Set(const ReaderHandle& handle) { return SetReaderConfig(handle, {2, 0, 0, 1, 0}); }
int Restore(const ReaderHandle& handle) { return RestoreReaderConfig(handle); }

enum class Fault { kNone, kListing, kOpen, kFirstSet, kFirstGet, kSecondSet };
const char* const kFaultNames[] = {"none", "listing", "open", "first set", "first get", "second set"};

struct Row {
  const char* exchange;
  Exchange run;
  Fault fault;
  int result;
  std::vector<Kind> requests;  // all of them, the failed one included
};

TEST(ReaderFaultMatrixTest, EachRequestFailingEndsTheExchangeWithAFailureAndClosesTheReader) {
  const std::vector<Kind> noReader{Kind::kList};
  const std::vector<Kind> notFound{Kind::kList, Kind::kOpen};
  const std::vector<Kind> oneFrame{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kClose};
  const std::vector<Kind> frameAndAnswer{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kClose};
  const std::vector<Kind> command{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kSet, Kind::kClose};

  const Row rows[] = {
      {"search", Search, Fault::kNone, 1, {Kind::kList, Kind::kOpen, Kind::kClose}},
      {"search", Search, Fault::kListing, 0, noReader},
      {"search", Search, Fault::kOpen, 0, notFound},

      {"open notice", OpenNotice, Fault::kNone, 1, frameAndAnswer},
      {"open notice", OpenNotice, Fault::kListing, 0, noReader},
      {"open notice", OpenNotice, Fault::kOpen, 0, notFound},
      {"open notice", OpenNotice, Fault::kFirstSet, 0, oneFrame},
      {"open notice", OpenNotice, Fault::kFirstGet, 0, frameAndAnswer},

      {"set", Set, Fault::kNone, kCommandDone, command},
      {"set", Set, Fault::kListing, kCommandFailed, noReader},
      {"set", Set, Fault::kOpen, kCommandFailed, notFound},
      {"set", Set, Fault::kFirstSet, kCommandFailed, oneFrame},
      {"set", Set, Fault::kFirstGet, kCommandFailed, frameAndAnswer},
      {"set", Set, Fault::kSecondSet, kCommandFailed, command},

      {"restore", Restore, Fault::kNone, kCommandDone, command},
      {"restore", Restore, Fault::kListing, kCommandFailed, noReader},
      {"restore", Restore, Fault::kOpen, kCommandFailed, notFound},
      {"restore", Restore, Fault::kFirstSet, kCommandFailed, oneFrame},
      {"restore", Restore, Fault::kFirstGet, kCommandFailed, frameAndAnswer},
      {"restore", Restore, Fault::kSecondSet, kCommandFailed, command},

      {"close notice", CloseNotice, Fault::kNone, 1, frameAndAnswer},
      {"close notice", CloseNotice, Fault::kListing, 0, noReader},
      {"close notice", CloseNotice, Fault::kOpen, 0, notFound},
      {"close notice", CloseNotice, Fault::kFirstSet, 0, oneFrame},
      {"close notice", CloseNotice, Fault::kFirstGet, 0, frameAndAnswer},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.exchange) + ", failing: " + kFaultNames[static_cast<int>(row.fault)]);
    FakeHidHost host;
    host.AddReader();
    switch (row.fault) {
      case Fault::kNone: break;
      case Fault::kListing: host.FailListing(); break;
      case Fault::kOpen: host.FailOpen(FakeHidHost::kReaderPath); break;
      case Fault::kFirstSet: host.FailSet(1); break;
      case Fault::kFirstGet: host.FailGet(1); break;
      case Fault::kSecondSet: host.FailSet(2); break;
    }

    int result = -1;
    {
      const CardReader reader(host);
      const ReaderHandle handle = reader.OpenReader();
      result = row.run(handle);
    }

    EXPECT_EQ(result, row.result);
    EXPECT_EQ(host.Kinds(), row.requests);
    // Only the request made to fail failed; nothing but the close follows it.
    int failed = 0;
    for (const FakeHidHost::Request& request : host.Requests()) failed += request.succeeded ? 0 : 1;
    EXPECT_EQ(failed, row.fault == Fault::kNone ? 0 : 1);
    EXPECT_EQ(host.Opens(), host.Closes());
    EXPECT_EQ(host.OpenNow(), 0);
  }
}

}  // namespace
}  // namespace rdrconf
