#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "reader/HidHost.h"
#include "reader/ReaderProtocol.h"

// Hidraw devices emulated with umockdev, seen by the real hidapi backend.
//
// The process must run under umockdev-wrapper: the bus creates a umockdev
// testbed, and the wrapper's preload then shows the testbed's /sys and /dev
// to libudev and to open() and ioctl(). hidapi lists the emulated devices,
// opens their nodes and exchanges feature reports with them as with real
// hardware; each device answers those requests on umockdev's own thread.
//
// Typical use in a test:
//
//   EmulatedHidBus bus;
//   EmulatedReader& reader = bus.AddReader();
//   ReaderHandle handle = OpenReader();
//   SetReaderConfig(handle, block);
//   EXPECT_EQ(reader.Settings(), block);
namespace rdrconf::emulated {

// What a device made of one feature report that the host set.
enum class ReportKind { kHeader, kDataChunk, kOpenNotice, kCloseNotice, kUnknown };

struct ReceivedReport {
  ReportKind kind = ReportKind::kUnknown;
  FeatureReport bytes{};     // as the host set it, report id first
  std::uint8_t command = 0;  // header and data chunk: the command code
  std::uint8_t length = 0;   // header and data chunk: the command's data length
  int chunk = 0;             // data chunk: its position in the command, from 0
};

// The bytes, or the kinds, of received reports, for comparing in tests.
inline std::vector<FeatureReport> BytesOf(const std::vector<ReceivedReport>& reports) {
  std::vector<FeatureReport> bytes;
  for (const ReceivedReport& report : reports) bytes.push_back(report.bytes);
  return bytes;
}

inline std::vector<ReportKind> KindsOf(const std::vector<ReceivedReport>& reports) {
  std::vector<ReportKind> kinds;
  for (const ReceivedReport& report : reports) kinds.push_back(report.kind);
  return kinds;
}

// The feature requests a device received, in order.
enum class FeatureRequest { kSet, kGet };

// What a reader says of itself over USB, as the device gives it (UTF-8);
// an empty text stands for the usual one ("EMU0001", "Emulated card
// reader"). Two readers may be given one serial number, as cheap ones are.
struct DeviceStrings {
  std::string serial;
  std::string product;
};

class Testbed;

// One emulated HID device: a USB device with one HID interface and its
// hidraw node. It answers hidapi's open (the descriptor-size request) and
// feature requests; a plain device accepts every report it is set, keeps it
// as kUnknown and answers gets with eight zero bytes. All members may be
// called from any thread.
class EmulatedHidDevice {
 public:
  using ReportObserver = std::function<void(const ReceivedReport&)>;

  virtual ~EmulatedHidDevice();
  EmulatedHidDevice(const EmulatedHidDevice&) = delete;
  EmulatedHidDevice& operator=(const EmulatedHidDevice&) = delete;

  std::uint16_t VendorId() const { return vendorId_; }
  std::uint16_t ProductId() const { return productId_; }
  // The USB device name ("1-1", "1-2", ...); the bus lists devices in the
  // order of these names.
  std::string UsbName() const;
  // The node that hidapi lists as the interface's path ("/dev/hidraw0", ...);
  // a device gets a new node each time it is plugged.
  std::string NodePath() const;

  // How often the device was opened: hidapi asks every node it opens for its
  // descriptor size, and only then.
  int Opens() const;
  std::vector<FeatureRequest> FeatureRequests() const;
  std::vector<ReceivedReport> Reports() const;
  // Forgets the opens, requests and reports counted so far.
  void ClearRecords();

  // Called on umockdev's thread with each report as it arrives, before the
  // host's request completes; must not block. Replaces any earlier observer.
  void SetReportObserver(ReportObserver observer);

  // While set, the node still opens but refuses the descriptor-size request,
  // so that hidapi reports the open as failed.
  void FailOpens(bool fail);

  // The n-th feature request counted from the last ClearRecords (set or
  // get, from 1) fails with `number` (ENODEV, EIO, EPIPE, ...); it is
  // counted in FeatureRequests but its report is not received.
  void FailRequest(int n, int number);
  // The n-th feature request, when it is a get, delivers only `bytes` bytes
  // of the report (report id included).
  void ShortenAnswer(int n, int bytes);

  // Unplugging removes the device from /sys and /dev: it is no longer listed
  // and requests on a node opened before fail with ENODEV. Plugging puts it
  // back under the same USB name, so in the same place of the listing, with
  // a new node. Neither forgets the records or the state.
  void Unplug();
  void Plug();
  bool IsPlugged() const;

 protected:
  EmulatedHidDevice(Testbed& testbed, std::size_t index, std::uint16_t vendorId,
                    std::uint16_t productId, DeviceStrings strings = {});

