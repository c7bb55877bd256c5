// libFuzzer entry for the profile-file layer.
//
// Input: "section\0key\0value\0content", all arbitrary bytes. The content is
// put into a scratch file, the value of (section, key) is read from it, and
// then `value` is written to (section, key).
//
// Properties checked:
// - a read gives at most 199 bytes, and the default exactly when the key is
//   missing;
// - a refused write leaves the file as it was and no other file behind;
// - after a write the key reads back as it does from a file that holds that
//   entry alone (and, for a value with nothing to trim or unquote and within
//   the limit, as exactly the value written);
// - a write changes nothing but the one entry: the old value's bytes on the
//   key's own line when the key was there; otherwise nothing is removed and
//   exactly one line "key=value" is added, after a new "[section]" line when
//   the section was missing (and a line ending for a last line without one).
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "i18n/ProfileFile.h"

namespace {

// In memory where possible: every write is flushed to disk, which would
// otherwise bound the speed of fuzzing.
char g_folder[] = "/dev/shm/rdrconf-fuzz-XXXXXX";

std::string FilePath(const char* name) { return std::string(g_folder) + "/" + name; }

void RemoveScratchFolder() {
  std::remove(FilePath("t.ini").c_str());
  std::remove(FilePath("alone.ini").c_str());
  rmdir(g_folder);
}

void MakeScratchFolder() {
  static const bool made = [] {
    if (mkdtemp(g_folder) == nullptr) {
      std::memcpy(g_folder, "/tmp/rdrconf-fuzz-XXXXXX", sizeof "/tmp/rdrconf-fuzz-XXXXXX");
      if (mkdtemp(g_folder) == nullptr) std::abort();
    }
    std::atexit(RemoveScratchFolder);
    return true;
  }();
  (void)made;
}

void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

void Put(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  Require(file != nullptr, "the scratch file can be made");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  Require(std::fclose(file) == 0 && written, "the scratch file can be written");
}

std::string Get(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
  }
  return bytes;
}

int FilesInFolder() {
  int count = 0;
  if (DIR* dir = opendir(g_folder)) {
    while (const dirent* entry = readdir(dir)) {
      if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..") ++count;
    }
    closedir(dir);
  }
  return count;
}

bool IsPlain(std::string_view value) {
  if (value.size() > rdrconf::kProfileValueLimit) return false;
  if (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                         value.back() == '\t')) {
    return false;
  }
  const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                      (value.front() == '"' || value.front() == '\'');
  return !quoted;
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Splits off the text up to the next NUL; false when there is none.
bool NextField(std::string_view& input, std::string_view& field) {
  const std::size_t nul = input.find('\0');
  if (nul == std::string_view::npos) return false;
  field = input.substr(0, nul);
  input.remove_prefix(nul + 1);
  return true;
}

// A default that no read of a file can give: values never hold a line break.
constexpr std::string_view kMissing = "\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view section, key, value;
  if (!NextField(input, section) || !NextField(input, key) || !NextField(input, value)) return 0;
  const std::string_view before = input;

  MakeScratchFolder();
  const std::string path = FilePath("t.ini");
  Put(path, before);
  const std::string found = rdrconf::ReadProfileString(path, section, key, kMissing);
  Require(found.size() <= rdrconf::kProfileValueLimit, "a read gives at most 199 bytes");
  Require(rdrconf::ReadProfileString(path, section, key, "other") == (found == kMissing ? "other" : found),
          "the default comes back exactly when the key is missing");
  Require(rdrconf::ProfileSection::Parse(before, section).Value(key).value_or(std::string(kMissing)) == found,
          "a section parsed once answers as a lookup in the file does");

  const bool written = rdrconf::WriteProfileString(path, section, key, value);
  const std::string after = Get(path);
  Require(FilesInFolder() == 1, "no other file is left behind");
  if (!written) {
    Require(after == before, "a refused write leaves the file as it was");
    return 0;
  }

  const std::string alonePath = FilePath("alone.ini");
  std::remove(alonePath.c_str());
  Require(rdrconf::WriteProfileString(alonePath, section, key, value), "a write to a new file goes through");
  const std::string alone = rdrconf::ReadProfileString(alonePath, section, key, kMissing);
  std::remove(alonePath.c_str());
  Require(rdrconf::ReadProfileString(path, section, key, kMissing) == alone,
          "the value reads back as from a file holding it alone");
  if (IsPlain(value)) Require(alone == value, "a plain value reads back as written");

  // The bytes that differ lie between the longest common prefix and suffix.
  const std::size_t limit = std::min(before.size(), after.size());
  std::size_t prefix = 0;
  while (prefix < limit && before[prefix] == after[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < limit - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view removed = before.substr(prefix, before.size() - prefix - suffix);
  const std::string_view added = std::string_view(after).substr(prefix, after.size() - prefix - suffix);
  if (found == kMissing) {
    Require(removed.empty(), "adding an entry removes nothing");
    // New lines end as the file's first line does.
    const std::size_t firstBreak = before.find('\n');
    const std::size_t eol = firstBreak != std::string_view::npos && firstBreak > 0 && before[firstBreak - 1] == '\r' ? 2 : 1;
    const std::size_t entry = eol + Trim(key).size() + 1 + value.size();
    const std::size_t lastLineEnd = !before.empty() && before.back() != '\n' ? eol : 0;
    const std::size_t withSection = lastLineEnd + 1 + Trim(section).size() + 1 + entry + eol;
    Require(added.size() == entry || added.size() == withSection, "adding an entry adds its line alone");
  } else {
    Require(removed.find('\n') == std::string_view::npos && added.find('\n') == std::string_view::npos,
            "rewriting an entry changes its own line only");
  }
  return 0;
}
