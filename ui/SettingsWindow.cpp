#include "ui/SettingsWindow.h"

#include "dialogs/Log.h"
#include "i18n/Language.h"
#include "ui/LanguageDialog.h"

namespace rdrconf {
namespace {

constexpr std::array<const char*, 5> kIcOnlyFormatKeys = {
    ui_text::kType8, ui_text::kType9, ui_text::kType10, ui_text::kType11, ui_text::kType12};
static_assert(kIcOnlyFormatKeys.size() == kLastCardNumberFormat - kFirstIcOnlyFormat + 1);

// The positions of the lists' fixed items.
constexpr int kCardTypeIc = 0;
constexpr int kModeActive = 0;  // "Active", "Passive"
constexpr int kEnterOn = 0;     // "Enter", "No-Enter"

// Which control shows the text of which language key.
struct CaptionOfKey {
  const char* key;
  int id;
};
constexpr CaptionOfKey kCaptions[] = {
    {ui_text::kBoxReader, settings_id::kBoxReader},
    {ui_text::kLblCardType, settings_id::kLblCardType},
    {ui_text::kLblCardnoType, settings_id::kLblCardnoType},
    {ui_text::kLblMode, settings_id::kLblMode},
    {ui_text::kLblEnter, settings_id::kLblEnter},
    {ui_text::kBtnPending, settings_id::kPowerSaving},
    {ui_text::kBtnSetConfig, settings_id::kSetConfig},
    {ui_text::kBtnRestoreConfig, settings_id::kRestoreConfig},
};

// The key of the text that says why, for an outcome that needs one.
const char* ReasonKey(Outcome outcome) {
  switch (outcome) {
    case Outcome::kDone: return nullptr;
    case Outcome::kStatus: return ui_text::kReasonStatus;
    case Outcome::kNoReader: return ui_text::kReasonNoReader;
    case Outcome::kDenied: return ui_text::kReasonDenied;
    case Outcome::kBusy: return ui_text::kReasonBusy;
    case Outcome::kRefused: return ui_text::kReasonRefused;
    case Outcome::kFailed: return ui_text::kReasonFailed;
  }
  return ui_text::kReasonFailed;
}

constexpr char kReaderLog[] = "rdrconf.reader";
constexpr char kLanguageLog[] = "rdrconf.i18n";

void LogFailure(const char* exchange, const ExchangeOutcome& outcome) {
  if (outcome.outcome == Outcome::kDone) return;
  LogWarning(kReaderLog, std::string(exchange) + ": " + DescribeOutcome(outcome));
}

}  // namespace

const DialogTemplate& SettingsWindowTemplate() {
  using namespace settings_id;
  static const DialogTemplate layout = [] {
    DialogTemplate t;
    t.width = 184;
    t.height = 226;
    t.caption = "USB读卡器软件";
    t.fontFamily = "Calibri";
    t.fontPointSize = 14;
    t.boldFont = true;
    // Each label stands right before the list it names, so that screen
    // readers call the list by it (see DialogTemplate); labels take no
    // focus, so the tab order is that of the options, then the additions.
    // The reader picker, named by a text of its own, comes before the status
    // line that stands left of it: after it, Windows would call the picker
    // by the status line.
    t.controls = {
        Label(kLblCardType, {11, 21, 50, 8}, "卡类型："),
        DropDownList(kCardType, {72, 19, 52, 78}, {"IC", "ID"}),
        Label(kLblCardnoType, {11, 38, 50, 8}, "卡号类型："),
        DropDownList(kCardnoType, {72, 36, 91, 78}),
        Label(kLblMode, {11, 55, 50, 11}, "模式："),
        DropDownList(kMode, {72, 53, 52, 82}, {"Active", "Passive"}),
        Label(kLblEnter, {11, 73, 50, 8}, "回车："),
        DropDownList(kEnter, {72, 71, 52, 84}, {"Enter", "No-Enter"}),
        CheckBox(kPowerSaving, {38, 92, 134, 10}, "省电模式（笔记本启用）"),
        PushButton(kSetConfig, {29, 143, 53, 14}, "设置参数").Disabled(),
        PushButton(kRestoreConfig, {97, 143, 57, 14}, "恢复默认参数").Disabled(),
        GroupBox(kBoxReader, {7, 7, 168, 157}, "读卡器选项"),
        DropDownList(kReaderPicker, {131, 168, 44, 60}).Hidden(),
        Label(kStatus, {11, 169, 118, 17}, "").Wrapped(),
        Label(kLastWritten, {11, 188, 164, 17}, "").Wrapped(),
        PushButton(kTestScan, {11, 207, 60, 14}, ""),
        Label(kScanResult, {75, 206, 100, 17}, "").Wrapped().Live(),
    };
    return t;
  }();
  return layout;
}

CRDRCONFNormalDlg::CRDRCONFNormalDlg(CardReader& reader, MessageBoxService& messageBoxes,
                                     DialogBase* owner)
    : DialogBase(SettingsWindowTemplate(), messageBoxes, owner),
      m_reader(reader),
      m_sight(*this, reader),
      m_hIcon(LoadAppIcon()),
      m_comboCardnoType(*this, settings_id::kCardnoType),
      m_comboCardType(*this, settings_id::kCardType),
      m_boxReader(*this, settings_id::kBoxReader),
      m_lblCardType(*this, settings_id::kLblCardType),
      m_lblCardnoType(*this, settings_id::kLblCardnoType),
      m_lblMode(*this, settings_id::kLblMode),
      m_lblEnter(*this, settings_id::kLblEnter),
      m_chkPowerSaving(*this, settings_id::kPowerSaving),
      m_btnSetConfig(*this, settings_id::kSetConfig),
      m_btnRestoreConfig(*this, settings_id::kRestoreConfig) {}

CRDRCONFNormalDlg::~CRDRCONFNormalDlg() = default;

void CRDRCONFNormalDlg::SetWindowCaption(const std::string& text) {
  DialogBase::SetWindowCaption(text);
}

void CRDRCONFNormalDlg::SetCaptionOf(std::string_view key, const std::string& text) {
  for (const CaptionOfKey& caption : kCaptions) {
    if (key == caption.key) SetControlCaption(caption.id, text);
  }
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

  SetIcon(m_hIcon);

  for (std::uint8_t format = 0; format < kFixedCardNumberFormats; ++format) {
    m_comboCardnoType.AddItem(kCardNumberFormatNames[format]);
  }
  m_comboCardnoType.Select(kDefaultCardNumberFormat);

  SelectLanguageFile(ReadLanguageChoice());
  if (!TextCatalogue::Instance().Loaded()) {
    LogWarning(kLanguageLog, "cannot read the language file " + TextCatalogue::Instance().Path() +
                                 ": showing the built-in English texts");
  }
  ApplyMainWindowTexts(*this);
  SetControlName(settings_id::kReaderPicker, LoadUiText(ui_text::kNameReaderPicker));

  OnCardTypeChange();

  // Which readers are there, from the listing alone: the open notice goes
  // to the one chosen (with a single reader, the one that opens).
  m_sight.Start();

  // The window works the same whether the reader took note or not; a
  // failure is only logged.
  const OpenedReader reader = m_reader.Open(m_sight.Selector());
  const ExchangeOutcome outcome = reader.handle.IsOpen() ? SendNotice(reader.handle, Notice::kOpen) : reader.outcome;
  if (outcome.outcome != Outcome::kNoReader) LogFailure("open notice", outcome);

  EnableControl(settings_id::kSetConfig);
  EnableControl(settings_id::kRestoreConfig);
}

void CRDRCONFNormalDlg::OnCardTypeChange() {
  UpdateData(true);
  const int selected = m_nCardnoType;

  while (m_comboCardnoType.Count() > kFirstIcOnlyFormat) {
    m_comboCardnoType.DeleteItem(m_comboCardnoType.Count() - 1);
  }
  if (m_nCardType == kCardTypeIc) {
    // An empty text still takes its place, so every item keeps its position.
    for (const char* key : kIcOnlyFormatKeys) m_comboCardnoType.AddItem(LoadUiText(key));
  }

  // Trimming the list must never leave it without a selection: the reader
  // would be sent position -1 (0xFF). An IC-only format stays chosen while
  // the card type stays IC; switching to ID falls back to the default.
  if (selected >= kFirstIcOnlyFormat && m_nCardType != kCardTypeIc) {
    m_comboCardnoType.Select(kDefaultCardNumberFormat);
  } else {
    m_comboCardnoType.Select(selected);
  }
}

ReaderSettings CRDRCONFNormalDlg::SettingsFromMembers() const {
  ReaderSettings settings;
  settings.format = static_cast<std::uint8_t>(m_nCardnoType);
  settings.mode = m_nMode == kModeActive ? ReadingMode::kActive : ReadingMode::kPassive;
  settings.enter = m_nEnter == kEnterOn ? EnterKey::kEnter : EnterKey::kNoEnter;
  settings.powerSaving = m_bPowerSaving != 0;
  return settings;
}

void CRDRCONFNormalDlg::RunConfigCommand(bool restore) {
  const OpenedReader reader = m_reader.Open(m_sight.Selector());
  if (!reader.handle.IsOpen()) {
    LogFailure("open", reader.outcome);
    ShowOutcome(ui_text::kSysOpenFailed, reader.outcome);
    m_sight.Refresh();
    return;
  }
  // Restoring leaves the controls showing what they show: only the reader
  // goes back to its defaults.
  UpdateData(true);
  const ReaderSettings settings = restore ? ReaderSettings::Defaults() : SettingsFromMembers();
  const ExchangeOutcome outcome = WriteParameters(reader.handle, settings.Block());
  LogFailure("command", outcome);
  // Recorded while the reader is still held, so that two programs writing
  // to one reader leave the record in the order the reader got their
  // settings.
  if (outcome.Succeeded()) m_sight.NoteWritten(reader.handle.Interface(), settings, outcome);
  ShowOutcome(outcome.Succeeded() ? ui_text::kSysSuccess : ui_text::kSysFailed, outcome);
  // The reader is closed only now, after the message box was dismissed.
}

void CRDRCONFNormalDlg::ShowOutcome(const char* key, const ExchangeOutcome& outcome) {
  std::string details;
  if (const char* reasonKey = ReasonKey(outcome.outcome)) {
    details = LoadUiText(reasonKey);
    // The system's own words, for whoever has to find the cause.
    if (outcome.outcome == Outcome::kDenied || outcome.outcome == Outcome::kFailed) {
      details += "\n" + DescribeOutcome(outcome);
    }
  }
  MessageBox(LoadUiText(key), details);
}

void CRDRCONFNormalDlg::OnSetConfig() { RunConfigCommand(false); }

void CRDRCONFNormalDlg::OnRestoreConfig() { RunConfigCommand(true); }

void CRDRCONFNormalDlg::OnCommand(int id) {
  switch (id) {
    case settings_id::kSetConfig: OnSetConfig(); break;
    case settings_id::kRestoreConfig: OnRestoreConfig(); break;
    case settings_id::kTestScan: m_sight.ToggleScan(); break;
    default: DialogBase::OnCommand(id);
  }
}

void CRDRCONFNormalDlg::OnListSelectionChange(int id) {
  if (id == settings_id::kCardType) OnCardTypeChange();
  if (id == settings_id::kReaderPicker) m_sight.OnPickerChange();
}

void CRDRCONFNormalDlg::OnCloseRequest() {
  // The window closes whatever the reader answers; a failure is only logged.
  const OpenedReader reader = m_reader.Open(m_sight.Selector());
  const ExchangeOutcome outcome = reader.handle.IsOpen() ? SendNotice(reader.handle, Notice::kClose) : reader.outcome;
  if (outcome.outcome != Outcome::kNoReader) LogFailure("close notice", outcome);
  DialogBase::OnCloseRequest();
}

void CRDRCONFNormalDlg::OnEndDialog() { m_sight.Stop(); }

void CRDRCONFNormalDlg::OnSystemCommand(int id) {
  if ((id & kSystemCommandMask) == kLanguageCommand) {
    // A new choice shows from the next start; nothing here is refreshed.
    CAboutDlg languageDialog(MessageBoxes(), this);
    languageDialog.DoModal();
    return;
  }
  DialogBase::OnSystemCommand(id);
}

}  // namespace rdrconf
