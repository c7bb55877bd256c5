#include "reader/SettingsRecord.h"

#include <cstdio>
#include <ctime>

#include "platform/Places.h"

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kFileName[] = "readers.json";
// A record is a few hundred bytes a reader; anything this large is not one,
// and reading it whole would only cost memory.
constexpr std::size_t kLargestRecord = 4 << 20;

// The record file as a document, or an empty object when there is none to
// build on; `warning` says why a file was not taken.
struct LoadedRecord {
  Json document = Json::object();
  long long newerVersion = 0;  // the version of a record by a later rdrconf: not ours to rewrite
};

LoadedRecord Load(const std::string& path, std::string& warning) {
  LoadedRecord loaded;
  const platform::FileContent file = platform::ReadRegularFile(path, kLargestRecord);
  if (file.status == platform::ReadStatus::kMissing) return loaded;
  if (!file.Read()) {
    warning = "ignoring the settings record " + path + ": " +
              (file.status == platform::ReadStatus::kTooLarge ? "too large for a record" : file.Problem());
    return loaded;
  }
  Json document = Json::parse(file.content, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    warning = "ignoring the settings record " + path + ": it is not valid JSON";
    return loaded;
  }
  const auto version = document.is_object() ? document.find("version") : document.end();
  const auto readers = document.is_object() ? document.find("readers") : document.end();
  if (version == document.end() || !version->is_number_integer() || readers == document.end() ||
      !readers->is_object()) {
    warning = "ignoring the settings record " + path + ": it holds no record of readers";
    return loaded;
  }
  if (version->get<long long>() != kSettingsRecordVersion) {
    warning = "ignoring the settings record " + path + ": it has version " +
              std::to_string(version->get<long long>()) + ", this program reads version " +
              std::to_string(kSettingsRecordVersion);
    if (version->get<long long>() > kSettingsRecordVersion) loaded.newerVersion = version->get<long long>();
    return loaded;
  }
  loaded.document = std::move(document);
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

std::string UtcText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const std::tm utc = *std::gmtime(&seconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

SettingsRecord SettingsRecord::OfThisUser() {
  std::string why;
  const std::string folder = platform::UserStateFolder(&why);
  return SettingsRecord(folder.empty() ? std::string() : folder + kFileName, why);
}

std::string SettingsRecord::DefaultPath() { return OfThisUser().Path(); }

std::string SettingsRecord::KeyOf(const HidInterfaceInfo& reader) {
  if (!reader.serialNumber.empty()) return reader.serialNumber;
  if (!reader.usbPort.empty()) return "usb:" + reader.usbPort;
  return {};
}

std::map<std::string, RecordEntry> SettingsRecord::Read(std::string* warning) const {
  std::string note;
  std::map<std::string, RecordEntry> entries;
  if (!path_.empty()) {
    const LoadedRecord loaded = Load(path_, note);
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

  LoadedRecord loaded = Load(path_, note);
  if (loaded.newerVersion != 0) {
    return fail(path_ + " has version " + std::to_string(loaded.newerVersion) + ", from a newer rdrconf");
  }
  if (!note.empty()) note += "; it is replaced";
  Json& document = loaded.document;
  document["version"] = kSettingsRecordVersion;
  if (!document.contains("readers")) document["readers"] = Json::object();
  document["readers"][key] = Json{{"written_at", UtcText(when)},
                                  {"outcome", OutcomeName(outcome)},
                                  {"path", reader.path},
                                  {"serial", reader.serialNumber},
                                  {"usb_port", reader.usbPort},
                                  {"settings", RecordedSettings(settings)}};
  // Texts from a device may hold bytes that are not UTF-8; they are stored
  // replaced rather than failing the whole record.
  const std::string bytes = document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  if (!platform::ReplaceFileAtomically(path_, bytes, permissions_, error)) return fail(error.text);
  if (message) *message = note;
  return true;
}

}  // namespace rdrconf
