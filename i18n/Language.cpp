#include "i18n/Language.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace rdrconf {

// The shipped English language file, compiled in (BuiltInTexts.cpp is
// generated from lang/RDRCONF.en-US.ini).
extern const char* const kBuiltInEnglishFile;

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FileName(const std::string& code) { return "RDRCONF." + code + ".ini"; }

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

bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

}  // namespace

LanguagePlaces LanguagePlaces::Find() {
  LanguagePlaces places;
  if (IsRegularFile("./" + FileName(kChineseCode)) || IsRegularFile("./" + FileName(kEnglishCode))) {
    places.choiceFile = std::string("./") + kLanguageChoiceFileName;
    places.textFolders = {"./"};
    return places;
  }
  places.workingFolder = false;
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config/");
  if (!config.empty()) places.choiceFile = config + "rdrconf/" + kLanguageChoiceFileName;
  const std::string data = XdgFolder("XDG_DATA_HOME", ".local/share/");
  if (!data.empty()) places.textFolders.push_back(data + "rdrconf/");
  for (const std::string& folder : DataDirs()) places.textFolders.push_back(folder + "rdrconf/");
  return places;
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
