#include "i18n/Language.h"

#include "i18n/ProfileFile.h"

namespace rdrconf {
namespace {

struct ControlText {
  int id;
  const char* key;
};

// The main window's controls that carry a text, in the order they get it.
constexpr ControlText kMainWindowControls[] = {
    {1062, ui_text::kBoxReader},     {1061, ui_text::kLblCardType},
    {1063, ui_text::kLblCardnoType}, {1064, ui_text::kLblMode},
    {1065, ui_text::kLblEnter},      {1000, ui_text::kBtnPending},
    {1049, ui_text::kBtnSetConfig},  {1016, ui_text::kBtnRestoreConfig},
};

}  // namespace

std::string ReadLanguageChoice() {
  const std::string stored = ReadProfileString(kLanguageChoiceFile, kLanguageChoiceSection,
                                               kLanguageChoiceKey, kChineseCode);
  return stored == kChineseCode ? kChineseCode : kEnglishCode;
}

bool SaveLanguageChoice(const std::string& code) {
  return WriteProfileString(kLanguageChoiceFile, kLanguageChoiceSection, kLanguageChoiceKey, code);
}

std::string LanguageFilePath(const std::string& code) { return "./RDRCONF." + code + ".ini"; }

void SelectLanguageFile(const std::string& code) {
  TextCatalogue::Instance().SetPath(LanguageFilePath(code));
}

TextCatalogue& TextCatalogue::Instance() {
  static TextCatalogue catalogue;
  return catalogue;
}

std::string LoadUiText(std::string_view key) {
  return ReadProfileString(TextCatalogue::Instance().Path(), kUiTextSection, key, "");
}

void ApplyMainWindowTexts(CaptionTarget& window) {
  window.SetWindowCaption(LoadUiText(ui_text::kFormTitle));
  for (const ControlText& control : kMainWindowControls) {
    window.SetControlCaption(control.id, LoadUiText(control.key));
  }
}

}  // namespace rdrconf
