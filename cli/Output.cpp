#include "cli/Output.h"

#include <cstdint>
#include <cstdio>
#include <ostream>

#include "cli/Words.h"

namespace rdrconf::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` (the
// table of the Unicode standard: no overlong forms, no surrogates, nothing
// past U+10FFFF), and its code point; 0 when the first byte starts none.
std::size_t SequenceAt(std::string_view text, char32_t& point) {
  const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t first = byte(0);
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (first < 0x80) {
    point = first;
    return 1;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    point = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    point = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    point = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    point = (point << 6) | (next & 0x3F);
  }
  return length;
}

// Code points that a terminal acts on rather than shows: the C0 and C1
// controls and DEL, the line and paragraph separators, and the marks that
// reorder the text after them.
bool ActsOnTerminal(char32_t point) {
  return point < 0x20 || (point >= 0x7F && point <= 0x9F) || point == 0x061C || point == 0x200E ||
         point == 0x200F || point == 0x2028 || point == 0x2029 || (point >= 0x202A && point <= 0x202E) ||
         (point >= 0x2066 && point <= 0x2069);
}

std::string Escape(char32_t point) {
  switch (point) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
  }
  char text[8];
  std::snprintf(text, sizeof text, point < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(point));
  return text;
}

// Printable, but the line breaks that the text has on purpose (a message
// followed by a list) stay.
std::string PrintableLines(std::string_view text) {
  std::string lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    lines += Printable(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return lines;
    lines += '\n';
    start = end + 1;
  }
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    char32_t point = 0;
    const std::size_t length = SequenceAt(text, point);
    if (length == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(static_cast<std::uint8_t>(text[0])));
      shown += escaped;
      text.remove_prefix(1);
      continue;
    }
    if (ActsOnTerminal(point)) {
      shown += Escape(point);
    } else {
      shown.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
  return shown;
}

void Output::Say(const std::string& text, bool evenIfQuiet) const {
  if (!json_ && (!quiet_ || evenIfQuiet)) out_ << PrintableLines(text) << '\n';
}

void Output::Item(const std::string& line, nlohmann::ordered_json item) {
  if (!line.empty()) Say(line);
  items_.push_back(std::move(item));
}

void Output::Finish(nlohmann::ordered_json document) {
  if (!document.contains("readers")) document["readers"] = items_;
  Print(document);
}

void Output::Print(const nlohmann::ordered_json& document) const {
  if (json_) out_ << JsonText(Versioned(document)) << '\n';
}

nlohmann::ordered_json Versioned(const nlohmann::ordered_json& document) {
  nlohmann::ordered_json versioned{{"schema_version", kSchemaVersion}};
  for (const auto& [key, value] : document.items()) versioned[key] = value;
  return versioned;
}

void Output::Note(const std::string& text) const {
  if (!quiet_) err_ << kProgram << ": " << PrintableLines(text) << '\n';
}

void Output::Error(const std::string& text) const { err_ << kProgram << ": " << PrintableLines(text) << '\n'; }

void Output::Warn(const std::string& text) const {
  err_ << kProgram << ": warning: " << PrintableLines(text) << '\n';
}

std::string JsonText(const nlohmann::ordered_json& document, int indent) {
  return document.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string ReaderName(const ReaderIdentity& reader) {
  std::vector<std::string> parts;
  if (!reader.hid.serialNumber.empty()) parts.push_back("serial " + Printable(reader.hid.serialNumber));
  if (!reader.hid.usbPort.empty()) parts.push_back("USB " + Printable(reader.hid.usbPort));
  const std::string path = Printable(reader.hid.path);
  return parts.empty() ? path : path + " (" + Joined(parts, ", ") + ")";
}

nlohmann::ordered_json ReaderJson(const ReaderIdentity& reader) {
  return {{"index", reader.index},
          {"path", reader.hid.path},
          {"serial", reader.hid.serialNumber},
          {"usb_port", reader.hid.usbPort}};
}

}  // namespace rdrconf::cli
