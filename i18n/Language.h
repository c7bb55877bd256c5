#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/CaptionTarget.h"
#include "i18n/ProfileFile.h"

namespace rdrconf {

// The stored language choice: key "language" of section "config".
inline constexpr char kLanguageChoiceFileName[] = "RDRCONF.config";
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

// The keys every language file has always had, in catalogue order. A file
// that lacks one of them shows it empty.
inline constexpr const char* kCatalogueKeys[] = {
    kFormTitle,  kBoxReader,  kLblCardType,  kLblCardnoType,    kLblMode,
    kLblEnter,   kBtnPending, kBtnSetConfig, kBtnRestoreConfig, kType8,
    kType9,      kType10,     kType11,       kType12,           kSysOpenFailed,
    kSysSuccess, kSysFailed,  kSystemOk,     kSystemRestart};

// Keys added later: why an exchange with the reader failed and what to do.
// A file that lacks one of them shows the built-in English text.
inline constexpr char kReasonNoReader[] = "reason_no_reader";
inline constexpr char kReasonDenied[] = "reason_denied";
inline constexpr char kReasonBusy[] = "reason_busy";
inline constexpr char kReasonRefused[] = "reason_refused";
inline constexpr char kReasonFailed[] = "reason_failed";
inline constexpr char kReasonStatus[] = "reason_status";

// The reader in sight, below the options of the settings window. {reader},
// {settings}, {text}, {count} and {enter} stand for what the window fills in.
inline constexpr char kStatusConnected[] = "status_connected";
inline constexpr char kStatusNoReader[] = "status_no_reader";
inline constexpr char kStatusDenied[] = "status_denied";
inline constexpr char kStatusBusy[] = "status_busy";
inline constexpr char kLastWritten[] = "last_written";
inline constexpr char kPowerSavingOn[] = "power_saving_on";
inline constexpr char kPowerSavingOff[] = "power_saving_off";
inline constexpr char kTestCard[] = "test_card";
inline constexpr char kTestStop[] = "test_stop";
inline constexpr char kScanWaiting[] = "scan_waiting";
inline constexpr char kScanResult[] = "scan_result";
inline constexpr char kScanEnter[] = "scan_enter";
inline constexpr char kScanNoEnter[] = "scan_no_enter";
inline constexpr char kScanTimeout[] = "scan_timeout";
inline constexpr char kScanNoKeyboard[] = "scan_no_keyboard";
inline constexpr char kScanFailed[] = "scan_failed";
inline constexpr char kScanUnplugged[] = "scan_unplugged";

// The names screen readers call the lists by that have no label before them.
inline constexpr char kNameReaderPicker[] = "name_reader_picker";
inline constexpr char kNameLanguageList[] = "name_language_list";

inline constexpr const char* kAddedKeys[] = {
    kReasonNoReader,  kReasonDenied,   kReasonBusy,      kReasonRefused, kReasonFailed,
    kReasonStatus,    kStatusConnected, kStatusNoReader, kStatusDenied,  kStatusBusy,
    kLastWritten,     kPowerSavingOn,  kPowerSavingOff,  kTestCard,      kTestStop,
    kScanWaiting,     kScanResult,     kScanEnter,       kScanNoEnter,   kScanTimeout,
    kScanNoKeyboard,  kScanFailed,     kScanUnplugged,  kNameReaderPicker, kNameLanguageList};

// The captions of the main window, in the order ApplyMainWindowTexts sets
// them after the window's own caption (form_title).
inline constexpr const char* kMainWindowCaptionKeys[] = {
    kBoxReader, kLblCardType, kLblCardnoType, kLblMode, kLblEnter, kBtnPending, kBtnSetConfig,
    kBtnRestoreConfig};
}  // namespace ui_text

// Where the language files and the language choice are. A working folder
// that holds a language file is used as it always was: the files and
// RDRCONF.config there. Otherwise the language files are looked up, one
// by one, in $XDG_DATA_HOME/rdrconf (a user's own copy) and then in each
// folder of $XDG_DATA_DIRS with "rdrconf" appended (what a package ships),
// and the choice is kept in $XDG_CONFIG_HOME/rdrconf/RDRCONF.config.
// Unset or relative variables take the usual defaults (~/.local/share,
// /usr/local/share:/usr/share, ~/.config).
//
// On Windows, where no XDG folders are, %APPDATA%\rdrconf stands for both
// the user's own folder (searched first for the language files, and where
// the choice is kept) and the configuration folder, and the folder of the
// running program (where the zip puts the shipped language files) for the
// data folders. Paths there end in '\'.
struct LanguagePlaces {
  bool workingFolder = true;
  std::string choiceFile;                // where the choice is read and saved
  std::vector<std::string> textFolders;  // searched in this order, each ending in '/' ('\\' on Windows)

  // The places for this process as it stands now (working folder and
  // environment).
  static LanguagePlaces Find();
  // The language file of `code`: the first of the folders that holds it as
  // a regular file, else the path in the first folder.
  std::string TextFile(const std::string& code) const;
};

// The stored choice: "zh-CN" when the file, section or key is missing or
// the value is exactly "zh-CN"; "en-US" for every other value.
std::string ReadLanguageChoice();

// Stores `code` as the language choice (making its folder when the choice
// lives in the configuration folder); false when it could not be written
// (the file is then left as it was), and `why` then says why.
bool SaveLanguageChoice(const std::string& code, std::string* why = nullptr);

// The language file of `code`, "RDRCONF." + code + ".ini", where
// LanguagePlaces finds it.
std::string LanguageFilePath(const std::string& code);

// Makes the language file of `code` the current one.
void SelectLanguageFile(const std::string& code);

// The one current language file of the process, shared by every window. It
// is read once, at the first lookup after it was chosen, and its texts are
// kept: a window needs a dozen texts at start, and reading the file for
// each of them made a large file start slowly.
class TextCatalogue {
 public:
  static TextCatalogue& Instance();

  const std::string& Path() const { return path_; }
  // Chooses the file; it is read at the next lookup.
  void SetPath(std::string path);
  // Whether the current file could be read (reading it if need be).
  bool Loaded();
  // The text of `key`, if the current file holds it.
  std::optional<std::string> Text(std::string_view key);

 private:
  TextCatalogue() = default;
  void Load();

  std::string path_ = "./RDRCONF.zh-CN.ini";
  bool read_ = false;
  std::optional<ProfileSection> texts_;
};

// The English text that ships with the program for `key` (empty for an
// unknown key): what shows when no language file can be read, and for the
// added keys a file lacks.
std::string BuiltInText(std::string_view key);

// The text of `key` in the current language file, at most 199 bytes. When
// the file holds no such key, a catalogue key gives the empty text and an
// added key its built-in English text; when no language file can be read
// at all, every key gives its built-in English text, so that no window
// ever shows blank labels.
std::string LoadUiText(std::string_view key);

// Puts the texts on the main window: its caption, then the captions of
// kMainWindowCaptionKeys, each set also when its text is empty.
void ApplyMainWindowTexts(CaptionTarget& window);

}  // namespace rdrconf
