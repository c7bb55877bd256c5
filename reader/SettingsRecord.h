#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "reader/CardReader.h"
#include "reader/HidHost.h"
#include "reader/ReaderOutcome.h"
#include "reader/ReaderSettings.h"

// The record of the settings last written from this computer to each
// reader. The reader cannot report its settings, so this is the only way to
// tell later what a reader was given. The window and the command line share
// one file, $XDG_STATE_HOME/rdrconf/readers.json (on Windows
// %LOCALAPPDATA%\rdrconf\readers.json):
//
//   {"version": 1,
//    "readers": {
//      "serial:A1B2 usb:1-1": {
//        "written_at": "2024-05-01T12:00:00Z", "outcome": "done",
//        "path": "/dev/hidraw0", "serial": "A1B2", "usb_port": "1-1",
//        "settings": {"format_index": 5, "mode": "active",
//                     "enter": true, "power_saving": false}}}}
//
// An entry belongs to the reader that its "serial" and "usb_port" name, and
// is found by them, never by its key: cheap readers often share one serial
// number, and then only the USB port tells them apart. A key is "serial:"
// and the serial number, then " usb:" and the port when there is one, or
// "usb:" and the port alone for a reader without a serial number, so that
// each reader has a key of its own. Earlier versions keyed an entry by the
// bare serial number, or "usb:" and the port (a serial number "usb:1-5"
// then took another reader's key); their entries are found by what they
// name all the same, and each write keys every entry anew. The record only
// ever informs: a record that cannot be read or written is reported and
// otherwise ignored, and configuring goes on.
namespace rdrconf {

inline constexpr int kSettingsRecordVersion = 1;

// One reader's entry.
struct RecordEntry {
  ReaderSettings settings;
  Outcome outcome = Outcome::kDone;  // kDone, or kStatus when the reader gave a status answer
  std::string writtenAt;             // UTC, "2024-05-01T12:00:00Z"
  std::string path;
  std::string serial;
  std::string usbPort;
};

class SettingsRecord {
 public:
  // The record file at `path`; an empty path keeps no record (every Write
  // fails, saying `whyNone`, and every Read is empty). A new record file
  // gets `permissions`: a user's own record is private, the system's is
  // readable by every user.
  explicit SettingsRecord(std::string path, std::string whyNone = {},
                          platform::Permissions permissions = 0600)
      : path_(std::move(path)), whyNone_(std::move(whyNone)), permissions_(permissions) {}

  // The user's record, readers.json in the user's state folder
  // ($XDG_STATE_HOME/rdrconf, %LOCALAPPDATA%\rdrconf).
  static SettingsRecord OfThisUser();
  // Its path; empty when the system gives the user no state folder.
  static std::string DefaultPath();
  // The key that a write puts `reader` under (see above); empty when it has
  // neither a serial number nor a USB port (its device path changes from
  // one plug to the next, so it names nothing lasting).
  static std::string KeyOf(const HidInterfaceInfo& reader);

  // The entry of `entries` (as Read gives them) that belongs to `reader`,
  // `present` being every reader connected now; entries.end() when it has
  // none. A reader whose serial number no other present reader has is
  // found by its serial number alone, wherever it is plugged in now: when it
  // was written at several ports, the latest write counts. Readers that
  // share a serial number are told apart by their USB port, and have no
  // entry when they have no port to tell them apart (Windows gives none).
  // A reader without a serial number is found by its port.
  static std::map<std::string, RecordEntry>::const_iterator Find(const std::map<std::string, RecordEntry>& entries,
                                                                 const HidInterfaceInfo& reader,
                                                                 const std::vector<ReaderIdentity>& present);

  const std::string& Path() const { return path_; }
  // Why there is no record file, when the path is empty.
  const std::string& WhyNone() const { return whyNone_; }

  // Every valid entry, by key. A missing file is an empty record. A file
  // that cannot be read, is not a regular file or holds no usable record
  // counts as empty, and `warning` says why; so does an entry that holds no
  // valid settings, which is left out. `warning` is cleared first.
  std::map<std::string, RecordEntry> Read(std::string* warning = nullptr) const;

  // Records `settings` for `reader` after an exchange that ended with
  // `outcome` at `when`: only kDone and kStatus are recorded. The file is
  // replaced atomically under a lock on its folder, so two writers never
  // lose each other's entries. A file that holds no usable record (not
  // JSON, not a record, nested too deep, too large, not a regular file) is
  // first kept aside as "readers.json.unusable-<UTC time>", and a new record
  // holds only this entry. A file that cannot be read (no permission) or
  // that a newer version wrote is left as it is and nothing is recorded.
  // Gives false when nothing was recorded; `message` then says why, and
  // otherwise says where an unusable record was kept, else is cleared.
  bool Write(const HidInterfaceInfo& reader, const ReaderSettings& settings, Outcome outcome,
             std::chrono::system_clock::time_point when, std::string* message = nullptr) const;

 private:
  std::string path_;
  std::string whyNone_;
  platform::Permissions permissions_;
};

}  // namespace rdrconf
