#include "i18n/Language.h"

#ifdef _WIN32
#include <windows.h>
// windows.h names these after its own A/W functions; ours are meant.
#undef ReplaceFile
#undef WriteProfileString

#include <filesystem>
#include <system_error>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace rdrconf {

// The shipped English language file, compiled in (BuiltInTexts.cpp is
// generated from lang/RDRCONF.en-US.ini).
extern const char* const kBuiltInEnglishFile;

namespace {

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(units, 0)), L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, path.data(), size, wide.data(), units);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}
#else
bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

#endif

std::string FileName(const std::string& code) { return "RDRCONF." + code + ".ini"; }

#ifndef _WIN32
// An environment variable that names an absolute folder, with a trailing
// '/'; empty when it is unset, empty or relative (such values are ignored).
std::string AbsoluteFolder(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return {};
  std::string folder = value;
  if (folder.back() != '/') folder += '/';
  return folder;
}

// $variable, else $HOME/fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
  std::string folder = AbsoluteFolder(variable);
  if (folder.empty()) {
    const std::string home = AbsoluteFolder("HOME");
    if (!home.empty()) folder = home + fallback;
  }
  return folder;
}

std::vector<std::string> DataDirs() {
  std::vector<std::string> folders;
  const char* value = std::getenv("XDG_DATA_DIRS");
  std::string list = value != nullptr ? value : "";
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t colon = std::min(list.find(':', start), list.size());
    std::string folder = list.substr(start, colon - start);
    if (!folder.empty() && folder.front() == '/') {
      if (folder.back() != '/') folder += '/';
      folders.push_back(folder);
    }
    start = colon + 1;
  }
  if (folders.empty()) folders = {"/usr/local/share/", "/usr/share/"};
  return folders;
}
#endif

#ifdef _WIN32
bool MakeFolders(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(WidePath(folder)), error);
  return !error;
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of("/\\") + 1); }

// %APPDATA% (the user's roaming application data), with a trailing '\';
// empty when it is unset or not absolute.
std::string AppDataFolder() {
  wchar_t value[32768];
  const DWORD units = GetEnvironmentVariableW(L"APPDATA", value, 32768);
  if (units == 0 || units >= 32768) return {};
  std::string folder = Utf8(std::wstring(value, units));
  const bool absolute = (folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) ||
                        folder.rfind("\\\\", 0) == 0;
  if (!absolute) return {};
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

// The folder of the running program, with a trailing '\': where the zip
// puts the language files beside rdrconf.exe.
std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD units = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (units == 0) return {};
    if (units < path.size()) {
      path.resize(units);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Folder(Utf8(path));
}
#else
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }
#endif

}  // namespace

LanguagePlaces LanguagePlaces::Find() {
  LanguagePlaces places;
  if (IsRegularFile("./" + FileName(kChineseCode)) || IsRegularFile("./" + FileName(kEnglishCode))) {
    places.choiceFile = std::string("./") + kLanguageChoiceFileName;
    places.textFolders = {"./"};
    return places;
  }
  places.workingFolder = false;
#ifdef _WIN32
  const std::string appData = AppDataFolder();
  if (!appData.empty()) {
    places.choiceFile = appData + "rdrconf\\" + kLanguageChoiceFileName;
    places.textFolders.push_back(appData + "rdrconf\\");
  }
  const std::string program = ProgramFolder();
  if (!program.empty()) places.textFolders.push_back(program);
  return places;
#else
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config/");
  if (!config.empty()) places.choiceFile = config + "rdrconf/" + kLanguageChoiceFileName;
  const std::string data = XdgFolder("XDG_DATA_HOME", ".local/share/");
  if (!data.empty()) places.textFolders.push_back(data + "rdrconf/");
  for (const std::string& folder : DataDirs()) places.textFolders.push_back(folder + "rdrconf/");
  return places;
#endif
}

std::string LanguagePlaces::TextFile(const std::string& code) const {
  const std::string name = FileName(code);
  for (const std::string& folder : textFolders) {
    if (IsRegularFile(folder + name)) return folder + name;
  }
  return textFolders.empty() ? "./" + name : textFolders.front() + name;
}

std::string ReadLanguageChoice() {
  const std::string stored = ReadProfileString(LanguagePlaces::Find().choiceFile, kLanguageChoiceSection,
                                               kLanguageChoiceKey, kChineseCode);
  return stored == kChineseCode ? kChineseCode : kEnglishCode;
}

bool SaveLanguageChoice(const std::string& code) {
  const LanguagePlaces places = LanguagePlaces::Find();
  if (places.choiceFile.empty()) return false;
  if (!places.workingFolder && !MakeFolders(Folder(places.choiceFile))) return false;
  return WriteProfileString(places.choiceFile, kLanguageChoiceSection, kLanguageChoiceKey, code);
}

std::string LanguageFilePath(const std::string& code) { return LanguagePlaces::Find().TextFile(code); }

void SelectLanguageFile(const std::string& code) {
  TextCatalogue::Instance().SetPath(LanguageFilePath(code));
}

TextCatalogue& TextCatalogue::Instance() {
  static TextCatalogue catalogue;
  return catalogue;
}

void TextCatalogue::SetPath(std::string path) {
  path_ = std::move(path);
  read_ = false;
  texts_.reset();
}

void TextCatalogue::Load() {
  if (read_) return;
  read_ = true;
  texts_ = ProfileSection::Read(path_, kUiTextSection);
}

bool TextCatalogue::Loaded() {
  Load();
  return texts_.has_value();
}

std::optional<std::string> TextCatalogue::Text(std::string_view key) {
  Load();
  return texts_ ? texts_->Value(key) : std::nullopt;
}

std::string BuiltInText(std::string_view key) {
  static const ProfileSection english = ProfileSection::Parse(kBuiltInEnglishFile, kUiTextSection);
  return english.Value(key).value_or("");
}

std::string LoadUiText(std::string_view key) {
  TextCatalogue& catalogue = TextCatalogue::Instance();
  if (!catalogue.Loaded()) return BuiltInText(key);
  if (std::optional<std::string> text = catalogue.Text(key)) return *std::move(text);
  const bool catalogueKey = std::any_of(std::begin(ui_text::kCatalogueKeys), std::end(ui_text::kCatalogueKeys),
                                        [&](const char* known) { return key == known; });
  return catalogueKey ? std::string() : BuiltInText(key);
}

void ApplyMainWindowTexts(CaptionTarget& window) {
  window.SetWindowCaption(LoadUiText(ui_text::kFormTitle));
  for (const char* key : ui_text::kMainWindowCaptionKeys) window.SetCaptionOf(key, LoadUiText(key));
}

}  // namespace rdrconf
