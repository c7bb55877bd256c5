#include "emulator/ReportText.h"

#include <cstdio>

#include "reader/CardNumberFormats.h"

namespace rdrconf::emulated {
namespace {

// A 0/1 switch by its two names, any other value by its number.
std::string Switch(std::uint8_t value, const char* on, const char* off, const char* field) {
  if (value == 1) return on;
  if (value == 0) return off;
  return std::string(field) + " " + std::to_string(value);
}

}  // namespace

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += byte;
  }
  return text;
}

std::string FormatName(std::uint8_t cardnoType) {
  if (cardnoType < kFixedCardNumberFormats.size()) return kFixedCardNumberFormats[cardnoType];
  if (IsIcOnlyFormat(cardnoType)) return "IC-only format " + std::to_string(cardnoType);
  return "unknown format " + std::to_string(cardnoType);
}

std::string DescribeSettings(const ReaderParameterBlock& block) {
  return "format " + FormatName(block.cardno_type) + " (" + std::to_string(block.cardno_type) +
         "), " + Switch(block.mode, "Active", "Passive", "mode") + ", " +
         Switch(block.enter, "Enter", "No-Enter", "enter") + ", " +
         Switch(block.power_saving, "power saving on", "power saving off", "power saving");
}

std::string DescribeReport(const ReceivedReport& report) {
  const std::uint8_t* const frame = report.bytes.data() + 1;
  switch (report.kind) {
    case ReportKind::kHeader:
      return "header: command " + std::to_string(report.command) + ", " +
             std::to_string(report.length) + (report.length == 1 ? " byte" : " bytes");
    case ReportKind::kDataChunk: {
      std::string text = "data chunk: " + Hex(frame, 8);
      if (report.command == kWriteParametersCommand && report.chunk == 0 &&
          report.length >= ReaderParameterBlock::kSize) {
        text += " = settings: " +
                DescribeSettings({frame[0], frame[1], frame[2], frame[3], frame[4]});
      }
      return text;
    }
    case ReportKind::kOpenNotice: return "open notice";
    case ReportKind::kCloseNotice: return "close notice";
    case ReportKind::kUnknown: break;
  }
  return "unknown: " + Hex(report.bytes.data(), report.bytes.size());
}

}  // namespace rdrconf::emulated
