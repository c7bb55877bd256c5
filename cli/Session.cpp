#include "cli/Session.h"

namespace rdrconf::cli {
namespace {

// Opens the reader for one exchange and runs it; the reader is let go when
// the exchange is over.
template <typename Exchange>
ExchangeOutcome OnOpenedReader(const CardReader& reader, const ReaderSelector& selector, Exchange&& exchange) {
  const OpenedReader opened = reader.Open(selector);
  return opened.handle.IsOpen() ? exchange(opened.handle) : opened.outcome;
}

// A host with one interface that keeps every report it is set and answers
// every get with eight zero bytes, which the protocol takes as an answer
// that lets the transfer go on.
class RehearsalHost final : public HidHost {
 public:
  explicit RehearsalHost(HidInterfaceInfo interface) : interface_(std::move(interface)) {}

  std::vector<FeatureReport> sets;

  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError&) override {
    return std::vector<HidInterfaceInfo>{interface_};
  }
  bool MayOpen(const std::string&) override { return true; }
  bool HeldByAnotherProgram(const std::string&) override { return false; }
  HidDeviceToken Open(const std::string&, HidError&) override { return 1; }
  bool SetFeature(HidDeviceToken, const FeatureReport& report, HidError&) override {
    sets.push_back(report);
    return true;
  }
  int GetFeature(HidDeviceToken, FeatureReport& report, HidError&) override {
    report = FeatureReport{};
    return static_cast<int>(report.size());
  }
  void Close(HidDeviceToken) override {}

 private:
  HidInterfaceInfo interface_;
};

}  // namespace

SessionOutcome RunSession(const CardReader& reader, const std::string& path, const ReaderSettings& settings,
                          const WhileHeld& whileHeld, bool onlyIfItOpens) {
  const ReaderSelector selector = ReaderSelector::Path(path);
  SessionOutcome outcome;
  outcome.openNotice =
      OnOpenedReader(reader, selector, [](const ReaderHandle& handle) { return SendNotice(handle, Notice::kOpen); });
  if (onlyIfItOpens && outcome.openNotice.request == Request::kOpen) {
    outcome.command = outcome.openNotice;
    return outcome;
  }
  outcome.command = OnOpenedReader(reader, selector, [&](const ReaderHandle& handle) {
    ExchangeOutcome written = WriteParameters(handle, settings.Block());
    if (written.Succeeded() && whileHeld) whileHeld(written.outcome);
    return written;
  });
  outcome.closeNotice =
      OnOpenedReader(reader, selector, [](const ReaderHandle& handle) { return SendNotice(handle, Notice::kClose); });
  return outcome;
}

std::vector<FeatureReport> RehearseSession(const HidInterfaceInfo& reader, const ReaderSettings& settings) {
  RehearsalHost host(reader);
  RunSession(CardReader(host), reader.path, settings);
  return host.sets;
}

}  // namespace rdrconf::cli
