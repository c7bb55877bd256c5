#include "ui/ReaderSight.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "dialogs/DialogBase.h"
#include "dialogs/Log.h"
#include "i18n/Language.h"
#include "ui/SettingsWindow.h"

namespace rdrconf {
namespace {

namespace id = settings_id;

constexpr char kRecordLog[] = "rdrconf.record";

// How long a test scan waits for a card, and how long after its last key a
// number without Enter counts as complete.
constexpr int kCardWaitMs = 30000;
constexpr int kQuietMs = 600;

// `text` with each {name} replaced; a language file's text may leave any out.
std::string Fill(std::string text, const std::string& name, const std::string& value) {
  const std::string mark = "{" + name + "}";
  for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size())) {
    text.replace(at, mark.size(), value);
  }
  return text;
}

// The format as the window's list names it: the IC-only formats by the
// language file.
std::string FormatLabel(std::uint8_t position) {
  if (IsIcOnlyFormat(position)) return LoadUiText("type_" + std::to_string(position));
  return CardNumberFormatName(position);
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian
// calendar (month 1 to 12).
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// The record's UTC time ("2026-12-08T06:02:00Z") as local time, to the
// minute ("2026-12-08 14:02"); the record's own text when it is not one.
// Read by hand: the C library's strptime and timegm are not everywhere.
std::string LocalTime(const std::string& utc) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  if (std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &year, &month, &day, &hour, &minute, &second,
                  &used) != 6 ||
      used != static_cast<int>(utc.size()) || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return utc;
  }
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const auto at = static_cast<std::time_t>(days * 86400 + hour * 3600 + minute * 60 + second);
  std::tm local{};
  localtime_r(&at, &local);
  char when[32] = {};
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  return when;
}

// "8h10d, Passive, No-Enter, power saving on, 2026-12-08 14:02"
std::string DescribeWrite(const ReaderSettings& settings, const std::string& writtenAt) {
  const std::string when = LocalTime(writtenAt);
  return FormatLabel(settings.format) + ", " + (settings.mode == ReadingMode::kActive ? "Active" : "Passive") +
         ", " + (settings.enter == EnterKey::kEnter ? "Enter" : "No-Enter") + ", " +
         LoadUiText(settings.powerSaving ? ui_text::kPowerSavingOn : ui_text::kPowerSavingOff) + ", " + when;
}

// Whether another reader present has the serial number of `reader`: cheap
// readers often share one.
bool SerialShared(const ReaderIdentity& reader, const std::vector<ReaderIdentity>& present) {
  const std::string& serial = reader.hid.serialNumber;
  return !serial.empty() && std::any_of(present.begin(), present.end(), [&](const ReaderIdentity& other) {
    return other.index != reader.index && other.hid.serialNumber == serial;
  });
}

// The reader as the status line and the picker name it: its label, and
// when its serial number is shared, what tells it apart: its USB port,
// else its node.
std::string NameOf(const ReaderIdentity& reader, const std::vector<ReaderIdentity>& present) {
  if (!SerialShared(reader, present)) return reader.Label();
  const HidInterfaceInfo& hid = reader.hid;
  return hid.serialNumber + " (" + (hid.usbPort.empty() ? hid.path : "USB " + hid.usbPort) + ")";
}

}  // namespace

// The reader of `present` that is the one picked: on the same node while
// that node is still the same reader (an unplugged reader's node may go to
// the next one plugged in); after it came back under another node, the
// reader with its serial number, if that told it apart, else with its
// serial number and USB port (without a serial number, the port is all
// that tells it). Null when none is.
const ReaderIdentity* ReaderSight::Picked::In(const std::vector<ReaderIdentity>& present) const {
  std::vector<const ReaderIdentity*> sameSerial;
  for (const ReaderIdentity& reader : present) {
    if (reader.hid.serialNumber != hid.serialNumber) continue;
    if (reader.hid.path == hid.path && reader.hid.usbPort == hid.usbPort) return &reader;
    sameSerial.push_back(&reader);
  }
  if (hid.serialNumber.empty() || serialShared || sameSerial.size() > 1) {
    const auto elsewhere = [this](const ReaderIdentity* reader) {
      return hid.usbPort.empty() || reader->hid.usbPort != hid.usbPort;
    };
    sameSerial.erase(std::remove_if(sameSerial.begin(), sameSerial.end(), elsewhere), sameSerial.end());
  }
  return sameSerial.size() == 1 ? sameSerial.front() : nullptr;
}

