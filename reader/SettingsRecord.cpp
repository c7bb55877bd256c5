#include "reader/SettingsRecord.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/Places.h"
#include "reader/BoundedJson.h"

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kFileName[] = "readers.json";
// A record is a few hundred bytes a reader; anything this large is not one,
// and reading it whole would only cost memory.
constexpr std::size_t kLargestRecord = 4 << 20;
// The record nests four deep (the record, its readers, an entry, the
// settings); twice that leaves room for what a later version may add to an
// entry, and refuses what would overflow the stack when written back.
constexpr int kDeepestRecord = 8;

// The record file as it was found.
struct LoadedRecord {
  enum class State {
    kNone,        // no file: an empty record
    kUsable,      // `document` is the record
    kUnusable,    // no record can be made of it: kept aside before a new one is written
    kUnreadable,  // it may well be a record, but this user cannot read it: left alone
    kNewer,       // a later rdrconf wrote it: not ours to rewrite
  };
  State state = State::kNone;
  Json document = Json::object();
  std::string problem;  // why it is not usable, for every state but kNone and kUsable
};

LoadedRecord Load(const std::string& path) {
  LoadedRecord loaded;
  const auto refuse = [&](LoadedRecord::State state, std::string problem) {
    loaded.state = state;
    loaded.problem = std::move(problem);
    return loaded;
  };
  const platform::FileContent file = platform::ReadRegularFile(path, kLargestRecord);
  switch (file.status) {
    case platform::ReadStatus::kRead: break;
    case platform::ReadStatus::kMissing: return loaded;
    case platform::ReadStatus::kTooLarge: return refuse(LoadedRecord::State::kUnusable, "too large for a record");
    case platform::ReadStatus::kNotRegular: return refuse(LoadedRecord::State::kUnusable, file.Problem());
    case platform::ReadStatus::kFailed: return refuse(LoadedRecord::State::kUnreadable, file.Problem());
  }
  std::string problem;
  std::optional<Json> document = ParseBoundedJson(file.content, kDeepestRecord, problem);
  if (!document) return refuse(LoadedRecord::State::kUnusable, problem);
  const auto version = document->is_object() ? document->find("version") : document->end();
  const auto readers = document->is_object() ? document->find("readers") : document->end();
  if (version == document->end() || !version->is_number_integer() || readers == document->end() ||
      !readers->is_object()) {
    return refuse(LoadedRecord::State::kUnusable, "it holds no record of readers");
  }
  const long long number = version->get<long long>();
  if (number != kSettingsRecordVersion) {
    return refuse(number > kSettingsRecordVersion ? LoadedRecord::State::kNewer : LoadedRecord::State::kUnusable,
                  "it has version " + std::to_string(number) + ", this program reads version " +
                      std::to_string(kSettingsRecordVersion));
  }
  loaded.state = LoadedRecord::State::kUsable;
  loaded.document = *std::move(document);
  return loaded;
}

std::string StringField(const Json& object, const char* name) {
  const auto field = object.find(name);
  return field != object.end() && field->is_string() ? field->get<std::string>() : std::string();
}

std::optional<RecordEntry> EntryFromJson(const Json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const auto settings = entry.find("settings");
  if (settings == entry.end()) return std::nullopt;
  std::optional<ReaderSettings> written = ReaderSettings::FromJson(*settings);
  const std::string outcome = StringField(entry, "outcome");
  const std::string writtenAt = StringField(entry, "written_at");
  if (!written || writtenAt.empty() ||
      (outcome != OutcomeName(Outcome::kDone) && outcome != OutcomeName(Outcome::kStatus))) {
    return std::nullopt;
  }
  RecordEntry result;
  result.settings = *written;
  result.outcome = outcome == OutcomeName(Outcome::kStatus) ? Outcome::kStatus : Outcome::kDone;
  result.writtenAt = writtenAt;
  result.path = StringField(entry, "path");
  result.serial = StringField(entry, "serial");
  result.usbPort = StringField(entry, "usb_port");
  return result;
}

