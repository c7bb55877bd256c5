#include "reader/SettingsRecord.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "reader/CardNumberFormats.h"

namespace rdrconf {
namespace {

using Json = nlohmann::ordered_json;

constexpr char kFileName[] = "readers.json";
// A record is a few hundred bytes a reader; anything this large is not one,
// and reading it whole would only cost memory.
constexpr off_t kLargestRecord = 4 << 20;
// Writers hold the folder's lock for the few milliseconds of one write; a
// lock still held after this long belongs to a program that hangs, and the
// record is then given up rather than the configuring.
constexpr int kLockAttempts = 200;
constexpr auto kLockPause = std::chrono::milliseconds(10);

std::string SystemText(int number) { return std::strerror(number); }

// $variable when it names an absolute folder, with a trailing '/'.
std::string AbsoluteFolderOf(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return {};
  std::string folder = value;
  return folder.back() == '/' ? folder : folder + '/';
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, giving whether the close succeeded (a failed close can mean
  // lost data).
  bool CloseNow() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Makes `folder` and any missing folder above it, private to this user.
bool MakeFolders(const std::string& folder, std::string& problem) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      problem = "cannot create the folder " + part + ": " + SystemText(errno);
      return false;
    }
  }
  return true;
}

enum class FileState { kMissing, kRead, kUnreadable };

// Reads a whole regular file. Whatever else stands at the path (a FIFO, a
// device) is never opened in a way that can block, and counts as
// unreadable.
FileState ReadWhole(const std::string& path, std::string& content, std::string& problem) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) {
    if (errno == ENOENT) return FileState::kMissing;
    problem = SystemText(errno);
    return FileState::kUnreadable;
  }
  struct stat info {};
  if (fstat(file.get(), &info) != 0) {
    problem = SystemText(errno);
    return FileState::kUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = "not a regular file";
    return FileState::kUnreadable;
  }
  if (info.st_size > kLargestRecord) {
    problem = "too large for a record (" + std::to_string(info.st_size) + " bytes)";
    return FileState::kUnreadable;
  }
  content.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(file.get(), buffer, sizeof buffer);
    if (got == 0) return FileState::kRead;
    if (got < 0) {
      if (errno == EINTR) continue;
      problem = SystemText(errno);
      return FileState::kUnreadable;
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > static_cast<std::size_t>(kLargestRecord)) {
      problem = "too large for a record";
      return FileState::kUnreadable;
    }
  }
}

// The record file as a document, or an empty object when there is none to
// build on; `warning` says why a file was not taken.
struct LoadedRecord {
  Json document = Json::object();
  long long newerVersion = 0;  // the version of a record by a later rdrconf: not ours to rewrite
};

LoadedRecord Load(const std::string& path, std::string& warning) {
  LoadedRecord loaded;
  std::string content;
  std::string problem;
  switch (ReadWhole(path, content, problem)) {
    case FileState::kMissing: return loaded;
    case FileState::kUnreadable:
      warning = "ignoring the settings record " + path + ": " + problem;
      return loaded;
    case FileState::kRead: break;
  }
  Json document = Json::parse(content, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    warning = "ignoring the settings record " + path + ": it is not valid JSON";
    return loaded;
  }
  const auto version = document.is_object() ? document.find("version") : document.end();
  const auto readers = document.is_object() ? document.find("readers") : document.end();
  if (version == document.end() || !version->is_number_integer() || readers == document.end() ||
      !readers->is_object()) {
    warning = "ignoring the settings record " + path + ": it holds no record of readers";
    return loaded;
  }
  if (version->get<long long>() != kSettingsRecordVersion) {
    warning = "ignoring the settings record " + path + ": it has version " +
              std::to_string(version->get<long long>()) + ", this program reads version " +
              std::to_string(kSettingsRecordVersion);
    if (version->get<long long>() > kSettingsRecordVersion) loaded.newerVersion = version->get<long long>();
    return loaded;
  }
  loaded.document = std::move(document);
  return loaded;
}

