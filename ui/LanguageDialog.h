#pragma once

#include "dialogs/DialogBase.h"

namespace rdrconf {

// The language dialog's list: index 0 Simplified Chinese, index 1 English.
inline constexpr int kLanguageListId = 1066;

// The language dialog: shows the stored language choice and, on Save (the
// OK command), stores the chosen one and tells the user that it takes effect
// at the next start. Esc and the close box store nothing.
class CAboutDlg : public DialogBase {
 public:
  explicit CAboutDlg(MessageBoxService& messageBoxes, DialogBase* owner = nullptr);

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  void OnInitDialog() override;
  void OnOK() override;

 private:
  int m_nLanguage = 0;  // selected list index, -1 for none
};

}  // namespace rdrconf
