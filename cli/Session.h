#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/HidHost.h"
#include "reader/ReaderOutcome.h"
#include "reader/ReaderSettings.h"

namespace rdrconf::cli {

// How each exchange of one session ended. An exchange whose open failed
// carries the open's outcome.
struct SessionOutcome {
  ExchangeOutcome openNotice;
  ExchangeOutcome command;
  ExchangeOutcome closeNotice;
};

// Called when the reader took the settings (done or a status answer), while
// the reader is still held for that exchange.
using WhileHeld = std::function<void(Outcome)>;

// What one window session gives a reader, from its start to its close: the
// open notice, the settings and the close notice, each on a handle of its
// own, opened for that exchange alone by the reader's device path (so no
// other device is ever opened). As in the window, the settings are sent
// whatever became of the open notice, and the close notice whatever became
// of the settings.
//
// With `onlyIfItOpens`, a session whose open notice could not even open the
// reader ends there, with that outcome for its command, and sends nothing
// more: for a reader that has just appeared and may not be ready yet.
SessionOutcome RunSession(const CardReader& reader, const std::string& path, const ReaderSettings& settings,
                          const WhileHeld& whileHeld = {}, bool onlyIfItOpens = false);

// The reports such a session would set on `reader`, in order, made by the
// same code against a host that only takes note: nothing is opened or sent.
// Every answer is taken as a plain acknowledgement.
std::vector<FeatureReport> RehearseSession(const HidInterfaceInfo& reader, const ReaderSettings& settings);

}  // namespace rdrconf::cli
