#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
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
//      "<key>": {"written_at": "2024-05-01T12:00:00Z", "outcome": "done",
//                "path": "/dev/hidraw0", "serial": "A1B2", "usb_port": "1-1",
//                "settings": {"format_index": 5, "mode": "active",
//                             "enter": true, "power_saving": false}}}}
//
// The key is the reader's serial number, or "usb:" and its USB port when it
// has none. The record only ever informs: a record that cannot be read or
// written is reported and otherwise ignored, and configuring goes on.
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
  // What a reader is recorded under: its serial number, else "usb:" and its
  // USB port; empty when it has neither (its device path changes from one
  // plug to the next, so it names nothing lasting).
  static std::string KeyOf(const HidInterfaceInfo& reader);

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
