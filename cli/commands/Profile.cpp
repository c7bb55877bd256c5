#include "cli/commands/Profile.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "reader/BoundedJson.h"

namespace rdrconf::cli {
namespace {

using Json = nlohmann::ordered_json;
using Path = std::vector<std::string>;

// A profile is a few hundred bytes; a file this large is none.
constexpr std::size_t kProfileSizeLimit = 1024 * 1024;

// A profile nests four levels ({"readers": [{"settings": {...}}]}), a few
// more are allowed for what a later version may add.
constexpr int kProfileDepthLimit = 8;

// What is wrong with a profile, and the value it is wrong about.
struct Fault {
  std::string reason;
  Path at;
  bool atKey = false;  // the key that names the value at fault, not the value
};

// How a value that is not the one wanted is named: a number, true, false
// or null as itself, anything else by its kind.
std::string What(const Json& value) {
  if (value.is_number() || value.is_boolean() || value.is_null()) return value.dump();
  return value.is_object() ? "an object" : value.is_array() ? "an array" : "a string";
}

Path Then(Path path, const std::string& step) {
  path.push_back(step);
  return path;
}

std::optional<Fault> CheckKeys(const Json& object, const Path& at, std::initializer_list<const char*> known,
                               const std::string& where, const std::string& has) {
  for (const auto& [key, value] : object.items()) {
    if (std::find_if(known.begin(), known.end(), [&](const char* k) { return key == k; }) == known.end()) {
      return Fault{"unknown key \"" + key + "\"" + where + " (" + has + ")", Then(at, key), true};
    }
  }
  return std::nullopt;
}

std::optional<Fault> SettingsAt(const Json& object, const Path& at, ReaderSettings& settings) {
  const auto found = object.find("settings");
  if (found == object.end()) {
    return Fault{at.empty() ? "the profile has no \"settings\"" : "the reader's entry has no \"settings\"", at};
  }
  std::string why;
  std::string key;
  const std::optional<ReaderSettings> read = ReaderSettings::FromJson(*found, &why, true, &key);
  if (!read) {
    const bool unknown = why.rfind("unknown key", 0) == 0;
    return Fault{why, key.empty() ? Then(at, "settings") : Then(Then(at, "settings"), key), unknown};
  }
  settings = *read;
  return std::nullopt;
}

std::optional<Fault> ReaderEntries(const Json& list, Profile& profile) {
  const Path at{"readers"};
  if (!list.is_array()) return Fault{"\"readers\" must be an array of readers' entries, not " + What(list), at};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Json& entry = list[i];
    const Path here = Then(at, std::to_string(i));
    if (!entry.is_object()) return Fault{"a reader's entry must be an object, not " + What(entry), here};
    if (auto fault = CheckKeys(entry, here, {"serial", "usb_port", "settings"}, " in a reader's entry",
                               "it has \"serial\" or \"usb_port\", and \"settings\"")) {
      return fault;
    }
    if (entry.contains("serial") == entry.contains("usb_port")) {
      return Fault{"a reader's entry names its reader by exactly one of \"serial\" and \"usb_port\"", here};
    }
    const char* by = entry.contains("serial") ? "serial" : "usb_port";
    const Json& name = entry[by];
    if (!name.is_string() || name.get<std::string>().empty()) {
      return Fault{std::string("\"") + by + "\" must be a string that is not empty, not " + What(name),
                   Then(here, by)};
    }
    Profile::ForReader reader;
    (by[0] == 's' ? reader.serial : reader.usbPort) = name.get<std::string>();
    for (const Profile::ForReader& earlier : profile.readers) {
      if ((!reader.serial.empty() && earlier.serial == reader.serial) ||
          (!reader.usbPort.empty() && earlier.usbPort == reader.usbPort)) {
        return Fault{std::string("a second entry for the reader with ") +
                         (by[0] == 's' ? "serial number \"" : "USB port \"") + name.get<std::string>() + "\"",
                     Then(here, by)};
      }
    }
    if (auto fault = SettingsAt(entry, here, reader.settings)) return fault;
    profile.readers.push_back(std::move(reader));
  }
  return std::nullopt;
}

// The profile that `document` holds, or what is wrong with it.
std::optional<Fault> ProfileOf(const Json& document, Profile& profile) {
  if (!document.is_object()) {
    return Fault{"a profile is a JSON object ({\"rdrconf_profile\": 1, \"settings\": {...}}), not " + What(document),
                 {}};
  }
  if (auto fault = CheckKeys(document, {}, {"rdrconf_profile", "settings", "readers", "source"}, "",
                             "a profile has \"rdrconf_profile\", \"settings\", \"readers\" and \"source\"")) {
    return fault;
  }
  const auto version = document.find("rdrconf_profile");
  if (version == document.end()) return Fault{"not a profile of rdrconf-cli export: it has no \"rdrconf_profile\"", {}};
  if (!version->is_number_integer() || *version != kProfileVersion) {
    return Fault{"\"rdrconf_profile\" must be " + std::to_string(kProfileVersion) +
                     " (the only version of profiles that this program reads), not " + What(*version),
                 {"rdrconf_profile"}};
  }
  if (const auto source = document.find("source"); source != document.end()) {
    if (!source->is_object()) return Fault{"\"source\" must be an object, not " + What(*source), {"source"}};
    if (auto fault = CheckKeys(*source, {"source"}, {"serial", "usb_port", "written_at"}, " in \"source\"",
                               "it has \"serial\", \"usb_port\" and \"written_at\"")) {
      return fault;
    }
    for (const auto& [key, value] : source->items()) {
      if (!value.is_string()) return Fault{"\"source\": \"" + key + "\" must be a string, not " + What(value), {"source", key}};
    }
  }
  if (auto fault = SettingsAt(document, {}, profile.settings)) return fault;
  if (const auto readers = document.find("readers"); readers != document.end()) return ReaderEntries(*readers, profile);
  return std::nullopt;
}

// "path:line:column: " for the byte at `offset`, "path: " when it has none.
std::string Place(const std::string& path, std::string_view text, std::size_t offset) {
  if (offset == std::string_view::npos) return path + ": ";
  const TextPosition position = PositionOf(text, offset);
  return path + ":" + std::to_string(position.line) + ":" + std::to_string(position.column) + ": ";
}

}  // namespace

