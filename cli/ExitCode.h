#pragma once

#include "reader/ReaderOutcome.h"

namespace rdrconf::cli {

// The exit status of rdrconf-cli; scripts rely on these numbers.
enum ExitCode : int {
  kExitDone = 0,
  kExitInternal = 1,       // an internal error, or the system around the reader is not ready
  kExitUsage = 2,          // bad arguments
  kExitNoReader = 3,       // no reader, or none that the selection names
  kExitDenied = 4,         // this user may not open the reader
  kExitBusy = 5,           // another program holds the reader
  kExitFailed = 6,         // the reader refused, or a request failed
  kExitSeveralReaders = 8, // several readers and no selection
  kExitTimeout = 9,        // test: no card within the time
};

constexpr int ExitCodeOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone:
    case Outcome::kStatus: return kExitDone;
    case Outcome::kNoReader: return kExitNoReader;
    case Outcome::kDenied: return kExitDenied;
    case Outcome::kBusy: return kExitBusy;
    case Outcome::kRefused:
    case Outcome::kFailed: return kExitFailed;
  }
  return kExitInternal;
}

}  // namespace rdrconf::cli
