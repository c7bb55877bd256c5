// Every exchange with the reader, run as the settings window runs it (search,
// the exchange on the handle found, close), with each of its requests made to
// fail in turn.
#include <gtest/gtest.h>

#include <cerrno>
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

// What the exchange gave: its outcome, and the result the reader link has
// always given (whether a reader was found for the search, true/false for a
// notice, the command result for set and restore).
struct Gave {
  int result;
  ExchangeOutcome outcome;
};
using Exchange = std::function<Gave(const ReaderHandle&)>;

Gave Search(const ReaderHandle& handle) { return {handle.IsOpen() ? 1 : 0, {}}; }
Gave Notified(const ReaderHandle& h, Notice notice) {
  const ExchangeOutcome outcome = SendNotice(h, notice);
  return {NoticeWentThrough(outcome) ? 1 : 0, outcome};
}
Gave OpenNotice(const ReaderHandle& h) { return Notified(h, Notice::kOpen); }
Gave CloseNotice(const ReaderHandle& h) { return Notified(h, Notice::kClose); }
Gave Write(const ReaderHandle& h, const ReaderParameterBlock& block) {
  const ExchangeOutcome outcome = WriteParameters(h, block);
  return {CommandResultOf(outcome), outcome};
}
Gave Set(const ReaderHandle& h) { return Write(h, {2, 0, 0, 1, 0}); }
Gave Restore(const ReaderHandle& h) { return Write(h, ReaderParameterBlock::Defaults()); }

enum class Fault { kNone, kListing, kOpen, kFirstSet, kFirstGet, kShortGet, kSecondSet };
const char* const kFaultNames[] = {"none", "listing", "open", "first set", "first get", "short get", "second set"};

struct Row {
  const char* exchange;
  Exchange run;
  Fault fault;
  int result;
  std::vector<Kind> requests;  // all of them, the failed one included
  Outcome outcome;
  Request failed;  // the request the outcome names
};

