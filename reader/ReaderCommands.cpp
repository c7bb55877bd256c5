#include "reader/ReaderCommands.h"

namespace rdrconf {
namespace {

bool Notify(const ReaderHandle& handle, const ReaderFrame& notice) {
  ReaderFrame answer{};
  return SendFrame(handle, notice) && ReadFrame(handle, answer);
}

}  // namespace

bool NotifyOpen(const ReaderHandle& handle) { return Notify(handle, kOpenNotice); }

bool NotifyClose(const ReaderHandle& handle) { return Notify(handle, kCloseNotice); }

CommandResult SetReaderConfig(const ReaderHandle& handle, const ReaderParameterBlock& block) {
  const auto bytes = block.Bytes();
  return SendReaderCommand(handle, kWriteParametersCommand, static_cast<std::uint8_t>(bytes.size()),
                           bytes.data());
}

CommandResult RestoreReaderConfig(const ReaderHandle& handle) {
  return SetReaderConfig(handle, ReaderParameterBlock::Defaults());
}

}  // namespace rdrconf