// The record names a format by its position alone, as it always has.
Json RecordedSettings(const ReaderSettings& settings) {
  Json json = settings.ToJson();
  json.erase("format");
  return json;
}

std::string UtcText(std::chrono::system_clock::time_point when, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const std::tm utc = *std::gmtime(&seconds);
  char text[32];
  std::strftime(text, sizeof text, format, &utc);
  return text;
}

// The key of the reader that a serial number and a port name: serial
// numbers and ports each have a key space of their own, and a port holds
// no space, so no two readers share a key.
std::string KeyFor(const std::string& serial, const std::string& port) {
  if (!serial.empty()) return "serial:" + serial + (port.empty() ? "" : " usb:" + port);
  if (!port.empty()) return "usb:" + port;
  return {};
}

// The key of the reader that an entry of the file belongs to; empty for an
// entry that names no reader (not ours to re-key).
std::string KeyOfEntry(const Json& entry) {
  if (!entry.is_object()) return {};
  const auto serial = entry.find("serial");
  const auto port = entry.find("usb_port");
  if (serial == entry.end() || port == entry.end() || !serial->is_string() || !port->is_string()) return {};
  return KeyFor(serial->get<std::string>(), port->get<std::string>());
}

// The readers of `record` under this version's keys, each entry once, the
// later of two for one reader winning; entries that name no reader keep
// their keys. An earlier version's record keeps every entry, and each
// keeps its meaning.
Json Rekeyed(const Json& record) {
  Json rekeyed = Json::object();
  for (const auto& [key, entry] : record.items()) {
    const std::string own = KeyOfEntry(entry);
    rekeyed[own.empty() ? key : own] = entry;
  }
  return rekeyed;
}

// Moves the unusable record at `path` aside, to a name of its own beside it
// that says when; gives that name, or empty when it could not be moved.
std::string KeepAside(const std::string& path, std::chrono::system_clock::time_point when,
                      platform::SystemError& error) {
  const std::string stem = path + ".unusable-" + UtcText(when, "%Y%m%dT%H%M%SZ");
  // Two in one second take the next free number.
  for (int attempt = 1; attempt <= 100; ++attempt) {
    const std::string aside = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
    switch (platform::RenameWithoutReplacing(path, aside, error)) {
      case platform::RenameStatus::kRenamed: return aside;
      case platform::RenameStatus::kTaken: continue;
      case platform::RenameStatus::kFailed: return {};
    }
  }
  error = {0, "cannot rename " + path + ": every name " + stem + "-N is taken"};
  return {};
}

}  // namespace

SettingsRecord SettingsRecord::OfThisUser() {
  std::string why;
  const std::string folder = platform::UserStateFolder(&why);
  return SettingsRecord(folder.empty() ? std::string() : folder + kFileName, why);
}

std::string SettingsRecord::DefaultPath() { return OfThisUser().Path(); }

std::string SettingsRecord::KeyOf(const HidInterfaceInfo& reader) {
  return KeyFor(reader.serialNumber, reader.usbPort);
}

std::map<std::string, RecordEntry>::const_iterator SettingsRecord::Find(
    const std::map<std::string, RecordEntry>& entries, const HidInterfaceInfo& reader,
    const std::vector<ReaderIdentity>& present) {
  const std::string& serial = reader.serialNumber;
  const bool twins = !serial.empty() && std::any_of(present.begin(), present.end(), [&](const ReaderIdentity& other) {
    return other.hid.path != reader.path && other.hid.serialNumber == serial;
  });
  if (KeyOf(reader).empty() || (twins && reader.usbPort.empty())) return entries.end();
  // Its own entries: by serial number, and by port too when the serial
  // number alone names more than one reader or there is none.
  const auto owns = [&](const RecordEntry& entry) {
    return entry.serial == serial && (!(twins || serial.empty()) || entry.usbPort == reader.usbPort);
  };
  // The latest of them; in one second, the one written at the port the
  // reader is plugged into now.
  const auto later = [&](const RecordEntry& entry, const RecordEntry& than) {
    if (entry.writtenAt != than.writtenAt) return entry.writtenAt > than.writtenAt;
    return entry.usbPort == reader.usbPort && than.usbPort != reader.usbPort;
  };
  auto found = entries.end();
  for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
    if (owns(entry->second) && (found == entries.end() || later(entry->second, found->second))) found = entry;
  }
  return found;
}

