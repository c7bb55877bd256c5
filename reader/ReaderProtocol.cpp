#include "reader/ReaderProtocol.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

namespace rdrconf {

// --- The handle ---------------------------------------------------------------

ReaderHandle::ReaderHandle(HidHost& host, HidDeviceToken device, HidInterfaceInfo interface)
    : host_(&host), device_(device), interface_(std::move(interface)) {}

ReaderHandle ReaderHandle::Invalid() noexcept {
  ReaderHandle handle;
  handle.device_ = kInvalidValue;
  return handle;
}

ReaderHandle::~ReaderHandle() { Close(); }

ReaderHandle::ReaderHandle(ReaderHandle&& other) noexcept
    : host_(std::exchange(other.host_, nullptr)),
      device_(std::exchange(other.device_, 0)),
      interface_(std::move(other.interface_)) {}

ReaderHandle& ReaderHandle::operator=(ReaderHandle&& other) noexcept {
  if (this != &other) {
    Close();
    host_ = std::exchange(other.host_, nullptr);
    device_ = std::exchange(other.device_, 0);
    interface_ = std::move(other.interface_);
  }
  return *this;
}

void ReaderHandle::Close() noexcept {
  if (!IsOpen()) return;
  host_->Close(device_);
  host_ = nullptr;
  device_ = 0;
}

bool ReaderHandle::SetFeature(const FeatureReport& report, HidError& error) const {
  return IsOpen() && host_->SetFeature(device_, report, error);
}

int ReaderHandle::GetFeature(FeatureReport& report, HidError& error) const {
  return IsOpen() ? host_->GetFeature(device_, report, error) : -1;
}

// --- Frames -------------------------------------------------------------------

namespace {

constexpr std::size_t kFrameSize = std::tuple_size_v<ReaderFrame>;

bool IsRefusal(const ReaderFrame& frame) {
  return std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == kRefusalByte; });
}

bool IsStatus(const ReaderFrame& frame) { return frame[4] == kStatusByte; }

bool IsAcknowledgement(const ReaderFrame& frame, std::uint8_t code, std::uint8_t length) {
  return frame[0] == kControlFrameMark && frame[1] == kCommandHeaderKind && frame[2] == code &&
         frame[3] == length;
}

enum class Answer { kRefused, kStatus, kAcknowledged, kOther };

Answer Classify(const ReaderFrame& frame, std::uint8_t code, std::uint8_t length) {
  if (IsRefusal(frame)) return Answer::kRefused;
  if (IsStatus(frame)) return Answer::kStatus;
  if (IsAcknowledgement(frame, code, length)) return Answer::kAcknowledged;
  return Answer::kOther;
}

// Fills the caller's outcome, when it asked for one.
class OutcomeNote {
 public:
  explicit OutcomeNote(ExchangeOutcome* outcome) : outcome_(outcome) {
    if (outcome_) *outcome_ = {};
  }
  void Set(Outcome kind, Request request, HidError error = {}, int chunk = -1) {
    if (outcome_) *outcome_ = {kind, request, chunk, std::move(error)};
  }

 private:
  ExchangeOutcome* outcome_;
};

}  // namespace

bool SendFrame(const ReaderHandle& handle, const ReaderFrame& frame, HidError* error) {
  HidError ignored;
  HidError& reason = error ? *error : ignored;
  if (!handle.IsOpen()) {
    reason = {0, "no reader is open"};
    return false;
  }
  FeatureReport report{};
  std::copy(frame.begin(), frame.end(), report.begin() + 1);
  return handle.SetFeature(report, reason);
}

bool ReadFrame(const ReaderHandle& handle, ReaderFrame& frame, HidError* error) {
  HidError ignored;
  HidError& reason = error ? *error : ignored;
  if (!handle.IsOpen()) {
    reason = {0, "no reader is open"};
    return false;
  }
  FeatureReport report{};
  const int got = handle.GetFeature(report, reason);
  if (got < 0) return false;
  // What a short answer leaves in the buffer is not the reader's: taking
  // it would act on bytes the reader never sent.
  if (static_cast<std::size_t>(got) < report.size()) {
    reason = {0, "short answer: " + std::to_string(got) + " of " + std::to_string(report.size()) +
                     " bytes"};
    return false;
  }
  std::copy(report.begin() + 1, report.end(), frame.begin());
  return true;
}