const char* ProfileMatchName(ProfileMatch match) {
  switch (match) {
    case ProfileMatch::kSerial: return "serial";
    case ProfileMatch::kUsbPort: return "usb_port";
    case ProfileMatch::kDefault: break;
  }
  return "default";
}

Profile::Choice Profile::For(const HidInterfaceInfo& reader) const {
  const ForReader* byPort = nullptr;
  for (const ForReader& entry : readers) {
    if (!entry.serial.empty() && entry.serial == reader.serialNumber) return {entry.settings, ProfileMatch::kSerial};
    if (!entry.usbPort.empty() && entry.usbPort == reader.usbPort) byPort = &entry;
  }
  if (byPort) return {byPort->settings, ProfileMatch::kUsbPort};
  return {settings, ProfileMatch::kDefault};
}

std::optional<Profile> ReadProfile(const std::string& path, std::string& why) {
  // Read so that a FIFO or a device in its place is refused at once, never
  // waited on.
  const platform::FileContent file = platform::ReadRegularFile(path, kProfileSizeLimit);
  if (!file.Read()) {
    why = path + ": " +
          (file.status == platform::ReadStatus::kMissing    ? std::string("there is no such file")
           : file.status == platform::ReadStatus::kTooLarge ? std::string("larger than a profile can be (1 MiB)")
                                                            : file.Problem());
    return std::nullopt;
  }
  std::string problem;
  std::size_t at = 0;
  const std::optional<Json> document = ParseBoundedJson(file.content, kProfileDepthLimit, problem, &at);
  if (!document) {
    why = Place(path, file.content, at) + problem;
    return std::nullopt;
  }
  Profile profile;
  if (const std::optional<Fault> fault = ProfileOf(*document, profile)) {
    why = Place(path, file.content, JsonValueOffset(file.content, fault->at, fault->atKey)) + fault->reason;
    return std::nullopt;
  }
  return profile;
}

}  // namespace rdrconf::cli