TEST(ReaderFaultMatrixTest, EachRequestFailingEndsTheExchangeWithAFailureAndClosesTheReader) {
  const std::vector<Kind> noReader{Kind::kList};
  const std::vector<Kind> notFound{Kind::kList, Kind::kOpen};
  const std::vector<Kind> oneFrame{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kClose};
  const std::vector<Kind> frameAndAnswer{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kClose};
  const std::vector<Kind> command{Kind::kList, Kind::kOpen, Kind::kSet, Kind::kGet, Kind::kSet, Kind::kClose};

  const Row rows[] = {
      {"search", Search, Fault::kNone, 1, {Kind::kList, Kind::kOpen, Kind::kClose}, Outcome::kDone, Request::kNone},
      {"search", Search, Fault::kListing, 0, noReader, Outcome::kNoReader, Request::kListing},
      {"search", Search, Fault::kOpen, 0, notFound, Outcome::kFailed, Request::kOpen},

      {"open notice", OpenNotice, Fault::kNone, 1, frameAndAnswer, Outcome::kDone, Request::kNone},
      {"open notice", OpenNotice, Fault::kListing, 0, noReader, Outcome::kNoReader, Request::kListing},
      {"open notice", OpenNotice, Fault::kOpen, 0, notFound, Outcome::kFailed, Request::kOpen},
      {"open notice", OpenNotice, Fault::kFirstSet, 0, oneFrame, Outcome::kFailed, Request::kOpenNotice},
      {"open notice", OpenNotice, Fault::kFirstGet, 0, frameAndAnswer, Outcome::kFailed, Request::kNoticeAnswer},
      {"open notice", OpenNotice, Fault::kShortGet, 0, frameAndAnswer, Outcome::kFailed, Request::kNoticeAnswer},

      {"set", Set, Fault::kNone, kCommandDone, command, Outcome::kDone, Request::kNone},
      {"set", Set, Fault::kListing, kCommandFailed, noReader, Outcome::kNoReader, Request::kListing},
      {"set", Set, Fault::kOpen, kCommandFailed, notFound, Outcome::kFailed, Request::kOpen},
      {"set", Set, Fault::kFirstSet, kCommandFailed, oneFrame, Outcome::kFailed, Request::kHeader},
      {"set", Set, Fault::kFirstGet, kCommandFailed, frameAndAnswer, Outcome::kFailed, Request::kAnswer},
      {"set", Set, Fault::kShortGet, kCommandFailed, frameAndAnswer, Outcome::kFailed, Request::kAnswer},
      {"set", Set, Fault::kSecondSet, kCommandFailed, command, Outcome::kFailed, Request::kChunk},

      {"restore", Restore, Fault::kNone, kCommandDone, command, Outcome::kDone, Request::kNone},
      {"restore", Restore, Fault::kListing, kCommandFailed, noReader, Outcome::kNoReader, Request::kListing},
      {"restore", Restore, Fault::kOpen, kCommandFailed, notFound, Outcome::kFailed, Request::kOpen},
      {"restore", Restore, Fault::kFirstSet, kCommandFailed, oneFrame, Outcome::kFailed, Request::kHeader},
      {"restore", Restore, Fault::kFirstGet, kCommandFailed, frameAndAnswer, Outcome::kFailed, Request::kAnswer},
      {"restore", Restore, Fault::kShortGet, kCommandFailed, frameAndAnswer, Outcome::kFailed, Request::kAnswer},
      {"restore", Restore, Fault::kSecondSet, kCommandFailed, command, Outcome::kFailed, Request::kChunk},

      {"close notice", CloseNotice, Fault::kNone, 1, frameAndAnswer, Outcome::kDone, Request::kNone},
      {"close notice", CloseNotice, Fault::kListing, 0, noReader, Outcome::kNoReader, Request::kListing},
      {"close notice", CloseNotice, Fault::kOpen, 0, notFound, Outcome::kFailed, Request::kOpen},
      {"close notice", CloseNotice, Fault::kFirstSet, 0, oneFrame, Outcome::kFailed, Request::kCloseNotice},
      {"close notice", CloseNotice, Fault::kFirstGet, 0, frameAndAnswer, Outcome::kFailed, Request::kNoticeAnswer},
      {"close notice", CloseNotice, Fault::kShortGet, 0, frameAndAnswer, Outcome::kFailed, Request::kNoticeAnswer},
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
      case Fault::kShortGet: host.ShortGet(1, 5); break;
      case Fault::kSecondSet: host.FailSet(2); break;
    }

    int result = -1;
    ExchangeOutcome outcome;
    {
      const OpenedReader opened = CardReader(host).Open();
      const Gave gave = row.run(opened.handle);
      result = gave.result;
      // A failed search already said why; the exchange then only refuses.
      outcome = opened.handle.IsOpen() ? gave.outcome : opened.outcome;
    }

    EXPECT_EQ(result, row.result);
    EXPECT_EQ(host.Kinds(), row.requests);
    EXPECT_EQ(outcome.outcome, row.outcome) << DescribeOutcome(outcome);
    EXPECT_EQ(outcome.request, row.failed) << DescribeOutcome(outcome);
    if (row.fault != Fault::kNone) {
      EXPECT_FALSE(outcome.error.text.empty()) << "the reason travels with the failure";
    }
    // Only the request made to fail failed (a short answer is a delivered
    // request that the link refuses); nothing but the close follows it.
    int failed = 0;
    for (const FakeHidHost::Request& request : host.Requests()) failed += request.succeeded ? 0 : 1;
    EXPECT_EQ(failed, row.fault == Fault::kNone || row.fault == Fault::kShortGet ? 0 : 1);
    EXPECT_EQ(host.Opens(), host.Closes());
    EXPECT_EQ(host.OpenNow(), 0);
  }
}

}  // namespace
}  // namespace rdrconf
