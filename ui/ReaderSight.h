#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/CardScan.h"
#include "reader/SettingsRecord.h"

namespace rdrconf {

class DialogBase;

// The part of the settings window that keeps the reader in sight, below the
// options: a status line that follows plugging and unplugging (from udev's
// events and the listing alone: it never opens the reader), a picker when
// more than one reader is present, what this computer wrote to the chosen
// reader last, and a test scan that reads the reader's keyboard side. The
// window owns it and hands it the events of its controls.
class ReaderSight {
 public:
  ReaderSight(DialogBase& window, CardReader& reader);
  ReaderSight(const ReaderSight&) = delete;
  ReaderSight& operator=(const ReaderSight&) = delete;

  // Lists the readers, shows their state and starts following hot-plug.
  void Start();
  // Lists the readers anew and shows what changed.
  void Refresh();
  // The reader that exchanges go to: with one reader (or none) the first
  // one that opens, as the window always did; with several, the one picked.
  ReaderSelector Selector() const;

  void OnPickerChange();
  void ToggleScan();
  // A write went through: remember it for the chosen reader.
  void NoteWritten(const HidInterfaceInfo& reader, const ReaderSettings& settings,
                   const ExchangeOutcome& outcome);
  // The window ends: the scan lets go of the keyboard side.
  void Stop();

  bool Scanning() const;

 private:
  void ShowStatus(const ReaderStatus& status);
  void ShowLastWritten();
  void StartScan();
  void StopScan(const std::string& why);
  void OnKeys();
  void FinishCard();
  void RestartCardTimer();

  DialogBase& window_;
  CardReader& reader_;
  ReaderStatus status_;
  SettingsRecord record_;  // what was written to each reader, shared with rdrconf-cli
  // The reader picked, as it was last seen (an empty path: none yet). It
  // stays picked while it is away, and is found again when it comes back
  // under another node, by what told it apart from the others.
  struct Picked {
    HidInterfaceInfo hid;
    bool serialShared = false;  // another reader had its serial number

    static Picked Of(const ReaderIdentity& reader, const std::vector<ReaderIdentity>& present);
    const ReaderIdentity* In(const std::vector<ReaderIdentity>& present) const;
  };
  Picked chosen_;
  ScanDecoder decoder_;
  int cardTimer_ = 0;   // 30 s without a card ends the scan
  int quietTimer_ = 0;  // a number without Enter ends when the keys stop
};

}  // namespace rdrconf
