#pragma once

#include <array>
#include <string>
#include <string_view>

#include "dialogs/DialogBase.h"
#include "i18n/CaptionTarget.h"
#include "reader/ReaderSettings.h"
#include "reader/CardReader.h"
#include "ui/ReaderSight.h"

namespace rdrconf {

// Control ids of the settings window.
namespace settings_id {
inline constexpr int kCardType = 1052;
inline constexpr int kCardnoType = 1048;
inline constexpr int kMode = 1051;
inline constexpr int kEnter = 1050;
inline constexpr int kPowerSaving = 1000;
inline constexpr int kSetConfig = 1049;
inline constexpr int kRestoreConfig = 1016;
inline constexpr int kLblCardnoType = 1063;
inline constexpr int kLblEnter = 1065;
inline constexpr int kLblMode = 1064;
inline constexpr int kLblCardType = 1061;
inline constexpr int kBoxReader = 1062;
// Below the options: which reader, its state, what was written to it last,
// and the test scan. They come after the options in the tab order.
inline constexpr int kStatus = 1070;
inline constexpr int kReaderPicker = 1071;
inline constexpr int kLastWritten = 1072;
inline constexpr int kTestScan = 1073;
inline constexpr int kScanResult = 1074;
}  // namespace settings_id

// The system menu item that opens the language dialog. Commands are
// compared with their low four bits cleared.
inline constexpr int kLanguageCommand = 256;
inline constexpr int kSystemCommandMask = 0xFFF0;
inline constexpr char kLanguageMenuText[] = "Language";

// The window's layout, template 134.
const DialogTemplate& SettingsWindowTemplate();

// The settings window: the tool's only working window. It writes the chosen
// reader options, or the reader's defaults, and reports each outcome in a
// message box, with the reason and what to do when it failed. Every
// exchange opens the reader afresh through `reader` and closes it when the
// exchange, and its message box, are over. Failures are also logged under
// the category "rdrconf.reader".
class CRDRCONFNormalDlg : public DialogBase, public CaptionTarget {
 public:
  // `reader` and `messageBoxes` must outlive the window.
  CRDRCONFNormalDlg(CardReader& reader, MessageBoxService& messageBoxes, DialogBase* owner = nullptr);
  ~CRDRCONFNormalDlg() override;

  void SetWindowCaption(const std::string& text) override;
  void SetCaptionOf(std::string_view key, const std::string& text) override;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  void OnInitDialog() override;
  void OnCommand(int id) override;
  void OnListSelectionChange(int id) override;
  void OnCloseRequest() override;
  void OnSystemCommand(int id) override;
  void OnEndDialog() override;

 private:
  void InitSettingsWindow();
  void OnCardTypeChange();
  void OnSetConfig();
  void OnRestoreConfig();
  // The settings the lists and the check box show.
  ReaderSettings SettingsFromMembers() const;
  // Opens the reader, reads the controls, writes the settings they show (or
  // the reader's defaults) and shows the outcome; closes the reader after
  // the message box.
  void RunConfigCommand(bool restore);
  // The message box for the outcome of an exchange: the text of `key`, and
  // the reason and what to do when there is one to give.
  void ShowOutcome(const char* key, const ExchangeOutcome& outcome);

  CardReader& m_reader;
  ReaderSight m_sight;
  IconHandle m_hIcon;
  ListControl m_comboCardnoType;
  int m_nCardnoType = 0;
  int m_nEnter = 0;
  int m_nMode = 0;
  int m_bPowerSaving = 0;
  ListControl m_comboCardType;
  int m_nCardType = 0;
  CaptionControl m_boxReader;
  CaptionControl m_lblCardType;
  CaptionControl m_lblCardnoType;
  CaptionControl m_lblMode;
  CaptionControl m_lblEnter;
  CaptionControl m_chkPowerSaving;
  CaptionControl m_btnSetConfig;
  CaptionControl m_btnRestoreConfig;
};

}  // namespace rdrconf
