#include "tests/support/FakeHidHost.h"

#include <algorithm>
#include <stdexcept>

#include "reader/ReaderDiscovery.h"

namespace rdrconf::testing {

void FakeHidHost::AddInterface(const std::string& path, std::uint16_t vendorId,
                               std::uint16_t productId) {
  interfaces_.push_back({path, vendorId, productId});
}

void FakeHidHost::AddReader(const std::string& path) {
  AddInterface(path, kReaderVendorId, kReaderProductId);
}

void FakeHidHost::RemoveInterface(const std::string& path) {
  interfaces_.erase(std::remove_if(interfaces_.begin(), interfaces_.end(),
                                   [&](const HidInterfaceInfo& i) { return i.path == path; }),
                    interfaces_.end());
}

void FakeHidHost::QueueAnswer(const ReaderFrame& frame) { answers_.push_back(frame); }

void FakeHidHost::SetDefaultAnswer(const ReaderFrame& frame) { defaultAnswer_ = frame; }

std::vector<FakeHidHost::Kind> FakeHidHost::Kinds() const {
  std::vector<Kind> kinds;
  for (const Request& r : requests_) kinds.push_back(r.kind);
  return kinds;
}

std::vector<FeatureReport> FakeHidHost::SetReports() const {
  std::vector<FeatureReport> reports;
  for (const Request& r : requests_) {
    if (r.kind == Kind::kSet) reports.push_back(r.report);
  }
  return reports;
}

std::vector<std::string> FakeHidHost::OpenedPaths() const {
  std::vector<std::string> paths;
  for (const Request& r : requests_) {
    if (r.kind == Kind::kOpen) paths.push_back(r.path);
  }
  return paths;
}

bool FakeHidHost::IsPresent(const std::string& path) const {
  return std::any_of(interfaces_.begin(), interfaces_.end(),
                     [&](const HidInterfaceInfo& i) { return i.path == path; });
}

std::string FakeHidHost::PathOf(HidDeviceToken device) const {
  const auto it = open_.find(device);
  if (it == open_.end()) throw std::logic_error("request on an interface that is not open");
  return it->second;
}

std::optional<std::vector<HidInterfaceInfo>> FakeHidHost::ListInterfaces() {
  requests_.push_back({Kind::kList, "", {}, !failListing_});
  if (failListing_) return std::nullopt;
  return interfaces_;
}

HidDeviceToken FakeHidHost::Open(const std::string& path) {
  const bool ok = IsPresent(path) && failingOpens_.count(path) == 0;
  requests_.push_back({Kind::kOpen, path, {}, ok});
  if (!ok) return 0;
  ++opens_;
  const HidDeviceToken token = nextToken_++;
  open_[token] = path;
  return token;
}

bool FakeHidHost::SetFeature(HidDeviceToken device, const FeatureReport& report) {
  const std::string path = PathOf(device);
  const bool ok = IsPresent(path) && failingSets_.count(++sets_) == 0;
  requests_.push_back({Kind::kSet, path, report, ok});
  return ok;
}

bool FakeHidHost::GetFeature(HidDeviceToken device, FeatureReport& report) {
  const std::string path = PathOf(device);
  const bool ok = IsPresent(path) && failingGets_.count(++gets_) == 0;
  FeatureReport answer{};
  if (ok) {
    ReaderFrame frame = defaultAnswer_;
    if (!answers_.empty()) {
      frame = answers_.front();
      answers_.pop_front();
    }
    answer[0] = report[0];
    std::copy(frame.begin(), frame.end(), answer.begin() + 1);
    report = answer;
  }
  requests_.push_back({Kind::kGet, path, answer, ok});
  return ok;
}

void FakeHidHost::Close(HidDeviceToken device) {
  const std::string path = PathOf(device);
  open_.erase(device);
  ++closes_;
  requests_.push_back({Kind::kClose, path, {}, true});
}

FeatureReport Report(std::initializer_list<std::uint8_t> bytes) {
  if (bytes.size() != kFeatureReportSize) throw std::invalid_argument("a report has 9 bytes");
  FeatureReport report{};
  std::copy(bytes.begin(), bytes.end(), report.begin());
  return report;
}

}  // namespace rdrconf::testing
