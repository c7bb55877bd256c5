#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace rdrconf {

// JSON read from a file that anyone may have written: the record of the
// settings written to each reader, a profile for watch --apply.
//
// Writing a value out, copying it or comparing it goes down one call per
// level of nesting, so a file of a few hundred kilobytes holding one value
// nested a hundred thousand deep overflows the stack long after it was
// read. Such a file is refused while it is still text: `deepest` is the
// number of levels of objects and arrays that its format needs (a bare
// number is 0 deep, {"a": 1} is 1, {"a": [1]} is 2).
//
// The document held in `text`, keys in the order written; std::nullopt when
// it is not valid JSON or nests deeper than `deepest`, and `problem` then
// says what is wrong and where, such as "it is not valid JSON: syntax error
// while parsing object key - unexpected '}'; expected string literal (at
// line 1, column 9)" or "it nests objects and arrays deeper than 4 levels".
//
// With `at`, `problem` leaves out where a syntax error is, and `at` gets its
// byte offset in `text` instead (std::string_view::npos when the problem is
// the nesting).
std::optional<nlohmann::ordered_json> ParseBoundedJson(std::string_view text, int deepest, std::string& problem,
                                                       std::size_t* at = nullptr);

// Where in `text`, a document that ParseBoundedJson took, the value lies
// that `path` leads to: each step a key of an object or the index of an
// element of an array ({"readers", "0", "settings"}). A step that leads
// nowhere (a key that is missing) stops at the value reached so far. Gives
// the byte offset of the value's first character, or with `ofKey` of the
// key that names it, so that a message can point a person at the very
// place in a file they wrote.
std::size_t JsonValueOffset(std::string_view text, const std::vector<std::string>& path, bool ofKey = false);

// The line and column, both counted from 1, of byte `offset` of `text`; a
// column counts characters, not bytes, so that an editor lands on it.
struct TextPosition {
  std::size_t line = 1;
  std::size_t column = 1;
};
TextPosition PositionOf(std::string_view text, std::size_t offset);

}  // namespace rdrconf