ReaderSight::Picked ReaderSight::Picked::Of(const ReaderIdentity& reader, const std::vector<ReaderIdentity>& present) {
  return {reader.hid, SerialShared(reader, present)};
}

ReaderSight::ReaderSight(DialogBase& window, CardReader& reader)
    : window_(window), reader_(reader), record_(SettingsRecord::OfThisUser()) {}

void ReaderSight::Start() {
  window_.SetControlCaption(id::kTestScan, LoadUiText(ui_text::kTestCard));
  window_.EnableControl(id::kTestScan, reader_.Keyboard() != nullptr);
  if (HotplugSource* hotplug = reader_.Hotplug(); hotplug != nullptr && hotplug->Descriptor() >= 0) {
    window_.WatchDescriptor(hotplug->Descriptor(), [this, hotplug] {
      // Any hidraw node that came or went may be a reader: list anew.
      if (!hotplug->TakeEvents().empty()) Refresh();
    });
  }
  Refresh();
}

ReaderSelector ReaderSight::Selector() const {
  // With several readers, the one the picker shows, by its node: a serial
  // number may name more than one reader.
  if (status_.readers.size() < 2 || status_.reader < 0) return {};
  return ReaderSelector::Path(status_.readers[static_cast<std::size_t>(status_.reader)].hid.path);
}

void ReaderSight::Refresh() {
  std::vector<ReaderIdentity> present;
  const ReaderIdentity* picked = nullptr;
  if (!chosen_.hid.path.empty()) {
    present = reader_.ListReaders();
    picked = chosen_.In(present);
  }
  const ReaderStatus status = reader_.Status(picked ? ReaderSelector::Path(picked->hid.path) : ReaderSelector());
  // The reader the picker shows is the one picked, unless the picked one is
  // away: it is then kept, to be shown again when it comes back.
  if (status.readers.size() > 1 && status.reader >= 0 && (picked != nullptr || chosen_.hid.path.empty())) {
    chosen_ = Picked::Of(status.readers[static_cast<std::size_t>(status.reader)], status.readers);
  }
  ShowStatus(status);
}

void ReaderSight::ShowStatus(const ReaderStatus& status) {
  status_ = status;
  const ReaderIdentity* reader =
      status.reader >= 0 ? &status.readers[static_cast<std::size_t>(status.reader)] : nullptr;
  std::string line;
  switch (status.state) {
    case ReaderState::kConnected:
      line = Fill(LoadUiText(ui_text::kStatusConnected), "reader", NameOf(*reader, status.readers));
      break;
    case ReaderState::kNoReader: line = LoadUiText(ui_text::kStatusNoReader); break;
    case ReaderState::kDenied: line = LoadUiText(ui_text::kStatusDenied); break;
    case ReaderState::kBusy: line = LoadUiText(ui_text::kStatusBusy); break;
  }
  window_.SetControlCaption(id::kStatus, line);

  // With one reader the window looks as it always did: no picker.
  const bool several = status.readers.size() > 1;
  while (window_.ListItemCount(id::kReaderPicker) > 0) window_.DeleteListItem(id::kReaderPicker, 0);
  if (several) {
    for (const ReaderIdentity& present : status.readers) {
      window_.AddListItem(id::kReaderPicker, NameOf(present, status.readers));
    }
    window_.SelectListItem(id::kReaderPicker, status.reader);
  }
  window_.ShowControl(id::kReaderPicker, several);
  ShowLastWritten();
}

void ReaderSight::ShowLastWritten() {
  std::string line;
  if (status_.reader >= 0) {
    const HidInterfaceInfo& chosen = status_.readers[static_cast<std::size_t>(status_.reader)].hid;
    std::string warning;
    const std::map<std::string, RecordEntry> written = record_.Read(&warning);
    if (!warning.empty()) LogWarning(kRecordLog, warning);
    if (const auto found = SettingsRecord::Find(written, chosen, status_.readers); found != written.end()) {
      line = Fill(LoadUiText(ui_text::kLastWritten), "settings",
                  DescribeWrite(found->second.settings, found->second.writtenAt));
    }
  }
  window_.SetControlCaption(id::kLastWritten, line);
}

