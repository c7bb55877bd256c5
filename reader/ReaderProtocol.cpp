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

ExchangeOutcome Ended(Outcome kind, Request request, HidError error = {}, int chunk = -1) {
  return {kind, request, chunk, std::move(error)};
}

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

ExchangeOutcome TransferCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data) {
  if (data == nullptr) return Ended(Outcome::kFailed, Request::kNone, {0, "no data to send"});
  if (!handle.IsOpen()) return Ended(Outcome::kNoReader, Request::kNone);

  HidError error;
  ReaderFrame frame{kControlFrameMark, kCommandHeaderKind, code, length,
                    kFrameFiller,      kFrameFiller,       kFrameFiller, kFrameFiller};
  if (!SendFrame(handle, frame, &error)) return Ended(Outcome::kFailed, Request::kHeader, error);
  if (!ReadFrame(handle, frame, &error)) return Ended(Outcome::kFailed, Request::kAnswer, error);
  // The header's answer need not echo it: anything but a refusal or a
  // status answer lets the transfer go on.
  switch (Classify(frame, code, length)) {
    case Answer::kRefused: return Ended(Outcome::kRefused, Request::kAnswer);
    case Answer::kStatus: return Ended(Outcome::kStatus, Request::kAnswer);
    default: break;
  }

  for (std::size_t offset = 0; offset < length; offset += kFrameSize) {
    const int chunk = static_cast<int>(offset / kFrameSize);
    frame.fill(0);
    const std::size_t count = std::min<std::size_t>(kFrameSize, length - offset);
    std::copy_n(data + offset, count, frame.begin());
    // A chunk that does not reach the reader is a failed transfer, whatever
    // the command: reporting success here would hide lost settings.
    if (!SendFrame(handle, frame, &error)) return Ended(Outcome::kFailed, Request::kChunk, error, chunk);
    if (code == kWriteParametersCommand) continue;

    bool acknowledged = false;
    error = {0, "no acknowledgement within " + std::to_string(kAcknowledgementReads) + " reads"};
    for (int attempt = 0; attempt < kAcknowledgementReads && !acknowledged; ++attempt) {
      if (!ReadFrame(handle, frame, &error)) continue;  // a failed read uses up the attempt
      switch (Classify(frame, code, length)) {
        case Answer::kRefused: return Ended(Outcome::kRefused, Request::kAcknowledgement, {}, chunk);
        case Answer::kStatus: return Ended(Outcome::kStatus, Request::kAcknowledgement, {}, chunk);
        case Answer::kAcknowledged: acknowledged = true; break;
        case Answer::kOther: break;
      }
    }
    if (!acknowledged) return Ended(Outcome::kFailed, Request::kAcknowledgement, error, chunk);
  }
  return {};
}

CommandResult SendReaderCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data) {
  return CommandResultOf(TransferCommand(handle, code, length, data));
}

// --- Notices and command 6 ------------------------------------------------------

ExchangeOutcome SendNotice(const ReaderHandle& handle, Notice notice) {
  if (!handle.IsOpen()) return Ended(Outcome::kNoReader, Request::kNone);
  const bool open = notice == Notice::kOpen;
  HidError error;
  ReaderFrame answer{};
  if (!SendFrame(handle, open ? kOpenNotice : kCloseNotice, &error)) {
    return Ended(Outcome::kFailed, open ? Request::kOpenNotice : Request::kCloseNotice, error);
  }
  if (!ReadFrame(handle, answer, &error)) return Ended(Outcome::kFailed, Request::kNoticeAnswer, error);
  return {};
}

bool NotifyOpen(const ReaderHandle& handle) { return NoticeWentThrough(SendNotice(handle, Notice::kOpen)); }

bool NotifyClose(const ReaderHandle& handle) { return NoticeWentThrough(SendNotice(handle, Notice::kClose)); }

ExchangeOutcome WriteParameters(const ReaderHandle& handle, const ReaderParameterBlock& block) {
  const auto bytes = block.Bytes();
  return TransferCommand(handle, kWriteParametersCommand, static_cast<std::uint8_t>(bytes.size()), bytes.data());
}

CommandResult SetReaderConfig(const ReaderHandle& handle, const ReaderParameterBlock& block) {
  return CommandResultOf(WriteParameters(handle, block));
}

CommandResult RestoreReaderConfig(const ReaderHandle& handle) {
  return SetReaderConfig(handle, ReaderParameterBlock::Defaults());
}

}  // namespace rdrconf
