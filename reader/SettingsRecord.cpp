#include "reader/SettingsRecord.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <random>
#include <system_error>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
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
constexpr long long kLargestRecord = 4 << 20;
// Writers hold the folder's lock for the few milliseconds of one write; a
// lock still held after this long belongs to a program that hangs, and the
// record is then given up rather than the configuring.
constexpr int kLockAttempts = 200;
constexpr auto kLockPause = std::chrono::milliseconds(10);

#ifdef _WIN32
// Windows: UTF-8 paths up to here, UTF-16 at the Win32 calls.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), units);
  return wide;
}

std::string Utf8(const wchar_t* text, int units) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, units, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::string SystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Utf8(buffer, static_cast<int>(length)) : std::string("error");
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text + " (Windows error " + std::to_string(code) + ")";
}

// %LOCALAPPDATA% (this computer's application data of the user, which
// does not roam: the record is about the readers of this computer), with a
// trailing '\\'; empty when it is unset or not absolute.
std::string LocalAppData() {
  wchar_t value[32768];
  const DWORD units = GetEnvironmentVariableW(L"LOCALAPPDATA", value, 32768);
  if (units == 0 || units >= 32768) return {};
  std::string folder = Utf8(value, static_cast<int>(units));
  const bool absolute = (folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) ||
                        folder.rfind("\\\\", 0) == 0;
  if (!absolute) return {};
  return folder.back() == '\\' || folder.back() == '/' ? folder : folder + '\\';
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("/\\") + 1); }

bool MakeFolders(const std::string& folder, std::string& problem) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(Wide(folder)), error);
  if (error) problem = "cannot create the folder " + folder + ": " + error.message();
  return !error;
}

// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now, giving whether the close succeeded.
  bool CloseNow() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};
#else
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

#endif

enum class FileState { kMissing, kRead, kUnreadable };

#ifdef _WIN32
// Reads a whole file on a disk. Whatever else stands at the path (a device,
// a pipe) is refused before it is read, so it cannot hold the program, and
// counts as unreadable.
FileState ReadWhole(const std::string& path, std::string& content, std::string& problem) {
  const Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileState::kMissing;
    problem = SystemText(error);
    return FileState::kUnreadable;
  }
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    problem = "not a regular file";
    return FileState::kUnreadable;
  }
  if (!GetFileSizeEx(file.get(), &size)) {
    problem = SystemText(GetLastError());
    return FileState::kUnreadable;
  }
  if (size.QuadPart > kLargestRecord) {
    problem = "too large for a record (" + std::to_string(size.QuadPart) + " bytes)";
    return FileState::kUnreadable;
  }
  content.clear();
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      problem = SystemText(GetLastError());
      return FileState::kUnreadable;
    }
    if (got == 0) return FileState::kRead;
    content.append(buffer, got);
    if (content.size() > static_cast<std::size_t>(kLargestRecord)) {
      problem = "too large for a record";
      return FileState::kUnreadable;
    }
  }
}
#else
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

#endif

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

#ifdef _WIN32
// Puts `bytes` in place of `path`: a new file in the same folder, flushed,
// and moved over the old one in one step (MoveFileExW, written through to
// the disk), so that a crash or a power cut leaves either the old record or
// the new one, never a part.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string& problem) {
  std::random_device random;
  std::string temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 16 && created == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    temporary = FolderOf(path) + "." + kFileName + suffix;
    created = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    problem = "cannot create a file in " + FolderOf(path) + ": " + SystemText(GetLastError());
    return false;
  }
  Handle file(created);
  std::size_t written = 0;
  bool ok = true;
  while (ok && written < bytes.size()) {
    DWORD put = 0;
    ok = WriteFile(file.get(), bytes.data() + written, static_cast<DWORD>(bytes.size() - written), &put, nullptr) &&
         put > 0;
    written += put;
  }
  ok = ok && FlushFileBuffers(file.get());
  if (!ok) problem = "cannot write " + temporary + ": " + SystemText(GetLastError());
  if (!file.CloseNow() && ok) {
    ok = false;
    problem = "cannot write " + temporary + ": " + SystemText(GetLastError());
  }
  if (ok && !MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    problem = "cannot replace " + path + ": " + SystemText(GetLastError());
  }
  if (!ok) DeleteFileW(Wide(temporary).c_str());
  return ok;
}

// Holds the folder's lock: a file beside the record, opened for this
// program alone (no sharing) and deleted when it is closed. Every writer
// takes it around its read-modify-write, so that two writers at once both
// keep their entries.
class FolderLock {
 public:
  bool Take(const std::string& folder, std::string& problem) {
    const std::wstring path = Wide(folder + kFileName + ".lock");
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
      lock_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (lock_ != INVALID_HANDLE_VALUE) return true;
      const DWORD error = GetLastError();
      // Held by another writer, or being deleted as that one lets go.
      if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
        problem = SystemText(error);
        return false;
      }
      std::this_thread::sleep_for(kLockPause);
    }
    problem = "another program holds its lock";
    return false;
  }
  FolderLock() = default;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() {
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
  }

 private:
  HANDLE lock_ = INVALID_HANDLE_VALUE;
};
#else
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

#endif

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
#ifdef _WIN32
  const std::string local = LocalAppData();
  return local.empty() ? std::string() : local + "rdrconf\\" + kFileName;
#else
  std::string state = AbsoluteFolderOf("XDG_STATE_HOME");
  if (state.empty()) {
    const std::string home = AbsoluteFolderOf("HOME");
    if (home.empty()) return {};
    state = home + ".local/state/";
  }
  return state + "rdrconf/" + kFileName;
#endif
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
#ifdef _WIN32
  if (path_.empty()) return fail("%LOCALAPPDATA% names no absolute folder");
#else
  if (path_.empty()) return fail("neither XDG_STATE_HOME nor HOME names an absolute folder");
#endif
  const std::string key = KeyOf(reader);
  if (key.empty()) return fail("the reader has neither a serial number nor a USB port");

  std::string problem;
  const std::string folderPath = FolderOf(path_);
  if (!MakeFolders(folderPath, problem)) return fail(problem);
#ifdef _WIN32
  FolderLock lock;
  if (!lock.Take(folderPath, problem)) return fail("cannot lock the folder " + folderPath + ": " + problem);
#else
  const Descriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return fail("cannot open the folder " + folderPath + ": " + SystemText(errno));
  if (!LockFolder(folder.get(), problem)) return fail("cannot lock the folder " + folderPath + ": " + problem);
#endif

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
#ifdef _WIN32
  if (!ReplaceFile(path_, bytes, problem)) return fail(problem);
#else
  if (!ReplaceFile(path_, folder.get(), bytes, problem)) return fail(problem);
#endif
  if (message) *message = note;
  return true;
}

bool RecordWrite(const HidInterfaceInfo& reader, const ReaderParameterBlock& settings, Outcome outcome,
                 std::chrono::system_clock::time_point when, std::string* message) {
  return SettingsRecord(SettingsRecord::DefaultPath()).Write(reader, settings, outcome, when, message);
}

}  // namespace rdrconf
