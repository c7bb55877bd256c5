#include "reader/BoundedJson.h"

#include <algorithm>

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

// The parser's own words without its excerpt of the text ("last read:
// '...'"), which holds the file's bytes as they are, and without the
// library's tag: "syntax error while parsing value - invalid literal (at
// line 1, column 4)".
std::string ParseErrorText(const Json::parse_error& error, bool withPlace) {
  const std::string what = error.what();
  const std::string lead = "parse error at ";
  const std::size_t start = what.find(lead);
  const std::size_t reason = start == std::string::npos ? start : what.find(": ", start);
  if (reason == std::string::npos) return "at byte " + std::to_string(error.byte);
  const std::string where = what.substr(start + lead.size(), reason - start - lead.size());
  const std::size_t excerpt = what.find("; last read", reason);
  return what.substr(reason + 2, excerpt == std::string::npos ? std::string::npos : excerpt - reason - 2) +
         (withPlace ? " (at " + where + ")" : "");
}

// A reader of JSON text that the parser has already accepted: it only
// steps over values, to find where one lies.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t Offset() const { return at_; }
  std::size_t KeyOffset() const { return keyAt_; }
  char Next() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
    return at_ < text_.size() ? text_[at_] : '\0';
  }
  void Take() { ++at_; }

  // The string that starts here, its escapes resolved.
  std::string String() {
    const std::size_t start = at_++;
    bool escaped = false;
    while (at_ < text_.size() && text_[at_] != '"') at_ += text_[at_] == '\\' ? (escaped = true, 2) : 1;
    ++at_;
    const std::string_view raw = text_.substr(start, at_ - start);
    return escaped ? Json::parse(raw).get<std::string>() : std::string(raw.substr(1, raw.size() - 2));
  }

  void SkipValue() {
    const char first = Next();
    if (first == '"') {
      String();
    } else if (first == '{' || first == '[') {
      int depth = 0;
      do {
        const char c = text_[at_];
        if (c == '"') {
          String();
          continue;
        }
        depth += (c == '{' || c == '[') ? 1 : (c == '}' || c == ']') ? -1 : 0;
        ++at_;
      } while (depth > 0 && at_ < text_.size());
    } else {
      while (at_ < text_.size() && std::string_view(",}] \t\r\n").find(text_[at_]) == std::string_view::npos) ++at_;
    }
  }

  // Steps into the member `key` of the object that starts here, or the
  // element `key` of the array; false, staying put, when there is none.
  bool Enter(const std::string& key) {
    const std::size_t container = at_;
    const char open = Next();
    if (open != '{' && open != '[') return false;
    Take();
    for (std::size_t index = 0; Next() != '}' && Next() != ']' && at_ < text_.size(); ++index) {
      bool found = std::to_string(index) == key && open == '[';
      if (open == '{') {
        keyAt_ = at_;
        found = String() == key;
        Next();
        Take();  // the colon
      }
      if (found) {
        Next();
        return true;
      }
      SkipValue();
      if (Next() == ',') Take();
    }
    at_ = container;
    return false;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t keyAt_ = 0;  // where the key of the member entered last starts
};

}  // namespace

std::optional<Json> ParseBoundedJson(std::string_view text, int deepest, std::string& problem, std::size_t* at) {
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
    problem = "it is not valid JSON: " + ParseErrorText(error, at == nullptr);
    // The parser counts the bytes it read, the last one being the fault.
    if (at) *at = error.byte > 0 ? std::min<std::size_t>(error.byte - 1, text.size()) : 0;
    return std::nullopt;
  }
  if (tooDeep) {
    problem = "it nests objects and arrays deeper than " + std::to_string(deepest) + " levels";
    if (at) *at = std::string_view::npos;
    return std::nullopt;
  }
  problem.clear();
  return document;
}

std::size_t JsonValueOffset(std::string_view text, const std::vector<std::string>& path, bool ofKey) {
  Scanner scanner(text);
  scanner.Next();
  std::size_t steps = 0;
  while (steps < path.size() && scanner.Enter(path[steps])) ++steps;
  const bool keyed = ofKey && steps == path.size() && steps > 0 && text[scanner.KeyOffset()] == '"';
  return keyed ? scanner.KeyOffset() : scanner.Offset();
}

TextPosition PositionOf(std::string_view text, std::size_t offset) {
  TextPosition position;
  for (std::size_t i = 0; i < std::min(offset, text.size()); ++i) {
    if (text[i] == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++position.column;  // a UTF-8 continuation byte is part of the character before
    }
  }
  return position;
}

}  // namespace rdrconf
