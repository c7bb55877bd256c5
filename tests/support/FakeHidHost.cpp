#include "tests/support/FakeHidHost.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace rdrconf::test {
namespace {

HidError ErrorOf(int number) { return {number, std::strerror(number)}; }

}  // namespace

void FakeHidHost::AddInterface(HidInterfaceInfo info) { interfaces_.push_back(std::move(info)); }

void FakeHidHost::AddInterface(const std::string& path, std::uint16_t vendorId,
                               std::uint16_t productId) {
  HidInterfaceInfo info;
  info.path = path;
  info.vendorId = vendorId;
  info.productId = productId;
  AddInterface(std::move(info));
}

void FakeHidHost::AddReader(const std::string& path, const std::string& serial) {
  HidInterfaceInfo info;
  info.path = path;
  info.vendorId = kReaderVendorId;
  info.productId = kReaderProductId;
  info.serialNumber = serial;
  info.manufacturer = "Fake";
  info.product = "Fake card reader";
  info.usbPort = "1-" + std::to_string(interfaces_.size() + 1);
  info.interfaceNumber = 0;
  AddInterface(std::move(info));
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

std::optional<std::vector<HidInterfaceInfo>> FakeHidHost::ListInterfaces(HidError& error) {
  requests_.push_back({Kind::kList, "", {}, !failListing_});
  if (failListing_) {
    error = ErrorOf(EIO);
    return std::nullopt;
  }
  return interfaces_;
}

bool FakeHidHost::MayOpen(const std::string& path) { return denied_.count(path) == 0; }

HidDeviceToken FakeHidHost::Open(const std::string& path, HidError& error) {
  const auto failing = failingOpens_.find(path);
  const int number = !IsPresent(path) ? ENOENT : failing != failingOpens_.end() ? failing->second : 0;
  requests_.push_back({Kind::kOpen, path, {}, number == 0});
  if (number != 0) {
    error = ErrorOf(number);
    return 0;
  }
  ++opens_;
  const HidDeviceToken token = nextToken_++;
  open_[token] = path;
  return token;
}

bool FakeHidHost::SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) {
  const std::string path = PathOf(device);
  const auto failing = failingSets_.find(++sets_);
  const int number = !IsPresent(path) ? ENODEV : failing != failingSets_.end() ? failing->second : 0;
  requests_.push_back({Kind::kSet, path, report, number == 0});
  if (number != 0) error = ErrorOf(number);
  return number == 0;
}

int FakeHidHost::GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) {
  const std::string path = PathOf(device);
  const int n = ++gets_;
  const auto failing = failingGets_.find(n);
  const int number = !IsPresent(path) ? ENODEV : failing != failingGets_.end() ? failing->second : 0;
  FeatureReport answer{};
  int delivered = -1;
  if (number == 0) {
    ReaderFrame frame = defaultAnswer_;
    if (!answers_.empty()) {
      frame = answers_.front();
      answers_.pop_front();
    }
    answer[0] = report[0];
    std::copy(frame.begin(), frame.end(), answer.begin() + 1);
    const auto shortGet = shortGets_.find(n);
    delivered = shortGet != shortGets_.end() ? shortGet->second : static_cast<int>(answer.size());
    std::copy_n(answer.begin(), delivered, report.begin());
  } else {
    error = ErrorOf(number);
  }
  requests_.push_back({Kind::kGet, path, answer, number == 0});
  return delivered;
}

void FakeHidHost::Close(HidDeviceToken device) {
  const std::string path = PathOf(device);
  if (onClose_) onClose_(path);
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

}  // namespace rdrconf::test
