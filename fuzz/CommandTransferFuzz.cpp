// libFuzzer entry for the command transfer, against the in-memory HID host.
//
// Input layout (missing bytes read as zero):
//   byte 0        command code
//   byte 1        data length
//   byte 2        flags: bit 0 the reader will not open, bit 1 no data pointer
//   bytes 3, 4    bit masks: set request n (1..8) fails when bit n-1 of byte
//                 3 is set; get request n (1..8) likewise with byte 4
//   next length   the data
//   the rest      the reader's answers, 8 bytes each, in order; further gets
//                 are answered with eight zero bytes
//
// Properties checked: the result is 0, 1 or 2; the sets are the header and
// then the data chunks, in order, and nothing else; the header gets exactly
// one answer and no chunk waits for more than five; a failed set ends the
// transfer as a failure and "done" means every chunk went out; the reader's
// handle is closed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/FakeHidHost.h"

namespace {

using rdrconf::FeatureReport;
using rdrconf::ReaderFrame;
using rdrconf::test::FakeHidHost;
using Kind = FakeHidHost::Kind;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Empty() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

// The frames that must go out, in order: the header, then the data in
// zero-filled chunks of eight.
std::vector<FeatureReport> ExpectedSets(std::uint8_t code, const std::vector<std::uint8_t>& data) {
  std::vector<FeatureReport> sets{{0x00, rdrconf::kControlFrameMark, rdrconf::kCommandHeaderKind, code,
                                   static_cast<std::uint8_t>(data.size()), rdrconf::kFrameFiller,
                                   rdrconf::kFrameFiller, rdrconf::kFrameFiller, rdrconf::kFrameFiller}};
  for (std::size_t offset = 0; offset < data.size(); offset += 8) {
    FeatureReport chunk{};
    const std::size_t count = std::min<std::size_t>(8, data.size() - offset);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), count, chunk.begin() + 1);
    sets.push_back(chunk);
  }
  return sets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  Input input(bytes, size);
  const std::uint8_t code = input.Byte();
  const std::uint8_t length = input.Byte();
  const std::uint8_t flags = input.Byte();
  const std::uint8_t failingSets = input.Byte();
  const std::uint8_t failingGets = input.Byte();
  std::vector<std::uint8_t> data(length);
  for (std::uint8_t& b : data) b = input.Byte();

  FakeHidHost host;
  host.AddReader();
  if (flags & 1) host.FailOpen(FakeHidHost::kReaderPath);
  // A get that delivers fewer bytes than a report is a failed request.
  if (flags & 4) host.ShortGet(1 + (flags >> 4), (flags >> 4) % 9);
  for (int n = 1; n <= 8; ++n) {
    if (failingSets & (1u << (n - 1))) host.FailSet(n);
    if (failingGets & (1u << (n - 1))) host.FailGet(n);
  }
  while (!input.Empty()) {
    ReaderFrame answer{};
    for (std::uint8_t& b : answer) b = input.Byte();
    host.QueueAnswer(answer);
  }

  // An empty vector may hand out a null pointer too.
  const std::uint8_t* const pointer = (flags & 2) ? nullptr : data.data();
  rdrconf::ExchangeOutcome outcome;
  {
    const rdrconf::ReaderHandle handle = rdrconf::CardReader(host).OpenReader();
    outcome = rdrconf::TransferCommand(handle, code, length, pointer);
  }
  const rdrconf::CommandResult result = rdrconf::CommandResultOf(outcome);
  Require(result <= rdrconf::kCommandStatus, "the result is 0, 1 or 2");
  using rdrconf::Outcome;
  Require((result == rdrconf::kCommandDone) == (outcome.outcome == Outcome::kDone), "done and only done is done");
  Require((result == rdrconf::kCommandStatus) == (outcome.outcome == Outcome::kStatus), "a status is a status");
  Require(outcome.outcome != Outcome::kFailed || outcome.request != rdrconf::Request::kNone || pointer == nullptr,
          "a failure names its request");
  Require(host.Opens() == host.Closes() && host.OpenNow() == 0, "every handle is closed");

  const std::vector<FeatureReport> expected = ExpectedSets(code, data);
  std::size_t sets = 0;
  int getsSinceSet = 0;
  bool setFailed = false;
  for (const FakeHidHost::Request& request : host.Requests()) {
    if (request.kind == Kind::kSet) {
      Require(!setFailed, "nothing is set after a failed set");
      Require(sets < expected.size() && request.report == expected[sets], "sets are the header, then the chunks");
      Require(sets != 1 || getsSinceSet == 1, "the header gets exactly one answer");
      ++sets;
      getsSinceSet = 0;
      setFailed = !request.succeeded;
    } else if (request.kind == Kind::kGet) {
      Require(sets > 0, "no answer is read before the header");
      ++getsSinceSet;
      Require(getsSinceSet <= (sets == 1 ? 1 : rdrconf::kAcknowledgementReads),
              "no more than five reads wait for one acknowledgement");
      Require(code != rdrconf::kWriteParametersCommand || sets == 1, "command 6 reads nothing after a chunk");
    }
  }
  if (setFailed) Require(result == rdrconf::kCommandFailed, "a failed set is a failed transfer");
  if (result == rdrconf::kCommandDone) Require(sets == expected.size(), "done means every chunk went out");
  if ((flags & 1) != 0 || pointer == nullptr) {
    Require(sets == 0 && result == rdrconf::kCommandFailed, "no reader, no data: nothing is sent");
  }
  return 0;
}
