#include "emulator/ReportText.h"

#include <cstdio>

#include "reader/ReaderSettings.h"

namespace rdrconf::emulated {
std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += byte;
  }
  return text;
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
                DescribeBlock({frame[0], frame[1], frame[2], frame[3], frame[4]});
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
