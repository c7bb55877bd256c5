#pragma once

#include <cstdint>
#include <string>

#include "reader/HidHost.h"

namespace rdrconf {

// How one exchange with the reader ended.
enum class Outcome {
  kDone,      // every request went through
  kStatus,    // the reader answered with 0x02 in byte 4 and took no more
  kNoReader,  // no reader present, or none that the selection names
  kDenied,    // a reader is present, but this user may not open it
  kBusy,      // another program holds the reader
  kRefused,   // the reader answered eight 0xAA bytes
  kFailed,    // a request failed; `request` says which
};

// The requests of the exchanges, for saying which one failed.
enum class Request {
  kNone,
  kListing,            // listing the HID interfaces
  kOpen,               // opening the reader's interface
  kOpenNotice,         // setting the open notice
  kCloseNotice,        // setting the close notice
  kNoticeAnswer,       // getting the answer to a notice
  kHeader,             // setting a command header
  kAnswer,             // getting the answer to a command header
  kChunk,              // setting a data chunk
  kAcknowledgement,    // getting the acknowledgement of a data chunk
};

// What happened in an exchange. For kDenied, kBusy, kRefused, kStatus and kFailed,
// `request` names the request concerned and `error` carries the system's
// reason (its errno and text) where there is one.
struct ExchangeOutcome {
  Outcome outcome = Outcome::kDone;
  Request request = Request::kNone;
  int chunk = -1;  // kChunk and kAcknowledgement: which chunk, from 0
  HidError error;

  bool Succeeded() const { return outcome == Outcome::kDone || outcome == Outcome::kStatus; }
};

// The result of a command as the reader link has always given it. Callers
// count any nonzero value as success.
using CommandResult = std::uint8_t;
inline constexpr CommandResult kCommandFailed = 0;
inline constexpr CommandResult kCommandDone = 1;
inline constexpr CommandResult kCommandStatus = 2;  // the reader answered 0x02 in byte 4

// The one place where an outcome becomes the results the reader link has
// always given: 1 for done, 2 for a status answer, else 0; and for a notice,
// whether it went through.
inline CommandResult CommandResultOf(const ExchangeOutcome& outcome) {
  return outcome.outcome == Outcome::kDone ? kCommandDone
         : outcome.outcome == Outcome::kStatus ? kCommandStatus
                                                : kCommandFailed;
}
inline bool NoticeWentThrough(const ExchangeOutcome& outcome) { return outcome.outcome == Outcome::kDone; }

// Stable names, for logs and for the command line's JSON: "done", "status",
// "no_reader", "denied", "busy", "refused", "failed"; and "listing",
// "open", "open_notice", "close_notice", "notice_answer", "header",
// "answer", "chunk", "acknowledgement" ("" for kNone).
const char* OutcomeName(Outcome outcome);
const char* RequestName(Request request);

// One English line that says what happened and why, e.g. "the data chunk 0
// request failed: Broken pipe (errno 32)".
std::string DescribeOutcome(const ExchangeOutcome& outcome);

// The outcome that an open failing with `error` means: kDenied for EACCES
// and EPERM, kBusy for EWOULDBLOCK, kNoReader when the node has gone
// (ENOENT, ENODEV), otherwise a failed open request.
ExchangeOutcome OpenFailure(const HidError& error);

}  // namespace rdrconf
