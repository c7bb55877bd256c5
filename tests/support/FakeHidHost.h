#pragma once

#include <cerrno>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "reader/HidHost.h"
#include "reader/ReaderProtocol.h"

namespace rdrconf::test {

// An in-memory HID host. It lists the interfaces it was given, records every
// request in order (with the 9 bytes of each set and each answered get),
// answers gets from a script, and can make any single request fail with a
// chosen errno, or a get deliver fewer bytes than a report.
class FakeHidHost final : public HidHost {
 public:
  enum class Kind { kList, kOpen, kSet, kGet, kClose };
  struct Request {
    Kind kind;
    std::string path;        // the interface concerned; empty for the listing
    FeatureReport report{};  // what was set, or what a get delivered
    bool succeeded = true;
  };

  static constexpr const char* kReaderPath = "/dev/hidraw-reader";

  // Interfaces are listed in the order in which they were added.
  void AddInterface(HidInterfaceInfo info);
  void AddInterface(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);
  void AddReader(const std::string& path = kReaderPath, const std::string& serial = "");
  void RemoveInterface(const std::string& path);  // the device is unplugged

  // Answers to get requests: queued frames first, one per get, then the
  // default answer (eight zero bytes unless set).
  void QueueAnswer(const ReaderFrame& frame);
  void SetDefaultAnswer(const ReaderFrame& frame);

  void FailListing() { failListing_ = true; }
  // Opening `path` fails with `number`: EACCES for a user without access,
  // EWOULDBLOCK while another program holds it.
  void FailOpen(const std::string& path, int number = EIO) { failingOpens_[path] = number; }
  // MayOpen answers false for `path`.
  void DenyAccess(const std::string& path) { denied_.insert(path); }
  // HeldByAnotherProgram answers true for `path` (Open is not affected:
  // FailOpen(path, EWOULDBLOCK) makes that fail).
  void HoldElsewhere(const std::string& path, bool held = true) {
    if (held) {
      held_.insert(path);
    } else {
      held_.erase(path);
    }
  }
  void FailSet(int n, int number = EIO) { failingSets_[n] = number; }  // the n-th set, from 1
  void FailGet(int n, int number = EIO) { failingGets_[n] = number; }  // the n-th get, from 1
  // The n-th get delivers only `bytes` bytes.
  void ShortGet(int n, int bytes) { shortGets_[n] = bytes; }
  // Called at each close with the interface's path, while it is still
  // held: to see what another program would find at that moment.
  void OnClose(std::function<void(const std::string& path)> hook) { onClose_ = std::move(hook); }

  const std::vector<Request>& Requests() const { return requests_; }
  std::vector<Kind> Kinds() const;
  // The reports of every set request, in order, failed ones included.
  std::vector<FeatureReport> SetReports() const;
  std::vector<std::string> OpenedPaths() const;
  int Opens() const { return opens_; }
  int Closes() const { return closes_; }
  int OpenNow() const { return static_cast<int>(open_.size()); }
  void ClearRequests() { requests_.clear(); }

  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError& error) override;
  bool MayOpen(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override { return held_.count(path) != 0; }
  HidDeviceToken Open(const std::string& path, HidError& error) override;
  bool SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) override;
  int GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) override;
  void Close(HidDeviceToken device) override;

 private:
  bool IsPresent(const std::string& path) const;
  std::string PathOf(HidDeviceToken device) const;

  std::vector<HidInterfaceInfo> interfaces_;
  std::deque<ReaderFrame> answers_;
  ReaderFrame defaultAnswer_{};
  bool failListing_ = false;
  std::map<std::string, int> failingOpens_;
  std::set<std::string> denied_;
  std::set<std::string> held_;
  std::map<int, int> failingSets_;
  std::map<int, int> failingGets_;
  std::map<int, int> shortGets_;
  std::vector<Request> requests_;
  std::map<HidDeviceToken, std::string> open_;
  std::function<void(const std::string& path)> onClose_;
  HidDeviceToken nextToken_ = 1;
  int opens_ = 0;
  int closes_ = 0;
  int sets_ = 0;
  int gets_ = 0;
};

// Builds a report from its nine bytes, for readable expectations.
FeatureReport Report(std::initializer_list<std::uint8_t> bytes);

}  // namespace rdrconf::test
