#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/ReaderProtocol.h"
#include "emulator/EmulatedHidBus.h"

// Words for what an emulated reader received, for test messages and for
// printing an exchange as it happens.
namespace rdrconf::emulated {

// "00 55 12 ...": the bytes in lower-case hex, one space apart.
std::string Hex(const std::uint8_t* bytes, std::size_t count);

// The name of a card-number format position: "6h" ... "2h10d+4h10d" for 0-7,
// "IC-only format N" for 8-12, "unknown format N" beyond.
std::string FormatName(std::uint8_t cardnoType);

// "format 6h10d (4), Active, Enter, power saving off".
std::string DescribeSettings(const ReaderParameterBlock& block);

// "header: command 6, 5 bytes", "data chunk: 04 01 01 00 00 00 00 00"
// (followed by " = settings: ..." for the first chunk of a command 6),
// "open notice", "close notice", "unknown: 00 12 34 ..." (all nine bytes).
std::string DescribeReport(const ReceivedReport& report);

}  // namespace rdrconf::emulated