  // The device side of the feature requests, called with mutex_ held. Each
  // gives 0 or the errno the request fails with. A set that succeeds fills
  // `received`, which is then kept and passed to the observer.
  virtual int OnSetFeature(const FeatureReport& report, ReceivedReport& received);
  virtual int OnGetFeature(FeatureReport& report);

  mutable std::mutex mutex_;
  const Testbed& Bed() const { return testbed_; }

 private:
  friend class EmulatedHidBus;
  friend class Testbed;

  // The testbed has made `node` this device's node and it works.
  void Connected(const std::string& node);
  // Whether requests on `node` reach the device: it is plugged, and `node`
  // is the node of this plug.
  bool Serves(const std::string& node) const;
  // Entry points for the ioctl handler; each gives 0 or an errno.
  int HandleOpen();
  int HandleSetFeature(const FeatureReport& report);
  // `delivered` gets the number of bytes the answer carries.
  int HandleGetFeature(FeatureReport& report, std::size_t& delivered);

  Testbed& testbed_;
  const std::size_t index_;
  const std::uint16_t vendorId_;
  const std::uint16_t productId_;
  const DeviceStrings strings_;
  bool plugged_ = false;
  std::string nodePath_;
  bool failOpens_ = false;
  std::map<int, int> failingRequests_;  // request number -> errno
  std::map<int, int> shortAnswers_;     // request number -> bytes
  int opens_ = 0;
  std::vector<FeatureRequest> requests_;
  std::vector<ReceivedReport> reports_;
  ReportObserver observer_;
};

// How the reader answers the host.
enum class ReaderBehaviour {
  kNormal,   // acknowledges headers and chunks, answers notices
  kRefuse,   // answers every get with eight 0xAA and starts no command
  kStatus,   // answers with 0x02 in byte 4 and starts no command
  kStall,    // every feature request fails with EPIPE and is not received
  kGarbage,  // takes the data as usual but answers kGarbageAnswer
};

// The card reader 1d57:ac08, from the reader's side of the protocol. It
// answers a command header 55 11 cc ll with 55 11 cc ll 00 00 00 00 and then
// takes the command's ceil(ll / 8) data chunks, acknowledging each one the
// same way unless the command is 6; the first five data bytes of a complete
// command 6 become its current settings. It answers the open and close
// notices with 55 12 / 55 13 and six zero bytes. A get delivers the latest
// answer (eight zero bytes before the first).
class EmulatedReader final : public EmulatedHidDevice {
 public:
  // Neither an acknowledgement nor a refusal nor a status answer.
  static constexpr ReaderFrame kGarbageAnswer{0x13, 0x37, 0xC0, 0xDE, 0x00, 0x5A, 0xA5, 0xFF};

  ReaderParameterBlock Settings() const;
  void SetBehaviour(ReaderBehaviour behaviour);
  // The evdev node of the reader's keyboard side ("/dev/input/event1"); a
  // new one each time the reader is plugged. Only its place in sysfs is
  // emulated: udev finds it under the reader's USB device.
  std::string KeyboardNode() const;

 private:
  friend class EmulatedHidBus;
  EmulatedReader(Testbed& testbed, std::size_t index, DeviceStrings strings);

  int OnSetFeature(const FeatureReport& report, ReceivedReport& received) override;
  int OnGetFeature(FeatureReport& report) override;

  ReaderBehaviour behaviour_ = ReaderBehaviour::kNormal;
  ReaderParameterBlock settings_ = ReaderParameterBlock::Defaults();
  ReaderFrame answer_{};
  // The command whose data chunks are still expected.
  std::uint8_t command_ = 0;
  std::uint8_t length_ = 0;
  int chunksExpected_ = 0;
  int chunksReceived_ = 0;
  std::vector<std::uint8_t> data_;
};

// The testbed and its devices. Devices are listed in the order in which they
// were added (at most nine); they live as long as the bus.
class EmulatedHidBus {
 public:
  // Creates the testbed; throws std::runtime_error when umockdev fails.
  EmulatedHidBus();
  ~EmulatedHidBus();
  EmulatedHidBus(const EmulatedHidBus&) = delete;
  EmulatedHidBus& operator=(const EmulatedHidBus&) = delete;

  // True when the process runs under umockdev-wrapper, so that hidapi sees
  // this bus instead of the host's devices.
  bool IsActive() const;

  // Each adds a plugged device behind the ones added before. Throws
  // std::length_error past the ninth device.
  EmulatedReader& AddReader(DeviceStrings strings = {});
  EmulatedHidDevice& AddOtherDevice(std::uint16_t vendorId, std::uint16_t productId);

 private:
  std::unique_ptr<Testbed> testbed_;
  std::vector<std::unique_ptr<EmulatedHidDevice>> devices_;
};

}  // namespace rdrconf::emulated
