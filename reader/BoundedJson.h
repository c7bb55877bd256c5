#pragma once

#include <optional>
#include <string>
#include <string_view>

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
std::optional<nlohmann::ordered_json> ParseBoundedJson(std::string_view text, int deepest, std::string& problem);

}  // namespace rdrconf
