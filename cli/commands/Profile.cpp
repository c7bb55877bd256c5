#include "cli/commands/Profile.h"

#include <nlohmann/json.hpp>

#include "platform/Files.h"

namespace rdrconf::cli {
namespace {

using Json = nlohmann::ordered_json;

// A profile is a few hundred bytes; a file this large is none.
constexpr std::size_t kProfileSizeLimit = 1024 * 1024;

// A profile nests two levels ({"settings": {...}}). A file nested far
// deeper is refused as it is read: every later copy, comparison or print
// of such a value would recurse once a level, until the stack ran out.
constexpr int kProfileDepthLimit = 8;

// "line 3, column 7: syntax error while parsing object - ...", from the
// parser's "[json.exception.parse_error.101] parse error at line 3, ...".
std::string ParseErrorText(const Json::parse_error& error) {
  std::string text = error.what();
  if (const std::size_t end = text.find("] "); end != std::string::npos) text.erase(0, end + 2);
  const std::string lead = "parse error at ";
  if (text.compare(0, lead.size(), lead) == 0) text.erase(0, lead.size());
  return text;
}

// The JSON document that `text` holds, nested at most `maxDepth` levels;
// std::nullopt, and `why` says what is wrong (with its line and column
// where the parser gives them), when it holds none.
std::optional<Json> ParseJson(const std::string& text, int maxDepth, std::string& why) {
  bool tooDeep = false;
  // A value nested too deep is dropped as it is met; the parse itself keeps
  // its own stack and goes on to the end, to find any syntax error.
  const Json::parser_callback_t shallow = [&](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= maxDepth) {
      tooDeep = true;
    }
    return !tooDeep;
  };
  try {
    Json document = Json::parse(text, shallow);
    if (!tooDeep) return document;
    why = "nested more than " + std::to_string(maxDepth) + " levels deep";
  } catch (const Json::parse_error& error) {
    why = ParseErrorText(error);
  }
  return std::nullopt;
}

// How a value that is not the one wanted is named: a number, true, false
// or null as itself, anything else by its kind.
std::string What(const Json& value) {
  if (value.is_number() || value.is_boolean() || value.is_null()) return value.dump();
  return value.is_object() ? "an object" : value.is_array() ? "an array" : "a string";
}

// The settings of the profile `profile`; std::nullopt, and `why` says what
// is wrong, when it is none. Every key is checked: a key misspelt would
// otherwise be a setting silently left at its default.
std::optional<ReaderSettings> SettingsOf(const Json& profile, std::string& why) {
  const auto refuse = [&why](std::string reason) -> std::optional<ReaderSettings> {
    why = std::move(reason);
    return std::nullopt;
  };
  if (!profile.is_object()) {
    return refuse("a profile is a JSON object ({\"rdrconf_profile\": 1, \"settings\": {...}}), not " + What(profile));
  }
  for (const auto& [key, value] : profile.items()) {
    if (key != "rdrconf_profile" && key != "settings" && key != "source") {
      return refuse("unknown key \"" + key + "\" (a profile has \"rdrconf_profile\", \"settings\" and \"source\")");
    }
  }
  const auto version = profile.find("rdrconf_profile");
  if (version == profile.end()) return refuse("not a profile of rdrconf-cli export: it has no \"rdrconf_profile\"");
  if (!version->is_number_integer() || *version != kProfileVersion) {
    return refuse("\"rdrconf_profile\" must be " + std::to_string(kProfileVersion) +
                  " (the only version of profiles that this program reads), not " + What(*version));
  }
  if (const auto source = profile.find("source"); source != profile.end()) {
    if (!source->is_object()) return refuse("\"source\" must be an object, not " + What(*source));
    for (const auto& [key, value] : source->items()) {
      if (key != "serial" && key != "usb_port" && key != "written_at") {
        return refuse("unknown key \"" + key + "\" in \"source\" (it has \"serial\", \"usb_port\" and \"written_at\")");
      }
      if (!value.is_string()) return refuse("\"source\": \"" + key + "\" must be a string, not " + What(value));
    }
  }
  const auto settings = profile.find("settings");
  if (settings == profile.end()) return refuse("the profile has no \"settings\"");
  return ReaderSettings::FromJson(*settings, &why, true);
}

}  // namespace

std::optional<ReaderSettings> ReadProfile(const std::string& path, std::string& why) {
  // Read so that a FIFO or a device in its place is refused at once, never
  // waited on.
  const platform::FileContent file = platform::ReadRegularFile(path, kProfileSizeLimit);
  if (!file.Read()) {
    why = "cannot read the profile " + path + ": " +
          (file.status == platform::ReadStatus::kMissing    ? std::string("there is no such file")
           : file.status == platform::ReadStatus::kTooLarge ? std::string("larger than a profile can be (1 MiB)")
                                                            : file.Problem());
    return std::nullopt;
  }
  std::string problem;
  const std::optional<Json> profile = ParseJson(file.content, kProfileDepthLimit, problem);
  std::optional<ReaderSettings> settings = profile ? SettingsOf(*profile, problem) : std::nullopt;
  if (!settings) why = path + ": " + problem;
  return settings;
}

}  // namespace rdrconf::cli