std::map<std::string, RecordEntry> SettingsRecord::Read(std::string* warning) const {
  std::string note;
  std::map<std::string, RecordEntry> entries;
  if (!path_.empty()) {
    const LoadedRecord loaded = Load(path_);
    if (!loaded.problem.empty()) note = "ignoring the settings record " + path_ + ": " + loaded.problem;
    if (const auto readers = loaded.document.find("readers"); readers != loaded.document.end()) {
      for (const auto& [key, value] : readers->items()) {
        if (std::optional<RecordEntry> entry = EntryFromJson(value)) {
          entries.emplace(key, *std::move(entry));
        } else if (note.empty()) {
          note = "ignoring the entry \"" + key + "\" of the settings record " + path_ +
                 ": it holds no valid settings";
        }
      }
    }
  }
  if (warning) *warning = note;
  return entries;
}

bool SettingsRecord::Write(const HidInterfaceInfo& reader, const ReaderSettings& settings, Outcome outcome,
                           std::chrono::system_clock::time_point when, std::string* message) const {
  std::string note;
  const auto fail = [&](std::string why) {
    if (message) *message = "not recorded: " + why;
    return false;
  };
  if (outcome != Outcome::kDone && outcome != Outcome::kStatus) {
    return fail(std::string("the exchange ended with \"") + OutcomeName(outcome) + "\"");
  }
  if (path_.empty()) return fail(whyNone_.empty() ? "no place for the record is known" : whyNone_);
  const std::string key = KeyOf(reader);
  if (key.empty()) return fail("the reader has neither a serial number nor a USB port");

  platform::SystemError error;
  const std::string folder = platform::FolderOf(path_);
  if (!platform::MakeFolders(folder, error)) return fail(error.text);
  const platform::FolderLock lock = platform::FolderLock::Take(folder, error);
  if (!lock.Held()) return fail(error.text);

  LoadedRecord loaded = Load(path_);
  switch (loaded.state) {
    case LoadedRecord::State::kNone:
    case LoadedRecord::State::kUsable: break;
    case LoadedRecord::State::kUnreadable:
      return fail("cannot read the settings record " + path_ + ": " + loaded.problem + "; it is left as it is");
    case LoadedRecord::State::kNewer:
      return fail("the settings record " + path_ + " is from a newer rdrconf (" + loaded.problem +
                  "); it is left as it is");
    case LoadedRecord::State::kUnusable: {
      // Every other reader's entry may still be in it, for a person to
      // recover: it is moved aside, never overwritten.
      const std::string aside = KeepAside(path_, when, error);
      if (aside.empty()) {
        return fail("the settings record " + path_ + " is unusable (" + loaded.problem +
                    ") and cannot be kept aside: " + error.text);
      }
      note = "the settings record " + path_ + " was unusable (" + loaded.problem + "); it is kept as " + aside +
             " and a new record is started";
      break;
    }
  }
  Json& document = loaded.document;
  document["version"] = kSettingsRecordVersion;
  document["readers"] = Rekeyed(document.value("readers", Json::object()));
  document["readers"][key] = Json{{"written_at", UtcText(when, "%Y-%m-%dT%H:%M:%SZ")},
                                  {"outcome", OutcomeName(outcome)},
                                  {"path", reader.path},
                                  {"serial", reader.serialNumber},
                                  {"usb_port", reader.usbPort},
                                  {"settings", RecordedSettings(settings)}};
  // Texts from a device may hold bytes that are not UTF-8; they are stored
  // replaced rather than failing the whole record.
  const std::string bytes = document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  if (!platform::ReplaceFileAtomically(path_, bytes, permissions_, error)) {
    return fail(error.text + (note.empty() ? "" : "; " + note));
  }
  if (message) *message = note;
  return true;
}

}  // namespace rdrconf
