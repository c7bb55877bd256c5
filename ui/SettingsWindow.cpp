#include "ui/SettingsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "i18n/AboutDialog.h"
#include "i18n/Language.h"
#include "i18n/WidgetText.h"
#include "reader/ReaderDiscovery.h"

namespace rdrconf {
namespace {

constexpr std::array<const char*, 5> kIcOnlyFormatKeys = {
    ui_text::kType8, ui_text::kType9, ui_text::kType10, ui_text::kType11, ui_text::kType12};

constexpr int kCardTypeIc = 0;

}  // namespace

const DialogTemplate& SettingsWindowTemplate() {
  using namespace settings_id;
  static const DialogTemplate layout{
      184,
      171,
      "USB读卡器软件",
      "Calibri",
      14,
      true,
      {
          {kCardType, ControlKind::kDropDownList, {72, 19, 52, 78}, "", {"IC", "ID"}, false},
          {kCardnoType, ControlKind::kDropDownList, {72, 36, 91, 78}, "", {}, false},
          {kMode, ControlKind::kDropDownList, {72, 53, 52, 82}, "", {"Active", "Passive"}, false},
          {kEnter, ControlKind::kDropDownList, {72, 71, 52, 84}, "", {"Enter", "No-Enter"}, false},
          {kPowerSaving, ControlKind::kCheckBox, {38, 92, 134, 10}, "省电模式（笔记本启用）", {}, false},
          {kSetConfig, ControlKind::kPushButton, {29, 143, 53, 14}, "设置参数", {}, true},
          {kRestoreConfig, ControlKind::kPushButton, {97, 143, 57, 14}, "恢复默认参数", {}, true},
          {kLblCardnoType, ControlKind::kLabel, {11, 38, 50, 8}, "卡号类型：", {}, false},
          {kLblEnter, ControlKind::kLabel, {11, 73, 50, 8}, "回车：", {}, false},
          {kLblMode, ControlKind::kLabel, {11, 55, 50, 11}, "模式：", {}, false},
          {kLblCardType, ControlKind::kLabel, {11, 21, 50, 8}, "卡类型：", {}, false},
          {kBoxReader, ControlKind::kGroupBox, {7, 7, 168, 157}, "读卡器选项", {}, false},
      }};
  return layout;
}

CRDRCONFNormalDlg::CRDRCONFNormalDlg(QWidget* parent)
    : DialogBase(SettingsWindowTemplate(), parent),
      m_hIcon(AppIcon()),
      m_comboCardnoType(ControlAs<QComboBox>(settings_id::kCardnoType)),
      m_comboCardType(ControlAs<QComboBox>(settings_id::kCardType)),
      m_boxReader(ControlAs<QGroupBox>(settings_id::kBoxReader)),
      m_lblCardType(ControlAs<QLabel>(settings_id::kLblCardType)),
      m_lblCardnoType(ControlAs<QLabel>(settings_id::kLblCardnoType)),
      m_lblMode(ControlAs<QLabel>(settings_id::kLblMode)),
      m_lblEnter(ControlAs<QLabel>(settings_id::kLblEnter)),
      m_chkPowerSaving(ControlAs<QCheckBox>(settings_id::kPowerSaving)),
      m_btnSetConfig(ControlAs<QPushButton>(settings_id::kSetConfig)),
      m_btnRestoreConfig(ControlAs<QPushButton>(settings_id::kRestoreConfig)) {}

CRDRCONFNormalDlg::~CRDRCONFNormalDlg() = default;

void CRDRCONFNormalDlg::SetWindowCaption(const std::string& text) {
  DialogBase::SetWindowCaption(text);
}

void CRDRCONFNormalDlg::SetControlCaption(int id, const std::string& text) {
  DialogBase::SetControlCaption(id, text);
}

void CRDRCONFNormalDlg::DoDataExchange(DataExchange& exchange) {
  exchange.ListIndex(settings_id::kCardnoType, m_nCardnoType);
  exchange.ListIndex(settings_id::kEnter, m_nEnter);
  exchange.ListIndex(settings_id::kMode, m_nMode);
  exchange.CheckState(settings_id::kPowerSaving, m_bPowerSaving);
  exchange.ListIndex(settings_id::kCardType, m_nCardType);
}

void CRDRCONFNormalDlg::OnInitDialog() { InitSettingsWindow(); }

void CRDRCONFNormalDlg::InitSettingsWindow() {
  // The fixed list items came with the template; select the first of each.
  DialogBase::OnInitDialog();

  AppendSystemMenuSeparator();
  AppendSystemMenuItem(kLanguageCommand, kLanguageMenuText);

  setWindowIcon(m_hIcon);

  for (const char* format : kFixedCardnoFormats) m_comboCardnoType->addItem(format);
  m_comboCardnoType->setCurrentIndex(kDefaultCardnoFormat);

  SelectLanguageFile(ReadLanguageChoice());
  ApplyMainWindowTexts(*this);

  OnCardTypeChange();

  if (const ReaderHandle reader = OpenReader(); reader.IsOpen()) {
    NotifyOpen(reader);  // the window works the same whether the reader took note or not
  }

  EnableControl(settings_id::kSetConfig);
  EnableControl(settings_id::kRestoreConfig);
}

void CRDRCONFNormalDlg::OnCardTypeChange() {
  UpdateData(true);
  const int selected = m_nCardnoType;

  while (m_comboCardnoType->count() > kFirstIcOnlyFormat) {
    m_comboCardnoType->removeItem(m_comboCardnoType->count() - 1);
  }
  if (m_nCardType == kCardTypeIc) {
    // An empty text still takes its place, so every item keeps its position.
    for (const char* key : kIcOnlyFormatKeys) {
      m_comboCardnoType->addItem(ToWidgetText(LoadUiText(key)));
    }
  }

  // Trimming the list must never leave it without a selection: the reader
  // would be sent position -1 (0xFF). An IC-only format stays chosen while
  // the card type stays IC; switching to ID falls back to the default.
  if (selected >= kFirstIcOnlyFormat && m_nCardType != kCardTypeIc) {
    m_comboCardnoType->setCurrentIndex(kDefaultCardnoFormat);
  } else {
    m_comboCardnoType->setCurrentIndex(selected);
  }
}

ReaderParameterBlock CRDRCONFNormalDlg::ParameterBlockFromMembers() const {
  ReaderParameterBlock block;
  block.cardno_type = static_cast<std::uint8_t>(m_nCardnoType);
  block.mode = static_cast<std::uint8_t>(1 - m_nMode);
  block.enter = static_cast<std::uint8_t>(1 - m_nEnter);
  block.power_saving = m_bPowerSaving != 0 ? 1 : 0;
  block.reserved = 0;
  return block;
}

void CRDRCONFNormalDlg::RunConfigCommand(
    const std::function<CommandResult(const ReaderHandle&)>& command) {
  const ReaderHandle reader = OpenReader();
  if (!reader.IsOpen()) {
    MessageBox(LoadUiText(ui_text::kSysOpenFailed));
    return;
  }
  UpdateData(true);
  const CommandResult result = command(reader);
  MessageBox(LoadUiText(result != kCommandFailed ? ui_text::kSysSuccess : ui_text::kSysFailed));
  // The reader is closed only now, after the message box was dismissed.
}

void CRDRCONFNormalDlg::OnSetConfig() {
  RunConfigCommand([this](const ReaderHandle& reader) {
    return SetReaderConfig(reader, ParameterBlockFromMembers());
  });
}

void CRDRCONFNormalDlg::OnRestoreConfig() {
  // The controls keep what they show; only the reader goes back to its defaults.
  RunConfigCommand([](const ReaderHandle& reader) { return RestoreReaderConfig(reader); });
}

void CRDRCONFNormalDlg::OnCommand(int id) {
  switch (id) {
    case settings_id::kSetConfig: OnSetConfig(); break;
    case settings_id::kRestoreConfig: OnRestoreConfig(); break;
    default: DialogBase::OnCommand(id);
  }
}

void CRDRCONFNormalDlg::OnListSelectionChange(int id) {
  if (id == settings_id::kCardType) OnCardTypeChange();
}

void CRDRCONFNormalDlg::OnCloseRequest() {
  if (const ReaderHandle reader = OpenReader(); reader.IsOpen()) {
    NotifyClose(reader);  // the window closes whatever the reader answers
  }
  DialogBase::OnCloseRequest();
}

void CRDRCONFNormalDlg::OnSystemCommand(int id) {
  if ((id & kSystemCommandMask) == kLanguageCommand) {
    // A new choice shows from the next start; nothing here is refreshed.
    CAboutDlg languageDialog(this);
    languageDialog.DoModal();
    return;
  }
  DialogBase::OnSystemCommand(id);
}

}  // namespace rdrconf
