#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "reader/CardReader.h"

// Where a command's words go: lines for a person on stdout, or with --json
// one JSON document there and nothing else; messages and warnings always on
// stderr. A command hands each result over once, as its line and its JSON
// item together, so that the two never tell different stories.
namespace rdrconf::cli {

using Json = nlohmann::ordered_json;

inline constexpr char kProgram[] = "rdrconf-cli";

// The version of the form of every JSON document the commands print, their
// first key "schema_version". It changes only when a key is taken away or
// changes its meaning; new keys may come without it.
inline constexpr int kSchemaVersion = 1;

class Output {
 public:
  Output(std::ostream& out, std::ostream& err, bool json, bool quiet)
      : out_(out), err_(err), json_(json), quiet_(quiet) {}

  bool IsJson() const { return json_; }
  std::ostream& Stream() { return out_; }

  // A line of the command's own output: not with --json, nor with --quiet
  // unless `evenIfQuiet`.
  void Say(const std::string& text, bool evenIfQuiet = false) const;
  // One result: its line for a person (none when empty), its item for the
  // JSON document's list (see Finish).
  void Item(const std::string& line, nlohmann::ordered_json item);
  // With --json, prints `document`, with the items given so far as its
  // "readers" unless it has them already.
  void Finish(nlohmann::ordered_json document);
  // Prints `document` as the JSON output (with --json only), its
  // "schema_version" first.
  void Print(const nlohmann::ordered_json& document) const;

  // Messages on stderr. Like the lines of Say, they reach the terminal
  // with every control character but their own line breaks escaped.
  void Note(const std::string& text) const;  // not with --quiet
  void Error(const std::string& text) const;
  void Warn(const std::string& text) const;

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool json_;
  bool quiet_;
  nlohmann::ordered_json items_ = nlohmann::ordered_json::array();
};

// `text` as a terminal shows it and never acts on it: a device chooses its
// serial number, maker and product, and any local process its name, so
// they may hold escape sequences (clearing the screen, setting the
// clipboard or the title) or a line break that forges a line. Control
// characters (C0, DEL, C1), the line separators and the controls that
// reorder text become escapes ("\x1b", "\n", "\u009b", "\u202e"), as
// does each byte that is not part of valid UTF-8 ("\xff"); everything else,
// "读卡器" among it, stays as it is. Used wherever such a string goes into a
// line; JSON escapes them by itself.
std::string Printable(std::string_view text);

// `document` with "schema_version" as its first key.
nlohmann::ordered_json Versioned(const nlohmann::ordered_json& document);

// `document` as JSON text, indented by `indent` (-1: on one line). A
// device's texts may hold bytes that are not UTF-8: each becomes U+FFFD,
// where the JSON library would throw.
std::string JsonText(const nlohmann::ordered_json& document, int indent = 2);

// How a reader is named in a line: "/dev/hidraw0 (serial A1, USB 1-1)".
std::string ReaderName(const ReaderIdentity& reader);
// Its identity in a JSON item: index, path, serial and USB port.
nlohmann::ordered_json ReaderJson(const ReaderIdentity& reader);

}  // namespace rdrconf::cli
