#include "i18n/ProfileFile.h"

#ifdef _WIN32
#include <windows.h>
// windows.h names these after its own A/W functions; ours are meant.
#undef ReplaceFile
#undef WriteProfileString

#include <random>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

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

#ifdef _WIN32
// Windows: paths are UTF-8 up to here and UTF-16 at the Win32 calls. There
// are no permission bits to keep (the "mode" is unused): a file that
// replaces another takes the folder's rights, as any new file there does,
// and a read-only file is refused rather than replaced.

std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), units);
  return wide;
}

std::string Utf8Path(const wchar_t* path, int units) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path, units, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

// The whole content of a file on a disk; std::nullopt when it cannot be
// read. `missing` tells that the file (or its folder) does not exist.
// Anything that is not a disk file (a console, a pipe, a serial port in the
// file's place) is refused before it is read, so it cannot hold the
// program in a read.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& missing, mode_t&) {
  missing = false;
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return std::nullopt;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  std::optional<std::string> content;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    content.emplace();
    char buffer[8192];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        content.reset();
        break;
      }
      if (got == 0) break;
      content->append(buffer, got);
    }
  }
  CloseHandle(file);
  return content;
}

mode_t NewFileMode() { return 0; }

// Puts `content` in place of the file at `path`: a temporary file in the
// same folder, written, flushed to disk and moved over `path` in one step
// (MoveFileExW replaces the old file; with MOVEFILE_WRITE_THROUGH it
// returns only once the move is on the disk).
bool ReplaceFile(const std::string& path, std::string_view content, mode_t) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::wstring target = WidePath(path);
  if (target.empty()) return false;

  std::random_device random;
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    temporary = WidePath(folder + "." + name + suffix);
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !content.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
    DWORD put = 0;
    ok = WriteFile(file, content.data(), chunk, &put, nullptr) != 0 && put > 0;
    content.remove_prefix(put);
  }
  ok = FlushFileBuffers(file) != 0 && ok;
  ok = CloseHandle(file) != 0 && ok;
  ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

// The file a write replaces: the target of a symbolic link (a reparse
// point), not the link. std::nullopt when the link leads nowhere.
std::optional<std::string> ReplacedFile(const std::string& path) {
  const std::wstring wide = WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  const HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  wchar_t resolved[32768];
  const DWORD units = GetFinalPathNameByHandleW(file, resolved, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (units == 0 || units >= 32768) return std::nullopt;
  return Utf8Path(resolved, static_cast<int>(units));
}

#else
// The whole content of a regular file; std::nullopt when it cannot be read.
// `missing` tells that the file (or its folder) does not exist.
std::optional<std::string> ReadWholeFile(const std::string& path, bool& missing, mode_t& mode) {
  missing = false;
  // Non-blocking, so that a FIFO or a device in the file's place cannot hold
  // the program in open(); anything but a regular file is then refused.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    return std::nullopt;
  }
  std::optional<std::string> content;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    mode = info.st_mode & 07777;
    content.emplace();
    char buffer[8192];
    for (;;) {
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) {
        content->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        content.reset();
        break;
      }
    }
  }
  close(fd);
  return content;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = write(fd, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// Permission bits a newly created file gets: 0666 less the umask. Reading
// the umask means setting it; the program is single-threaded, so no other
// thread creates a file in between.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Puts `content` in place of the file at `path`: a temporary file in the
// same folder, written, flushed to disk and renamed over `path`.
bool ReplaceFile(const std::string& path, std::string_view content, mode_t mode) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temporary = folder + "." + name + ".XXXXXX";

  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable; the new file is in place either way.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// The file a write replaces: the target of a symbolic link, not the link.
// std::nullopt when the link leads nowhere that can be named.
std::optional<std::string> ReplacedFile(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
  }
  return path;
}

#endif

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
  bool missing = false;
  mode_t mode = 0;
  const std::optional<std::string> content = ReadWholeFile(path, missing, mode);
  if (!content) return CutToProfileLimit(defaultValue);
  const Location where = Locate(*content, Trim(section), Trim(key));
  if (!where.keyFound) return CutToProfileLimit(defaultValue);
  return LookupValue(
      std::string_view(content->data() + where.valueBegin, where.valueEnd - where.valueBegin));
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
  bool missing = false;
  mode_t mode = 0;
  std::optional<std::string> content = ReadWholeFile(path, missing, mode);
  if (!content) return std::nullopt;
  return FromContent(*std::move(content), section);
}

std::optional<std::string> ProfileSection::Value(std::string_view key) const {
  const auto it = values_.find(Trim(key));
  if (it == values_.end()) return std::nullopt;
  return LookupValue(it->second);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (HoldsLineBreakOrNul(section) || HoldsLineBreakOrNul(key) || HoldsLineBreakOrNul(value) ||
      key.find('=') != std::string_view::npos ||
      (!key.empty() && (key.front() == '[' || key.front() == ';'))) {
    return false;
  }

  // Replace the target of a symbolic link, not the link.
  const std::optional<std::string> replaced = ReplacedFile(path);
  if (!replaced) return false;
  const std::string& target = *replaced;

  bool missing = false;
  mode_t mode = 0;
  std::optional<std::string> content = ReadWholeFile(target, missing, mode);
  if (!content) {
    if (!missing) return false;
    content.emplace();
    mode = NewFileMode();
  }

  const Location where = Locate(*content, section, key);
  const std::string_view eol = LineEnding(*content);
  std::string entry(key);
  entry += '=';
  entry += value;
  if (where.keyFound) {
    content->replace(where.valueBegin, where.valueEnd - where.valueBegin, value);
  } else if (where.sectionFound) {
    content->insert(where.sectionEnd, std::string(eol) + entry);
  } else {
    if (!content->empty() && content->back() != '\n') *content += eol;
    *content += '[';
    *content += section;
    *content += ']';
    *content += eol;
    *content += entry;
    *content += eol;
  }
  return ReplaceFile(target, *content, mode);
}

}  // namespace rdrconf
