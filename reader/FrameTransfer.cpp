#include "reader/FrameTransfer.h"

#include <algorithm>
#include <cstddef>

namespace rdrconf {
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

}  // namespace

bool SendFrame(const ReaderHandle& handle, const ReaderFrame& frame) {
  if (!handle.IsOpen()) return false;
  FeatureReport report{};
  std::copy(frame.begin(), frame.end(), report.begin() + 1);
  return handle.SetFeature(report);
}

bool ReadFrame(const ReaderHandle& handle, ReaderFrame& frame) {
  if (!handle.IsOpen()) return false;
  FeatureReport report{};
  if (!handle.GetFeature(report)) return false;
  std::copy(report.begin() + 1, report.end(), frame.begin());
  return true;
}

CommandResult SendReaderCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data) {
  if (data == nullptr || !handle.IsOpen()) return kCommandFailed;

  ReaderFrame frame{kControlFrameMark, kCommandHeaderKind, code, length,
                    kFrameFiller,      kFrameFiller,       kFrameFiller, kFrameFiller};
  if (!SendFrame(handle, frame) || !ReadFrame(handle, frame)) return kCommandFailed;
  // The header's answer need not echo it: anything but a refusal or a
  // status answer lets the transfer go on.
  switch (Classify(frame, code, length)) {
    case Answer::kRefused: return kCommandFailed;
    case Answer::kStatus: return kCommandStatus;
    default: break;
  }

  for (std::size_t offset = 0; offset < length; offset += kFrameSize) {
    frame.fill(0);
    const std::size_t count = std::min<std::size_t>(kFrameSize, length - offset);
    std::copy_n(data + offset, count, frame.begin());
    // A chunk that does not reach the reader is a failed transfer, whatever
    // the command: reporting success here would hide lost settings.
    if (!SendFrame(handle, frame)) return kCommandFailed;
    if (code == kWriteParametersCommand) continue;

    bool acknowledged = false;
    for (int attempt = 0; attempt < kAcknowledgementReads && !acknowledged; ++attempt) {
      if (!ReadFrame(handle, frame)) continue;  // a failed read uses up the attempt
      switch (Classify(frame, code, length)) {
        case Answer::kRefused: return kCommandFailed;
        case Answer::kStatus: return kCommandStatus;
        case Answer::kAcknowledged: acknowledged = true; break;
        case Answer::kOther: break;
      }
    }
    if (!acknowledged) return kCommandFailed;
  }
  return kCommandDone;
}

}  // namespace rdrconf
