#pragma once

#include <array>
#include <cstdint>

#include "reader/ReaderDiscovery.h"

namespace rdrconf {

// The 8 bytes of one feature report, without the report id.
using ReaderFrame = std::array<std::uint8_t, 8>;

// Result of SendReaderCommand. Callers count any nonzero value as success.
using CommandResult = std::uint8_t;
inline constexpr CommandResult kCommandFailed = 0;
inline constexpr CommandResult kCommandDone = 1;
inline constexpr CommandResult kCommandStatus = 2;  // the reader answered 0x02 in byte 4

inline constexpr std::uint8_t kControlFrameMark = 0x55;
inline constexpr std::uint8_t kCommandHeaderKind = 0x11;
inline constexpr std::uint8_t kFrameFiller = 0x63;
inline constexpr std::uint8_t kRefusalByte = 0xAA;
inline constexpr std::uint8_t kStatusByte = 0x02;
// Without a command-6 acknowledgement the reader is polled this often per chunk.
inline constexpr int kAcknowledgementReads = 5;
// Command 6 writes the parameter block; its chunks are not acknowledged.
inline constexpr std::uint8_t kWriteParametersCommand = 6;

// Sends one frame as the feature report 00 b0..b7. False for a null or
// invalid handle (no request is made) or when the request fails.
bool SendFrame(const ReaderHandle& handle, const ReaderFrame& frame);

// Gets one feature report with report id 0 and copies its 8 frame bytes
// into frame. False for a null or invalid handle (no request) or when the
// request fails; frame is then left as it was.
bool ReadFrame(const ReaderHandle& handle, ReaderFrame& frame);

// Carries command `code` with `length` bytes of `data`: a header frame
// 55 11 cc ll 63 63 63 63, one answer, then the data in zero-filled 8-byte
// chunks, each acknowledged (55 11 cc ll) within five reads unless the code
// is 6. Gives kCommandFailed for a null data pointer or handle, a failed
// request, a refusal (eight 0xAA) or a missing acknowledgement;
// kCommandStatus when an answer holds 0x02 in byte 4; kCommandDone when
// every chunk went through.
CommandResult SendReaderCommand(const ReaderHandle& handle, std::uint8_t code, std::uint8_t length,
                                const std::uint8_t* data);

}  // namespace rdrconf
