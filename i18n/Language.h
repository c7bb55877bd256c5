#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "i18n/CaptionTarget.h"

namespace rdrconf {

// The stored language choice: key "language" of section "config".
inline constexpr char kLanguageChoiceFile[] = "./RDRCONF.config";
inline constexpr char kLanguageChoiceSection[] = "config";
inline constexpr char kLanguageChoiceKey[] = "language";

inline constexpr char kChineseCode[] = "zh-CN";
inline constexpr char kEnglishCode[] = "en-US";

// Section of a language file that holds the texts.
inline constexpr char kUiTextSection[] = "language";

// Keys of a language file.
namespace ui_text {
inline constexpr char kFormTitle[] = "form_title";
inline constexpr char kBoxReader[] = "box_reader";
inline constexpr char kLblCardType[] = "lbl_card_type";
inline constexpr char kLblCardnoType[] = "lbl_cardno_type";
inline constexpr char kLblMode[] = "lbl_mode";
inline constexpr char kLblEnter[] = "lbl_enter";
inline constexpr char kBtnPending[] = "btn_pending";
inline constexpr char kBtnSetConfig[] = "btn_set_config";
inline constexpr char kBtnRestoreConfig[] = "btn_restore_config";
inline constexpr char kType8[] = "type_8";
inline constexpr char kType9[] = "type_9";
inline constexpr char kType10[] = "type_10";
inline constexpr char kType11[] = "type_11";
inline constexpr char kType12[] = "type_12";
inline constexpr char kSysOpenFailed[] = "sys_open_failed";
inline constexpr char kSysSuccess[] = "sys_success";
inline constexpr char kSysFailed[] = "sys_failed";
inline constexpr char kSystemOk[] = "system_ok";
inline constexpr char kSystemRestart[] = "system_restart";

// Every key, in catalogue order.
inline constexpr const char* kAllKeys[] = {
    kFormTitle,  kBoxReader,  kLblCardType,  kLblCardnoType,    kLblMode,
    kLblEnter,   kBtnPending, kBtnSetConfig, kBtnRestoreConfig, kType8,
    kType9,      kType10,     kType11,       kType12,           kSysOpenFailed,
    kSysSuccess, kSysFailed,  kSystemOk,     kSystemRestart};
}  // namespace ui_text

// The stored choice: "zh-CN" when the file, section or key is missing or
// the value is exactly "zh-CN"; "en-US" for every other value.
std::string ReadLanguageChoice();

// Stores `code` as the language choice; false when the file could not be
// written (it is then left as it was).
bool SaveLanguageChoice(const std::string& code);

// "./RDRCONF." + code + ".ini".
std::string LanguageFilePath(const std::string& code);

// Makes the language file of `code` the current one.
void SelectLanguageFile(const std::string& code);

// The one current language file of the process, shared by every window.
class TextCatalogue {
 public:
  static TextCatalogue& Instance();

  const std::string& Path() const { return path_; }
  void SetPath(std::string path) { path_ = std::move(path); }

 private:
  TextCatalogue() = default;
  std::string path_ = "./RDRCONF.zh-CN.ini";
};

// The text of `key` in the current language file, read anew at each call;
// empty when the file or the key is missing; at most 199 bytes.
std::string LoadUiText(std::string_view key);

// Puts the texts on the main window: its caption, then its group box, four
// labels, check box and two buttons, each set also when its text is empty.
void ApplyMainWindowTexts(CaptionTarget& window);

}  // namespace rdrconf