void ReaderSight::OnPickerChange() {
  const int picked = window_.ListSelection(id::kReaderPicker);
  if (picked < 0 || picked >= static_cast<int>(status_.readers.size())) return;
  chosen_ = Picked::Of(status_.readers[static_cast<std::size_t>(picked)], status_.readers);
  if (Scanning()) StopScan("");
  Refresh();
}

void ReaderSight::NoteWritten(const HidInterfaceInfo& reader, const ReaderSettings& settings,
                              const ExchangeOutcome& outcome) {
  // The record only informs: a failure to keep it is logged, and the write
  // to the reader stands.
  std::string message;
  if (!record_.Write(reader, settings, outcome.outcome, std::chrono::system_clock::now(), &message) ||
      !message.empty()) {
    LogWarning(kRecordLog, message);
  }
  ShowLastWritten();
}

bool ReaderSight::Scanning() const {
  return reader_.Keyboard() != nullptr && reader_.Keyboard()->IsHeld();
}

void ReaderSight::ToggleScan() {
  if (Scanning()) {
    StopScan("");
  } else {
    StartScan();
  }
}

void ReaderSight::StartScan() {
  KeyboardSource* keyboard = reader_.Keyboard();
  if (keyboard == nullptr || status_.reader < 0) {
    window_.SetControlCaption(id::kScanResult, LoadUiText(ui_text::kStatusNoReader));
    return;
  }
  const std::optional<std::string> node =
      keyboard->FindNode(status_.readers[static_cast<std::size_t>(status_.reader)].hid.path);
  if (!node) {
    window_.SetControlCaption(id::kScanResult, LoadUiText(ui_text::kScanNoKeyboard));
    return;
  }
  HidError error;
  if (!keyboard->Open(*node, error)) {
    window_.SetControlCaption(id::kScanResult, LoadUiText(ui_text::kScanFailed) + "\n" + error.text);
    return;
  }
  decoder_.Take();
  window_.WatchDescriptor(keyboard->Descriptor(), [this] { OnKeys(); });
  window_.SetControlCaption(id::kTestScan, LoadUiText(ui_text::kTestStop));
  window_.SetControlCaption(id::kScanResult, LoadUiText(ui_text::kScanWaiting));
  RestartCardTimer();
}

void ReaderSight::StopScan(const std::string& why) {
  KeyboardSource* keyboard = reader_.Keyboard();
  if (keyboard == nullptr) return;
  if (keyboard->Descriptor() >= 0) window_.StopWatching(keyboard->Descriptor());
  keyboard->Release();
  window_.StopTimer(cardTimer_);
  window_.StopTimer(quietTimer_);
  cardTimer_ = quietTimer_ = 0;
  window_.SetControlCaption(id::kTestScan, LoadUiText(ui_text::kTestCard));
  if (!why.empty()) window_.SetControlCaption(id::kScanResult, why);
}

void ReaderSight::Stop() {
  if (Scanning()) StopScan("");
}

void ReaderSight::OnKeys() {
  KeyboardSource& keyboard = *reader_.Keyboard();
  bool complete = false;
  for (const TypedKey& key : keyboard.Read()) complete = decoder_.Feed(key) || complete;
  if (keyboard.IsGone()) {
    // Its node stays readable for good: watched any longer, it would keep
    // the window busy until the card timer ran out.
    StopScan(LoadUiText(ui_text::kScanUnplugged));
  } else if (complete) {
    FinishCard();
  } else if (!decoder_.Empty()) {
    window_.StopTimer(quietTimer_);
    quietTimer_ = window_.StartTimer(kQuietMs, [this] { FinishCard(); });
  }
}

void ReaderSight::FinishCard() {
  window_.StopTimer(quietTimer_);
  quietTimer_ = 0;
  if (decoder_.Empty()) return;
  const ScanResult card = decoder_.Take();
  std::string line = Fill(LoadUiText(ui_text::kScanResult), "text", card.text);
  line = Fill(line, "count", std::to_string(card.count));
  line = Fill(line, "enter", LoadUiText(card.enter ? ui_text::kScanEnter : ui_text::kScanNoEnter));
  window_.SetControlCaption(id::kScanResult, line);
  RestartCardTimer();
}

void ReaderSight::RestartCardTimer() {
  window_.StopTimer(cardTimer_);
  cardTimer_ = window_.StartTimer(kCardWaitMs, [this] { StopScan(LoadUiText(ui_text::kScanTimeout)); });
}

}  // namespace rdrconf