std::string StringField(const Json& object, const char* name) {
  const auto field = object.find(name);
  return field != object.end() && field->is_string() ? field->get<std::string>() : std::string();
}

std::optional<RecordEntry> EntryFromJson(const Json& entry) {
  if (!entry.is_object()) return std::nullopt;
  const auto settings = entry.find("settings");
  if (settings == entry.end()) return std::nullopt;
  std::optional<ReaderParameterBlock> block = SettingsFromJson(*settings);
  const std::string outcome = StringField(entry, "outcome");
  const std::string writtenAt = StringField(entry, "written_at");
  if (!block || writtenAt.empty() || (outcome != OutcomeName(Outcome::kDone) &&
                                      outcome != OutcomeName(Outcome::kStatus))) {
    return std::nullopt;
  }
  RecordEntry result;
  result.settings = *block;
  result.outcome = outcome == OutcomeName(Outcome::kStatus) ? Outcome::kStatus : Outcome::kDone;
  result.writtenAt = writtenAt;
  result.path = StringField(entry, "path");
  result.serial = StringField(entry, "serial");
  result.usbPort = StringField(entry, "usb_port");
  return result;
}

std::string UtcText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// Puts `bytes` in place of `path`: a new file in the same folder, flushed,
// renamed over the old one, and the folder flushed, so that a crash or a
// power cut leaves either the old record or the new one, never a part.
bool ReplaceFile(const std::string& path, int folder, const std::string& bytes, std::string& problem) {
  std::string temporary = FolderOf(path) + "." + kFileName + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    problem = "cannot create a file in " + FolderOf(path) + ": " + SystemText(errno);
    return false;
  }
  Descriptor file(fd);
  if (!WriteAll(file.get(), bytes) || fsync(file.get()) != 0 || !file.CloseNow()) {
    problem = "cannot write " + temporary + ": " + SystemText(errno);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    problem = "cannot replace " + path + ": " + SystemText(errno);
    unlink(temporary.c_str());
    return false;
  }
  fsync(folder);  // the rename is done; a failed flush of the folder loses nothing written
  return true;
}

// Holds the folder's exclusive lock: every writer takes it around its
// read-modify-write, so that two writers at once both keep their entries.
bool LockFolder(int folder, std::string& problem) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (flock(folder, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      problem = SystemText(errno);
      return false;
    }
    std::this_thread::sleep_for(kLockPause);
  }
  problem = "another program holds its lock";
  return false;
}

}  // namespace

Json SettingsJson(const ReaderParameterBlock& block) {
  return Json{{"format_index", block.cardno_type},
              {"mode", block.mode == 1 ? "active" : "passive"},
              {"enter", block.enter == 1},
              {"power_saving", block.power_saving == 1}};
}

std::optional<ReaderParameterBlock> SettingsFromJson(const Json& settings) {
  if (!settings.is_object()) return std::nullopt;
  const auto format = settings.find("format_index");
  const auto mode = settings.find("mode");
  const auto enter = settings.find("enter");
  const auto powerSaving = settings.find("power_saving");
  if (format == settings.end() || !format->is_number_integer() || mode == settings.end() ||
      !mode->is_string() || enter == settings.end() || !enter->is_boolean() ||
      powerSaving == settings.end() || !powerSaving->is_boolean()) {
    return std::nullopt;
  }
  const long long position = format->get<long long>();
  const std::string modeName = mode->get<std::string>();
  if (position < 0 || position > kLastCardNumberFormat || (modeName != "active" && modeName != "passive")) {
    return std::nullopt;
  }
  ReaderParameterBlock block;
  block.cardno_type = static_cast<std::uint8_t>(position);
  block.mode = modeName == "active" ? 1 : 0;
  block.enter = enter->get<bool>() ? 1 : 0;
  block.power_saving = powerSaving->get<bool>() ? 1 : 0;
  return block;
}

