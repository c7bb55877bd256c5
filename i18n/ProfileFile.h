#pragma once

#include <cstddef>
#include <string>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

// A small INI ("profile") file layer: one value looked up or written by
// section and key. Plain C++ over the platform's files, no Qt. Paths are UTF-8.
//
// File format as read:
// - A UTF-8 byte-order mark at the very start is skipped; lines end in LF or
//   CRLF.
// - Spaces and tabs around section names, key names and values are ignored.
// - A line whose first non-blank character is ';' is a comment. There are no
//   inline comments: "key=a ; b" has the value "a ; b".
// - "[name]" starts a section; the name runs to the last ']' of the line.
//   A line that starts with '[' but holds no ']' is no section header.
// - "key=value" is an entry; the key runs to the first '='. Lines of any
//   other shape, and entries before the first section, are ignored.
// - Section and key names match without regard to ASCII case. The first
//   matching section is the only one searched, and its first matching key
//   wins.
// - One pair of matching double or single quotes around a value is removed.
// - The section and key names asked for are trimmed of blanks as well.
namespace rdrconf {

// Values are read as into a buffer of this many bytes, terminating zero
// included: at most kProfileValueLimit bytes of a value are used.
inline constexpr std::size_t kProfileBufferSize = 200;
inline constexpr std::size_t kProfileValueLimit = kProfileBufferSize - 1;

// Cuts text to at most kProfileValueLimit bytes without splitting a UTF-8
// character: a multi-byte character that the cut after the 199th byte would
// split is dropped whole. Bytes that are not UTF-8 (a GB18030 file, say) are
// cut after the 199th byte, even inside one of their own characters.
std::string CutToProfileLimit(std::string_view text);

// The value of `key` in `section` of the file at `path`, cut with
// CutToProfileLimit. `defaultValue`, cut the same way, when the file cannot
// be read or holds no such section or key. A path that names anything but a
// regular file (a FIFO, a device) counts as missing; it is never opened in a
// way that can block.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

// One section of a profile file, read and parsed once: Value(key) gives
// what ReadProfileString would give for that key, without reading the file
// again. For files looked up many times, such as a language file.
class ProfileSection {
 public:
  // std::nullopt when the file cannot be read (missing, unreadable, or not
  // a regular file); an empty section when it holds no such section.
  static std::optional<ProfileSection> Read(const std::string& path, std::string_view section);
  // The same from text already in memory.
  static ProfileSection Parse(std::string_view content, std::string_view section);

  // The value of `key`, cut as ReadProfileString cuts it; std::nullopt when
  // the section holds no such key.
  std::optional<std::string> Value(std::string_view key) const;

 private:
  static ProfileSection FromContent(std::string&& content, std::string_view section);

  struct NameHash {
    std::size_t operator()(std::string_view name) const;
  };
  struct SameName {
    bool operator()(std::string_view a, std::string_view b) const;
  };

  // The file's text, and each key's value as written in it (the first
  // entry of a key wins). Nothing is copied per entry: a language file may
  // be large, and only a few of its texts are ever asked for.
  std::shared_ptr<const std::string> content_;
  std::unordered_map<std::string_view, std::string_view, NameHash, SameName> values_;
};

// Sets `key` in `section` of the file at `path` to `value`:
// - the first matching key line of the first matching section is rewritten
//   in place (its indentation, the key as spelt in the file, the blanks
//   around '=' and its line ending stay);
// - a missing key is added after the last line of the section that is
//   neither blank nor a comment;
// - a missing section is appended, with the key, at the end of the file;
// - a missing file is created.
// Every other byte of the file stays as it was. The new content goes to a
// temporary file in the same folder, which is flushed to disk and renamed
// over the old one (on Windows moved over it with MoveFileExW, replacing
// it, written through to the disk), so readers see either the old or the
// new file, never a partial one; the file's permission bits are kept (on
// Linux; Windows has none: a read-only file there is refused), and a
// symbolic link is followed and its target replaced.
//
// Returns false, and leaves the old file and no temporary file behind, when
// anything fails, and refuses to write names or values that would break the
// file's structure: a line break or NUL byte anywhere, or a key holding '='
// or starting with '[' or ';'. `why` then gets the reason.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, std::string* why = nullptr);

}  // namespace rdrconf