CommandResult SendReaderCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data, ExchangeOutcome* outcome) {
  OutcomeNote note(outcome);
  if (data == nullptr) {
    note.Set(Outcome::kFailed, Request::kNone, {0, "no data to send"});
    return kCommandFailed;
  }
  if (!handle.IsOpen()) {
    note.Set(Outcome::kNoReader, Request::kNone);
    return kCommandFailed;
  }

  HidError error;
  ReaderFrame frame{kControlFrameMark, kCommandHeaderKind, code, length,
                    kFrameFiller,      kFrameFiller,       kFrameFiller, kFrameFiller};
  if (!SendFrame(handle, frame, &error)) {
    note.Set(Outcome::kFailed, Request::kHeader, error);
    return kCommandFailed;
  }
  if (!ReadFrame(handle, frame, &error)) {
    note.Set(Outcome::kFailed, Request::kAnswer, error);
    return kCommandFailed;
  }
  // The header's answer need not echo it: anything but a refusal or a
  // status answer lets the transfer go on.
  switch (Classify(frame, code, length)) {
    case Answer::kRefused: note.Set(Outcome::kRefused, Request::kAnswer); return kCommandFailed;
    case Answer::kStatus: note.Set(Outcome::kStatus, Request::kAnswer); return kCommandStatus;
    default: break;
  }

  for (std::size_t offset = 0; offset < length; offset += kFrameSize) {
    const int chunk = static_cast<int>(offset / kFrameSize);
    frame.fill(0);
    const std::size_t count = std::min<std::size_t>(kFrameSize, length - offset);
    std::copy_n(data + offset, count, frame.begin());
    // A chunk that does not reach the reader is a failed transfer, whatever
    // the command: reporting success here would hide lost settings.
    if (!SendFrame(handle, frame, &error)) {
      note.Set(Outcome::kFailed, Request::kChunk, error, chunk);
      return kCommandFailed;
    }
    if (code == kWriteParametersCommand) continue;

    bool acknowledged = false;
    error = {0, "no acknowledgement within " + std::to_string(kAcknowledgementReads) + " reads"};
    for (int attempt = 0; attempt < kAcknowledgementReads && !acknowledged; ++attempt) {
      if (!ReadFrame(handle, frame, &error)) continue;  // a failed read uses up the attempt
      switch (Classify(frame, code, length)) {
        case Answer::kRefused:
          note.Set(Outcome::kRefused, Request::kAcknowledgement, {}, chunk);
          return kCommandFailed;
        case Answer::kStatus:
          note.Set(Outcome::kStatus, Request::kAcknowledgement, {}, chunk);
          return kCommandStatus;
        case Answer::kAcknowledged: acknowledged = true; break;
        case Answer::kOther: break;
      }
    }
    if (!acknowledged) {
      note.Set(Outcome::kFailed, Request::kAcknowledgement, error, chunk);
      return kCommandFailed;
    }
  }
  return kCommandDone;
}

// --- Notices and command 6 ------------------------------------------------------

namespace {

bool Notify(const ReaderHandle& handle, const ReaderFrame& notice, Request request,
            ExchangeOutcome* outcome) {
  OutcomeNote note(outcome);
  if (!handle.IsOpen()) {
    note.Set(Outcome::kNoReader, Request::kNone);
    return false;
  }
  HidError error;
  ReaderFrame answer{};
  if (!SendFrame(handle, notice, &error)) {
    note.Set(Outcome::kFailed, request, error);
    return false;
  }
  if (!ReadFrame(handle, answer, &error)) {
    note.Set(Outcome::kFailed, Request::kNoticeAnswer, error);
    return false;
  }
  return true;
}

}  // namespace

bool NotifyOpen(const ReaderHandle& handle, ExchangeOutcome* outcome) {
  return Notify(handle, kOpenNotice, Request::kOpenNotice, outcome);
}

bool NotifyClose(const ReaderHandle& handle, ExchangeOutcome* outcome) {
  return Notify(handle, kCloseNotice, Request::kCloseNotice, outcome);
}

CommandResult SetReaderConfig(const ReaderHandle& handle, const ReaderParameterBlock& block,
                              ExchangeOutcome* outcome) {
  const auto bytes = block.Bytes();
  return SendReaderCommand(handle, kWriteParametersCommand, static_cast<std::uint8_t>(bytes.size()),
                           bytes.data(), outcome);
}

CommandResult RestoreReaderConfig(const ReaderHandle& handle, ExchangeOutcome* outcome) {
  return SetReaderConfig(handle, ReaderParameterBlock::Defaults(), outcome);
}

}  // namespace rdrconf
