#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "emulator/EmulatedHidBus.h"
#include "reader/ReaderProtocol.h"
#include "reader/ReaderSettings.h"

// Words for what an emulated reader received, for test messages and for
// printing an exchange as it happens.
namespace rdrconf::emulated {

// "00 55 12 ...": the bytes in lower-case hex, one space apart.
std::string Hex(const std::uint8_t* bytes, std::size_t count);

// "header: command 6, 5 bytes", "data chunk: 04 01 01 00 00 00 00 00"
// (followed by " = settings: ..." for the first chunk of a command 6),
// "open notice", "close notice", "unknown: 00 12 34 ..." (all nine bytes).
std::string DescribeReport(const ReceivedReport& report);

}  // namespace rdrconf::emulated
