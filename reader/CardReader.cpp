#include "reader/CardReader.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

namespace rdrconf {

std::string ReaderIdentity::Label() const {
  if (!hid.serialNumber.empty()) return hid.serialNumber;
  if (!hid.usbPort.empty()) return "USB " + hid.usbPort;
  return hid.path;
}

ReaderSelector ReaderSelector::Path(std::string path) { return {Kind::kPath, std::move(path), -1}; }

ReaderSelector ReaderSelector::Serial(std::string serial) {
  return {Kind::kSerial, std::move(serial), -1};
}

ReaderSelector ReaderSelector::Index(int index) { return {Kind::kIndex, std::to_string(index), index}; }

ReaderSelector ReaderSelector::Parse(const std::string& text) {
  if (!text.empty() && text.front() == '/') return Path(text);
  const bool digits = !text.empty() && text.size() <= 6 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (!digits) return Serial(text);
  return {Kind::kSerialOrIndex, text, std::stoi(text)};
}

std::vector<ReaderIdentity> ReaderSelector::Pick(const std::vector<ReaderIdentity>& present) const {
  std::vector<ReaderIdentity> picked;
  const auto pickIf = [&](auto&& matches) {
    std::copy_if(present.begin(), present.end(), std::back_inserter(picked), matches);
  };
  switch (kind_) {
    case Kind::kFirst: return present;
    case Kind::kPath: pickIf([this](const ReaderIdentity& r) { return r.hid.path == text_; }); break;
    case Kind::kSerial:
    case Kind::kSerialOrIndex:
      pickIf([this](const ReaderIdentity& r) { return r.hid.serialNumber == text_; });
      if (!picked.empty() || kind_ == Kind::kSerial) break;
      [[fallthrough]];
    case Kind::kIndex: pickIf([this](const ReaderIdentity& r) { return r.index == index_; }); break;
  }
  return picked;
}

std::string ReaderSelector::Describe() const {
  switch (kind_) {
    case Kind::kFirst: return "the first reader";
    case Kind::kPath: return "the reader " + text_;
    case Kind::kSerial: return "the reader with serial number " + text_;
    case Kind::kIndex: return "reader " + text_;
    case Kind::kSerialOrIndex: return "the reader with serial number or index " + text_;
  }
  return "the reader";
}

std::vector<ReaderIdentity> CardReader::ListReaders(HidError* error) const {
  HidError ignored;
  const std::optional<std::vector<HidInterfaceInfo>> interfaces =
      host_.ListInterfaces(error ? *error : ignored);
  std::vector<ReaderIdentity> readers;
  if (!interfaces) return readers;
  for (const HidInterfaceInfo& info : *interfaces) {
    if (info.vendorId != kReaderVendorId || info.productId != kReaderProductId) continue;
    readers.push_back({static_cast<int>(readers.size()), info, host_.MayOpen(info.path),
                       host_.HeldByAnotherProgram(info.path)});
  }
  return readers;
}

ReaderStatus CardReader::Status(const ReaderSelector& selector) const {
  ReaderStatus status;
  status.readers = ListReaders();
  const std::vector<ReaderIdentity> named = selector.Pick(status.readers);
  if (named.empty()) return status;
  const auto usable = std::find_if(named.begin(), named.end(),
                                   [](const ReaderIdentity& r) { return r.mayOpen && !r.held; });
  const ReaderIdentity& reader = usable != named.end() ? *usable : named.front();
  status.reader = reader.index;
  status.state = !reader.mayOpen ? ReaderState::kDenied : reader.held ? ReaderState::kBusy : ReaderState::kConnected;
  return status;
}

OpenedReader CardReader::Open(const ReaderSelector& selector) const {
  HidError listingError;
  const std::optional<std::vector<HidInterfaceInfo>> interfaces = host_.ListInterfaces(listingError);
  if (!interfaces) return {ReaderHandle::Invalid(), {Outcome::kNoReader, Request::kListing, -1, listingError}};

  std::vector<ReaderIdentity> present;
  for (const HidInterfaceInfo& info : *interfaces) {
    if (info.vendorId != kReaderVendorId || info.productId != kReaderProductId) continue;
    present.push_back({static_cast<int>(present.size()), info, false, false});
  }

  // The first reason a candidate would not open is the one to report: with
  // one reader that is simply its reason.
  ExchangeOutcome firstFailure{Outcome::kNoReader, Request::kNone, -1, {}};
  bool failed = false;
  for (const ReaderIdentity& candidate : selector.Pick(present)) {
    HidError error;
    if (const HidDeviceToken device = host_.Open(candidate.hid.path, error); device != 0) {
      return {ReaderHandle(host_, device, candidate.hid), {}};
    }
    if (!failed) firstFailure = OpenFailure(error);
    failed = true;
  }
  return {ReaderHandle::Invalid(), firstFailure};
}

ReaderHandle CardReader::OpenReader(const ReaderSelector& selector) const { return Open(selector).handle; }

}  // namespace rdrconf
