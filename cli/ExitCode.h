#pragma once

#include "reader/ReaderOutcome.h"

namespace rdrconf::cli {

// The exit status of rdrconf-cli; scripts rely on these numbers.
enum ExitCode : int {
  kExitDone = 0,
  kExitInternal = 1,          // an internal error: the HID devices cannot be listed, the output cannot be written
  kExitUsage = 2,             // bad arguments, or a bad profile
  kExitNoReader = 3,          // no reader, or none that the selection names; test: no keyboard side, or unplugged
  kExitDenied = 4,            // this user may not open the reader
  kExitBusy = 5,              // another program holds the reader
  kExitFailed = 6,            // the reader refused, or a request failed
  kExitNotSetUp = 7,          // the system lacks what the command needs: the udev rule, the language files, udev's
                              // events, a keyboard side to read (doctor, watch, test)
  kExitSeveralReaders = 8,    // several readers and no selection, or a selection that names several
  kExitTimeout = 9,           // test: no card within the time
  kExitInterrupted = 10,      // test: stopped (SIGINT, SIGTERM) before a card came
  kExitNothingRecorded = 11,  // export: nothing was written to the reader from this computer
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

// The order of outcomes from best to worst, for commands that act on
// several readers: a status answer is worse than done, and failures count
// by their exit status.
constexpr int Severity(Outcome outcome) {
  if (outcome == Outcome::kDone) return 0;
  if (outcome == Outcome::kStatus) return 1;
  return 10 + ExitCodeOf(outcome);
}

}  // namespace rdrconf::cli
