#include "i18n/ProfileFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/Files.h"

namespace rdrconf {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimFront(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimFront(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Length of the UTF-8 sequence that `lead` starts; 0 when it cannot start one.
std::size_t Utf8SequenceLength(char byte) {
  const auto lead = static_cast<unsigned char>(byte);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// One line of a profile file as the reader sees it.
struct Line {
  enum class Kind { kSection, kEntry, kOther } kind = Kind::kOther;
  std::string_view name;   // the section's or the key's name, trimmed
  std::string_view value;  // an entry's value as written: trimmed at the front, to the line's end
  std::size_t end = 0;     // offset of the end of the line's text, line ending excluded
};

// Calls visit(line) for each line that is neither blank nor a comment, in
// order, until visit returns false.
template <typename Visit>
void ScanLines(std::string_view content, Visit&& visit) {
  std::size_t pos =
      content.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
  while (pos < content.size()) {
    const std::size_t newline = content.find('\n', pos);
    std::size_t end = newline == std::string_view::npos ? content.size() : newline;
    const std::size_t next = newline == std::string_view::npos ? content.size() : newline + 1;
    if (end > pos && content[end - 1] == '\r') --end;
    const std::string_view text = TrimFront(content.substr(pos, end - pos));
    pos = next;

    if (text.empty() || text.front() == ';') continue;
    Line line;
    line.end = end;
    const std::size_t close = text.front() == '[' ? text.rfind(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
      line.kind = Line::Kind::kSection;
      line.name = Trim(text.substr(1, close - 1));
    } else if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
      line.kind = Line::Kind::kEntry;
      line.name = Trim(text.substr(0, equals));
      line.value = TrimFront(text.substr(equals + 1));
    }
    if (!visit(line)) return;
  }
}

// Calls visit(line) for each line of the first section named `section`
// (entries and lines of other shapes), until visit returns false. Gives
// whether the section was found; `sectionLine` gets its header line.
template <typename Visit>
bool ScanSection(std::string_view content, std::string_view section, Line& sectionLine,
                 Visit&& visit) {
  bool inside = false;
  bool found = false;
  ScanLines(content, [&](const Line& line) {
    if (line.kind == Line::Kind::kSection) {
      // Only the first matching section counts.
      if (found) return false;
      inside = found = SameName(line.name, section);
      if (found) sectionLine = line;
      return true;
    }
    return !inside || visit(line);
  });
  return found;
}

// The value as a lookup gives it: blanks at its end and one pair of quotes
// removed, cut to the limit.
std::string LookupValue(std::string_view raw) { return CutToProfileLimit(Unquote(Trim(raw))); }

// Where the key of a lookup stands in a file's content, or where it would go.
struct Location {
  bool sectionFound = false;
  // End of the text of the section's last line that is neither blank nor a
  // comment: a new key goes here.
  std::size_t sectionEnd = 0;
  bool keyFound = false;
  // The value as written in the file: from the first non-blank character
  // after '=' to the end of the line, line ending excluded.
  std::size_t valueBegin = 0;
  std::size_t valueEnd = 0;
};

Location Locate(std::string_view content, std::string_view section, std::string_view key) {
  Location where;
  Line header;
  where.sectionFound = ScanSection(content, section, header, [&](const Line& line) {
    where.sectionEnd = line.end;
    if (line.kind != Line::Kind::kEntry || !SameName(line.name, key)) return true;
    where.keyFound = true;
    where.valueEnd = line.end;
    where.valueBegin = line.end - line.value.size();
    return false;
  });
  if (where.sectionFound && where.sectionEnd == 0) where.sectionEnd = header.end;
  return where;
}

bool HoldsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The line ending the file already uses (that of its first line), LF for a
// file without one.
std::string_view LineEnding(std::string_view content) {
  const std::size_t newline = content.find('\n');
  const bool crlf = newline != std::string_view::npos && newline > 0 && content[newline - 1] == '\r';
  return crlf ? "\r\n" : "\n";
}

}  // namespace

std::string CutToProfileLimit(std::string_view text) {
  std::size_t cut = std::min(text.size(), kProfileValueLimit);
  // A UTF-8 character that straddles the cut goes whole: find the byte that
  // starts it (at most three bytes back) and check that the bytes after the
  // cut really complete it, so that other encodings are left alone.
  if (cut < text.size() && IsUtf8Continuation(text[cut])) {
    std::size_t lead = cut - 1;
    while (lead > 0 && cut - lead < 3 && IsUtf8Continuation(text[lead])) {
      --lead;
    }
    const std::size_t end = lead + Utf8SequenceLength(text[lead]);
    bool straddles = end > cut && end <= text.size();
    for (std::size_t i = cut; straddles && i < end; ++i) {
      straddles = IsUtf8Continuation(text[i]);
    }
    if (straddles) cut = lead;
  }
  return std::string(text.substr(0, cut));
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  const platform::FileContent file = platform::ReadRegularFile(path);
  if (!file.Read()) return CutToProfileLimit(defaultValue);
  const Location where = Locate(file.content, Trim(section), Trim(key));
  if (!where.keyFound) return CutToProfileLimit(defaultValue);
  return LookupValue(
      std::string_view(file.content.data() + where.valueBegin, where.valueEnd - where.valueBegin));
}

std::size_t ProfileSection::NameHash::operator()(std::string_view name) const {
  // FNV-1a over the lower-case bytes, so that names differing in case meet.
  std::size_t hash = 14695981039346656037ull;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(AsciiLower(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

bool ProfileSection::SameName::operator()(std::string_view a, std::string_view b) const {
  return rdrconf::SameName(a, b);
}

ProfileSection ProfileSection::Parse(std::string_view content, std::string_view section) {
  return FromContent(std::string(content), section);
}

ProfileSection ProfileSection::FromContent(std::string&& content, std::string_view section) {
  ProfileSection parsed;
  parsed.content_ = std::make_shared<const std::string>(std::move(content));
  Line header;
  ScanSection(*parsed.content_, Trim(section), header, [&](const Line& line) {
    // The first entry of a key wins.
    if (line.kind == Line::Kind::kEntry) parsed.values_.emplace(line.name, line.value);
    return true;
  });
  return parsed;
}

std::optional<ProfileSection> ProfileSection::Read(const std::string& path, std::string_view section) {
  platform::FileContent file = platform::ReadRegularFile(path);
  if (!file.Read()) return std::nullopt;
  return FromContent(std::move(file.content), section);
}

std::optional<std::string> ProfileSection::Value(std::string_view key) const {
  const auto it = values_.find(Trim(key));
  if (it == values_.end()) return std::nullopt;
  return LookupValue(it->second);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, std::string* why) {
  const auto refuse = [why](std::string reason) {
    if (why) *why = std::move(reason);
    return false;
  };
  section = Trim(section);
  key = Trim(key);
  if (HoldsLineBreakOrNul(section) || HoldsLineBreakOrNul(key) || HoldsLineBreakOrNul(value)) {
    return refuse("a line break or a NUL byte would break the file's lines");
  }
  if (key.find('=') != std::string_view::npos || (!key.empty() && (key.front() == '[' || key.front() == ';'))) {
    return refuse("the key \"" + std::string(key) + "\" would not read back as a key");
  }

  platform::FileContent file = platform::ReadRegularFile(path);
  platform::Permissions permissions = file.permissions;
  if (file.status == platform::ReadStatus::kMissing) {
    permissions = std::nullopt;  // a new file, with the rights any new file gets
  } else if (!file.Read()) {
    return refuse("cannot read " + path + ": " + file.Problem());
  }
  std::string& content = file.content;

  const Location where = Locate(content, section, key);
  const std::string_view eol = LineEnding(content);
  std::string entry(key);
  entry += '=';
  entry += value;
  if (where.keyFound) {
    content.replace(where.valueBegin, where.valueEnd - where.valueBegin, value);
  } else if (where.sectionFound) {
    content.insert(where.sectionEnd, std::string(eol) + entry);
  } else {
    if (!content.empty() && content.back() != '\n') content += eol;
    content += '[';
    content += section;
    content += ']';
    content += eol;
    content += entry;
    content += eol;
  }
  platform::SystemError error;
  if (!platform::ReplaceFileAtomically(path, content, permissions, error)) return refuse(error.text);
  return true;
}

}  // namespace rdrconf