std::string SettingsRecord::DefaultPath() {
  std::string state = AbsoluteFolderOf("XDG_STATE_HOME");
  if (state.empty()) {
    const std::string home = AbsoluteFolderOf("HOME");
    if (home.empty()) return {};
    state = home + ".local/state/";
  }
  return state + "rdrconf/" + kFileName;
}

std::string SettingsRecord::KeyOf(const HidInterfaceInfo& reader) {
  if (!reader.serialNumber.empty()) return reader.serialNumber;
  if (!reader.usbPort.empty()) return "usb:" + reader.usbPort;
  return {};
}

std::map<std::string, RecordEntry> SettingsRecord::Read(std::string* warning) const {
  std::string note;
  std::map<std::string, RecordEntry> entries;
  if (!path_.empty()) {
    const LoadedRecord loaded = Load(path_, note);
    if (const auto readers = loaded.document.find("readers"); readers != loaded.document.end()) {
      for (const auto& [key, value] : readers->items()) {
        if (std::optional<RecordEntry> entry = EntryFromJson(value)) {
          entries.emplace(key, *std::move(entry));
        } else if (note.empty()) {
          note = "ignoring the entry \"" + key + "\" of the settings record " + path_ +
                 ": it holds no valid settings";
        }
      }
    }
  }
  if (warning) *warning = note;
  return entries;
}

bool SettingsRecord::Write(const HidInterfaceInfo& reader, const ReaderParameterBlock& settings,
                           Outcome outcome, std::chrono::system_clock::time_point when,
                           std::string* message) const {
  std::string note;
  const auto fail = [&](std::string why) {
    if (message) *message = "not recorded: " + why;
    return false;
  };
  if (outcome != Outcome::kDone && outcome != Outcome::kStatus) {
    return fail(std::string("the exchange ended with \"") + OutcomeName(outcome) + "\"");
  }
  if (path_.empty()) return fail("neither XDG_STATE_HOME nor HOME names an absolute folder");
  const std::string key = KeyOf(reader);
  if (key.empty()) return fail("the reader has neither a serial number nor a USB port");

  std::string problem;
  const std::string folderPath = FolderOf(path_);
  if (!MakeFolders(folderPath, problem)) return fail(problem);
  const Descriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return fail("cannot open the folder " + folderPath + ": " + SystemText(errno));
  if (!LockFolder(folder.get(), problem)) return fail("cannot lock the folder " + folderPath + ": " + problem);

  LoadedRecord loaded = Load(path_, note);
  if (loaded.newerVersion != 0) {
    return fail(path_ + " has version " + std::to_string(loaded.newerVersion) + ", from a newer rdrconf");
  }
  if (!note.empty()) note += "; it is replaced";
  Json& document = loaded.document;
  document["version"] = kSettingsRecordVersion;
  if (!document.contains("readers")) document["readers"] = Json::object();
  document["readers"][key] = Json{{"written_at", UtcText(when)},
                                  {"outcome", OutcomeName(outcome)},
                                  {"path", reader.path},
                                  {"serial", reader.serialNumber},
                                  {"usb_port", reader.usbPort},
                                  {"settings", SettingsJson(settings)}};
  // Texts from a device may hold bytes that are not UTF-8; they are stored
  // replaced rather than failing the whole record.
  const std::string bytes =
      document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  if (!ReplaceFile(path_, folder.get(), bytes, problem)) return fail(problem);
  if (message) *message = note;
  return true;
}

bool RecordWrite(const HidInterfaceInfo& reader, const ReaderParameterBlock& settings, Outcome outcome,
                 std::chrono::system_clock::time_point when, std::string* message) {
  return SettingsRecord(SettingsRecord::DefaultPath()).Write(reader, settings, outcome, when, message);
}

}  // namespace rdrconf
