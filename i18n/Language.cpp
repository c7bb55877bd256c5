#include "i18n/Language.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/Files.h"
#include "platform/Places.h"

namespace rdrconf {

// The shipped English language file, compiled in (BuiltInTexts.cpp is
// generated from lang/RDRCONF.en-US.ini).
extern const char* const kBuiltInEnglishFile;

namespace {

std::string FileName(const std::string& code) { return "RDRCONF." + code + ".ini"; }

}  // namespace

LanguagePlaces LanguagePlaces::Find() {
  LanguagePlaces places;
  if (platform::IsRegularFile("./" + FileName(kChineseCode)) || platform::IsRegularFile("./" + FileName(kEnglishCode))) {
    places.choiceFile = std::string("./") + kLanguageChoiceFileName;
    places.textFolders = {"./"};
    return places;
  }
  places.workingFolder = false;
  const std::string config = platform::UserConfigFolder();
  if (!config.empty()) places.choiceFile = config + kLanguageChoiceFileName;
  const std::string data = platform::UserDataFolder();
  if (!data.empty()) places.textFolders.push_back(data);
  for (const std::string& folder : platform::SharedDataFolders()) places.textFolders.push_back(folder);
  return places;
}

std::string LanguagePlaces::TextFile(const std::string& code) const {
  const std::string name = FileName(code);
  for (const std::string& folder : textFolders) {
    if (platform::IsRegularFile(folder + name)) return folder + name;
  }
  return textFolders.empty() ? "./" + name : textFolders.front() + name;
}

std::string ReadLanguageChoice() {
  const std::string stored = ReadProfileString(LanguagePlaces::Find().choiceFile, kLanguageChoiceSection,
                                               kLanguageChoiceKey, kChineseCode);
  return stored == kChineseCode ? kChineseCode : kEnglishCode;
}

bool SaveLanguageChoice(const std::string& code, std::string* why) {
  const LanguagePlaces places = LanguagePlaces::Find();
  if (places.choiceFile.empty()) {
    if (why) *why = "the system names no configuration folder for this user";
    return false;
  }
  platform::SystemError error;
  if (!places.workingFolder && !platform::MakeFolders(platform::FolderOf(places.choiceFile), error)) {
    if (why) *why = error.text;
    return false;
  }
  return WriteProfileString(places.choiceFile, kLanguageChoiceSection, kLanguageChoiceKey, code, why);
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
