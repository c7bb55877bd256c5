#include "cli/Session.h"

namespace rdrconf::cli {
namespace {

ExchangeOutcome Exchange(const CardReader& reader, const ReaderSelector& selector,
                         const ReaderCommand& exchange) {
  ExchangeOutcome outcome;
  if (const ReaderHandle handle = reader.OpenReader(selector, &outcome); handle.IsOpen()) {
    exchange(handle, &outcome);
  }
  return outcome;
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

SessionOutcome RunSession(const CardReader& reader, const std::string& path, const ReaderCommand& command,
                          bool onlyIfItOpens) {
  const ReaderSelector selector = ReaderSelector::Path(path);
  SessionOutcome outcome;
  outcome.openNotice = Exchange(reader, selector, [](const ReaderHandle& handle, ExchangeOutcome* o) {
    return NotifyOpen(handle, o) ? kCommandDone : kCommandFailed;
  });
  if (onlyIfItOpens && outcome.openNotice.request == Request::kOpen) {
    outcome.command = outcome.openNotice;
    return outcome;
  }
  outcome.command = Exchange(reader, selector, command);
  outcome.closeNotice = Exchange(reader, selector, [](const ReaderHandle& handle, ExchangeOutcome* o) {
    return NotifyClose(handle, o) ? kCommandDone : kCommandFailed;
  });
  return outcome;
}

std::vector<FeatureReport> RehearseSession(const HidInterfaceInfo& reader, const ReaderCommand& command) {
  RehearsalHost host(reader);
  RunSession(CardReader(host), reader.path, command);
  return host.sets;
}

}  // namespace rdrconf::cli
