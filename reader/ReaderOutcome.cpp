#include "reader/ReaderOutcome.h"

#include <cerrno>

namespace rdrconf {

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone: return "done";
    case Outcome::kStatus: return "status";
    case Outcome::kNoReader: return "no_reader";
    case Outcome::kDenied: return "denied";
    case Outcome::kBusy: return "busy";
    case Outcome::kRefused: return "refused";
    case Outcome::kFailed: return "failed";
  }
  return "failed";
}

const char* RequestName(Request request) {
  switch (request) {
    case Request::kNone: return "";
    case Request::kListing: return "listing";
    case Request::kOpen: return "open";
    case Request::kOpenNotice: return "open_notice";
    case Request::kCloseNotice: return "close_notice";
    case Request::kNoticeAnswer: return "notice_answer";
    case Request::kHeader: return "header";
    case Request::kAnswer: return "answer";
    case Request::kChunk: return "chunk";
    case Request::kAcknowledgement: return "acknowledgement";
  }
  return "";
}

namespace {

std::string RequestInWords(const ExchangeOutcome& outcome) {
  const std::string chunk = outcome.chunk >= 0 ? " " + std::to_string(outcome.chunk) : "";
  switch (outcome.request) {
    case Request::kNone: return "the exchange";
    case Request::kListing: return "listing the HID devices";
    case Request::kOpen: return "opening the reader";
    case Request::kOpenNotice: return "the open notice";
    case Request::kCloseNotice: return "the close notice";
    case Request::kNoticeAnswer: return "the answer to the notice";
    case Request::kHeader: return "the command header";
    case Request::kAnswer: return "the answer to the command header";
    case Request::kChunk: return "the data chunk" + chunk;
    case Request::kAcknowledgement: return "the acknowledgement of data chunk" + chunk;
  }
  return "the exchange";
}

std::string Reason(const HidError& error) {
  if (error.text.empty() && error.number == 0) return "";
  std::string reason = error.text.empty() ? "error" : error.text;
  if (error.number != 0) reason += " (errno " + std::to_string(error.number) + ")";
  return reason;
}

std::string WithReason(std::string what, const HidError& error) {
  const std::string reason = Reason(error);
  return reason.empty() ? what : what + ": " + reason;
}

}  // namespace

std::string DescribeOutcome(const ExchangeOutcome& outcome) {
  switch (outcome.outcome) {
    case Outcome::kDone: return "done";
    case Outcome::kStatus:
      // At the header, before any data: command 6 is the only command sent,
      // so what the reader did not take is the settings block.
      if (outcome.request == Request::kAnswer) {
        return "the reader gave a status answer (0x02 in byte 4) to the command header and took no "
               "settings block";
      }
      return "the reader gave a status answer (0x02 in byte 4) as " + RequestInWords(outcome) +
             " and took no further data";
    case Outcome::kNoReader: return WithReason("no reader", outcome.error);
    case Outcome::kDenied: return WithReason("permission denied opening the reader", outcome.error);
    case Outcome::kBusy: return WithReason("another program is using the reader", outcome.error);
    case Outcome::kRefused:
      return "the reader refused the command: eight 0xAA bytes as " + RequestInWords(outcome);
    case Outcome::kFailed:
      return WithReason(RequestInWords(outcome) + " request failed", outcome.error);
  }
  return "failed";
}

ExchangeOutcome OpenFailure(const HidError& error) {
  ExchangeOutcome outcome;
  outcome.request = Request::kOpen;
  outcome.error = error;
  switch (error.number) {
    case EACCES:
    case EPERM: outcome.outcome = Outcome::kDenied; break;
    case EWOULDBLOCK: outcome.outcome = Outcome::kBusy; break;
    case ENOENT:
    case ENODEV: outcome.outcome = Outcome::kNoReader; break;
    default: outcome.outcome = Outcome::kFailed; break;
  }
  return outcome;
}

}  // namespace rdrconf
