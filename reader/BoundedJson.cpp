#include "reader/BoundedJson.h"

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

// The parser's own words without its excerpt of the text ("last read:
// '...'"), which holds the file's bytes as they are, and without the
// library's tag: "syntax error while parsing value - invalid literal (at
// line 1, column 4)".
std::string ParseErrorText(const Json::parse_error& error) {
  const std::string what = error.what();
  const std::string lead = "parse error at ";
  const std::size_t start = what.find(lead);
  const std::size_t reason = start == std::string::npos ? start : what.find(": ", start);
  if (reason == std::string::npos) return "at byte " + std::to_string(error.byte);
  const std::string where = what.substr(start + lead.size(), reason - start - lead.size());
  const std::size_t excerpt = what.find("; last read", reason);
  return what.substr(reason + 2, excerpt == std::string::npos ? std::string::npos : excerpt - reason - 2) +
         " (at " + where + ")";
}

}  // namespace

std::optional<Json> ParseBoundedJson(std::string_view text, int deepest, std::string& problem) {
  // The parser keeps its own stack on the heap, so a deep text is read
  // safely; an object or array below the limit is left out as soon as it
  // starts, so the deep value is never built.
  bool tooDeep = false;
  const Json::parser_callback_t limit = [&](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= deepest) {
      tooDeep = true;
      return false;
    }
    return true;
  };
  Json document;
  try {
    document = Json::parse(text, limit);
  } catch (const Json::parse_error& error) {
    problem = "it is not valid JSON: " + ParseErrorText(error);
    return std::nullopt;
  }
  if (tooDeep) {
    problem = "it nests objects and arrays deeper than " + std::to_string(deepest) + " levels";
    return std::nullopt;
  }
  problem.clear();
  return document;
}

}  // namespace rdrconf
