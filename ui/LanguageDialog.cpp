#include "ui/LanguageDialog.h"

#include "i18n/Language.h"

namespace rdrconf {
namespace {

constexpr int kChineseIndex = 0;
constexpr int kEnglishIndex = 1;

// Template 135. Its font is the desktop's default sans serif at 8 points.
DialogTemplate LanguageDialogTemplate() {
  DialogTemplate t;
  t.width = 208;
  t.height = 61;
  t.caption = "Language";
  t.fontPointSize = 8;
  t.controls = {
      DropDownList(kLanguageListId, {33, 23, 81, 30}, {"简体中文", "English"}),
      DefaultPushButton(kIdOk, {128, 23, 50, 14}, "Save"),
  };
  return t;
}

}  // namespace

CAboutDlg::CAboutDlg(MessageBoxService& messageBoxes, DialogBase* owner)
    : DialogBase(LanguageDialogTemplate(), messageBoxes, owner) {}

void CAboutDlg::DoDataExchange(DataExchange& exchange) {
  exchange.ListIndex(kLanguageListId, m_nLanguage);
}

void CAboutDlg::OnInitDialog() {
  DialogBase::OnInitDialog();
  m_nLanguage = ReadLanguageChoice() == kChineseCode ? kChineseIndex : kEnglishIndex;
  UpdateData(false);
  SetControlCaption(kIdOk, LoadUiText(ui_text::kSystemOk));
  // The list has no label before it: a screen reader would call it by the
  // language it shows.
  SetControlName(kLanguageListId, LoadUiText(ui_text::kNameLanguageList));
}

void CAboutDlg::OnOK() {
  UpdateData(true);
  // Every state but the Chinese entry, no selection included, means English.
  const char* const code = m_nLanguage == kChineseIndex ? kChineseCode : kEnglishCode;
  // A choice that could not be stored is reported and the dialog stays open,
  // so the user never reads a restart notice for a change that was lost.
  if (!SaveLanguageChoice(code)) {
    MessageBox(LoadUiText(ui_text::kSysFailed));
    return;
  }
  MessageBox(LoadUiText(ui_text::kSystemRestart));
  DialogBase::OnOK();
}

}  // namespace rdrconf
