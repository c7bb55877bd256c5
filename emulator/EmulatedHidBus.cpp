#include "emulator/EmulatedHidBus.h"

#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <umockdev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

// Programs that use the bus run under umockdev-wrapper, whose preload comes
// before the AddressSanitizer runtime in the library list. That order is
// harmless (the preload forwards what it does not fake to the next library),
// so the sanitizer is told not to insist on coming first. Options given in
// ASAN_OPTIONS still apply on top of this.
extern "C" const char* __asan_default_options() { return "verify_asan_link_order=0"; }

namespace rdrconf::emulated {
namespace {

// Vendor usage page 0xFF00 with one 8-byte feature report and no report id:
// what the reader declares.
constexpr std::array<std::uint8_t, 21> kReportDescriptor{
    0x06, 0x00, 0xFF,  // Usage Page (0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x09, 0x02,        //   Usage (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x08,        //   Report Count (8)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
};

constexpr std::size_t kMaxDevices = 9;  // USB names 1-1 to 1-9 list in order

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// Takes ownership of a string that umockdev allocated.
std::string Take(gchar* text) {
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

[[noreturn]] void Fail(const std::string& what, GError* error) {
  std::string message = "emulated HID bus: " + what;
  if (error != nullptr) {
    message += ": ";
    message += error->message;
    g_error_free(error);
  }
  throw std::runtime_error(message);
}

}  // namespace

// The umockdev testbed and the sysfs and /dev entries of each device.
class Testbed {
 public:
  Testbed() : bed_(umockdev_testbed_new()) {
    if (bed_ == nullptr) Fail("cannot create the umockdev testbed", nullptr);
    root_ = Take(umockdev_testbed_get_root_dir(bed_));
  }

  ~Testbed() {
    for (Node& node : nodes_) {
      if (node.handler == nullptr) continue;
      g_signal_handlers_disconnect_matched(node.handler, G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                           nullptr, node.device);
      g_object_unref(node.handler);
    }
    // Also stops umockdev's thread and removes the testbed's folder.
    g_object_unref(bed_);
  }

  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  std::string KeyboardNode(const EmulatedHidDevice& device) const {
    return device.index_ < nodes_.size() ? nodes_[device.index_].keyboardNode : std::string();
  }

  // Adds the device's USB device, interface, HID device and hidraw node,
  // puts the device's handler on the node and makes it the device's node.
  void Connect(EmulatedHidDevice& device) {
    if (nodes_.size() <= device.index_) nodes_.resize(device.index_ + 1);
    Node& node = nodes_[device.index_];
    const unsigned number = static_cast<unsigned>(device.index_) + 1;
    const unsigned vendor = device.vendorId_;
    const unsigned product = device.productId_;
    const std::string usbName = device.UsbName();
    const std::string serial = device.strings_.serial.empty() ? Format("EMU%04u", number) : device.strings_.serial;
    const std::string name = !device.strings_.product.empty() ? device.strings_.product
                             : device.vendorId_ == kReaderVendorId && device.productId_ == kReaderProductId
                                 ? "Emulated card reader"
                                 : "Emulated HID device";

    node.usbPath = Take(umockdev_testbed_add_device(
        bed_, "usb", usbName.c_str(), nullptr,
        // attributes
        "idVendor", Format("%04x", vendor).c_str(), "idProduct", Format("%04x", product).c_str(),
        "bcdDevice", "0100", "manufacturer", "Emulated", "product", name.c_str(), "serial",
        serial.c_str(), "busnum", "1", "devnum", Format("%u", number + 1).c_str(), nullptr,
        // properties
        "DEVTYPE", "usb_device", "BUSNUM", "001", "DEVNUM", Format("%03u", number + 1).c_str(),
        nullptr));
    const std::string interfacePath = Take(umockdev_testbed_add_device(
        bed_, "usb", (usbName + ":1.0").c_str(), node.usbPath.c_str(),
        // attributes
        "bInterfaceNumber", "00", "bInterfaceClass", "03", "bInterfaceSubClass", "00",
        "bInterfaceProtocol", "00", nullptr,
        // properties
        "DEVTYPE", "usb_interface", "INTERFACE", "3/0/0", nullptr));
    // As with the kernel, each connection gets a new HID device number and a
    // new node; umockdev could not reuse the name of a removed node anyway.
    const unsigned connection = ++connections_;
    const std::string hidName = Format("0003:%04X:%04X.%04X", vendor, product, connection);
    const std::string hidPath = Take(umockdev_testbed_add_device(
        bed_, "hid", hidName.c_str(), interfacePath.c_str(),
        // attributes
        nullptr,
        // properties
        "HID_ID", Format("0003:%08X:%08X", vendor, product).c_str(), "HID_NAME", name.c_str(),
        "HID_UNIQ", serial.c_str(), "HID_PHYS", Format("usb-0000:00:14.0-%u/input0", number).c_str(),
        "DRIVER", "hid-generic", "MODALIAS",
        Format("hid:b0003g0001v%08Xp%08X", vendor, product).c_str(), nullptr));
    if (node.usbPath.empty() || interfacePath.empty() || hidPath.empty()) {
      Fail("cannot add the devices of " + usbName, nullptr);
    }
    std::array<std::uint8_t, kReportDescriptor.size()> descriptor = kReportDescriptor;
    umockdev_testbed_set_attribute_binary(bed_, hidPath.c_str(), "report_descriptor",
                                          descriptor.data(), static_cast<gint>(descriptor.size()));

    // The hidraw node comes from a record: its N: line creates /dev/hidrawN
    // (a pty) and the device link lets hidapi find the HID device above it.
    const std::string nodeName = "hidraw" + std::to_string(connection - 1);
    const std::string hidrawPath = hidPath + "/hidraw/" + nodeName;
    const std::string record = "P: " + hidrawPath.substr(std::strlen("/sys")) + "\nN: " + nodeName +
                               "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" + nodeName +
                               "\nL: device=../../../" + hidName + "\n";
    node.devNode = "/dev/" + nodeName;
    // The handler goes on the node before the node exists and stays on it
    // after an unplug, answering ENODEV until the node is complete and once
    // it is gone. umockdev's preload ends a program whose connection to the
    // handler fails: one that opens the node while the handler is being
    // put on or taken off (it heard of the node, or of its removal, while
    // the node was listed).
    if (node.handler == nullptr) {
      node.handler = umockdev_ioctl_base_new();
      node.device = &device;
      g_signal_connect(node.handler, "handle-ioctl", G_CALLBACK(&Testbed::OnIoctl), &device);
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(bed_, node.devNode.c_str(), node.handler, &error)) {
      Fail("cannot handle the requests of " + node.devNode, error);
    }
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
      Fail("cannot add " + nodeName, error);
    }
    node.hidrawPath = hidrawPath;
    node.links = {root_ + node.devNode, root_ + "/sys/class/hidraw/" + nodeName,
                  root_ + "/sys/bus/hid/devices/" + hidName,
                  root_ + "/sys/bus/usb/devices/" + usbName + ":1.0",
                  root_ + "/sys/bus/usb/devices/" + usbName};
    GiveRealDeviceNumber(node, hidrawPath, nodeName);
    if (device.vendorId_ == kReaderVendorId && device.productId_ == kReaderProductId) {
      AddKeyboardSide(node, usbName, connection);
    }

    // umockdev announced the node when it was added, before its device
    // number and links were in place; a program that lists at once may have
    // missed it. Now it is complete, as after the kernel's and udev's work,
    // and answers requests: a program that opens it on hearing this must
    // not find it unplugged, with no event to follow.
    device.Connected(node.devNode);
    umockdev_testbed_uevent(bed_, hidrawPath.c_str(), "change");
  }

  void Disconnect(EmulatedHidDevice& device) {
    Node& node = nodes_.at(device.index_);
    // As the kernel does: programs that watch for devices hear of it, the
    // node first, then the USB device.
    umockdev_testbed_uevent(bed_, node.hidrawPath.c_str(), "remove");
    umockdev_testbed_uevent(bed_, node.usbPath.c_str(), "remove");
    // The handler stays on the node (see Connect): it answers ENODEV from
    // now on, as the kernel does on the node of an unplugged device.
    umockdev_testbed_remove_device(bed_, node.usbPath.c_str());
    // umockdev leaves the node and the links to the removed devices behind;
    // the device could not be added again under the same names.
    for (const std::string& path : node.links) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }

 private:
  struct Node {
    std::string usbPath;             // sysfs path of the USB device, /sys/devices/...
    std::string devNode;             // /dev/hidrawN
    std::string hidrawPath;          // sysfs path of the hidraw node
    std::string keyboardNode;        // a reader's evdev node, /dev/input/eventN
    std::vector<std::string> links;  // what an unplug removes from the testbed's folder
    UMockdevIoctlBase* handler = nullptr;
    EmulatedHidDevice* device = nullptr;
  };

  // The reader's second interface, the keyboard that types card numbers:
  // an input device with its evdev node, under the same USB device. Only
  // its place in sysfs is emulated (for finding it), not its events.
  void AddKeyboardSide(Node& node, const std::string& usbName, unsigned connection) {
    const std::string interfacePath = Take(umockdev_testbed_add_device(
        bed_, "usb", (usbName + ":1.1").c_str(), node.usbPath.c_str(),
        // attributes
        "bInterfaceNumber", "01", "bInterfaceClass", "03", "bInterfaceSubClass", "01",
        "bInterfaceProtocol", "01", nullptr,
        // properties
        "DEVTYPE", "usb_interface", "INTERFACE", "3/1/1", nullptr));
    const std::string inputName = "input" + std::to_string(connection);
    const std::string inputPath = Take(umockdev_testbed_add_device(
        bed_, "input", inputName.c_str(), interfacePath.c_str(),
        // attributes
        "name", "Emulated card reader keyboard", nullptr,
        // properties
        "ID_INPUT", "1", "ID_INPUT_KEYBOARD", "1", nullptr));
    const std::string eventName = "event" + std::to_string(connection);
    const std::string record = "P: " + inputPath.substr(std::strlen("/sys")) + "/" + eventName +
                               "\nN: input/" + eventName + "\nE: SUBSYSTEM=input\nE: DEVNAME=input/" +
                               eventName + "\nE: ID_INPUT=1\nE: ID_INPUT_KEYBOARD=1\n";
    GError* error = nullptr;
    if (interfacePath.empty() || inputPath.empty() ||
        !umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
      Fail("cannot add the keyboard side of " + usbName, error);
    }
    node.keyboardNode = "/dev/input/" + eventName;
    for (const std::string& link : {"/dev/input/" + eventName, "/sys/class/input/" + inputName,
                                    "/sys/class/input/" + eventName, "/sys/bus/usb/devices/" + usbName + ":1.1"}) {
      node.links.push_back(root_ + link);
    }
  }

  // hidapi's libudev compares the number that fstat gives for the open node
  // (the pty's) with the one that the faked stat and sysfs give: all of them
  // must be the pty's number, or the device is refused.
  void GiveRealDeviceNumber(Node& node, const std::string& hidrawPath,
                            const std::string& nodeName) {
    const int master = umockdev_testbed_get_dev_fd(bed_, node.devNode.c_str());
    char slave[128];
    struct stat status {};
    if (master < 0 || ptsname_r(master, slave, sizeof slave) != 0 || stat(slave, &status) != 0) {
      Fail("cannot find the device number of " + node.devNode, nullptr);
    }
    const std::string majorText = std::to_string(major(status.st_rdev));
    const std::string minorText = std::to_string(minor(status.st_rdev));
    const std::string number = majorText + ":" + minorText;
    umockdev_testbed_set_attribute(bed_, hidrawPath.c_str(), "dev", number.c_str());
    umockdev_testbed_set_property(bed_, hidrawPath.c_str(), "MAJOR", majorText.c_str());
    umockdev_testbed_set_property(bed_, hidrawPath.c_str(), "MINOR", minorText.c_str());

    namespace fs = std::filesystem;
    const std::string numberLink = root_ + "/dev/.node/" + nodeName;
    const std::string charLink = root_ + "/sys/dev/char/" + number;
    fs::create_directories(fs::path(numberLink).parent_path());
    fs::create_directories(fs::path(charLink).parent_path());
    std::error_code ignored;
    fs::remove(numberLink, ignored);
    fs::remove(charLink, ignored);
    fs::create_symlink(number, numberLink);
    fs::create_symlink("../../" + hidrawPath.substr(std::strlen("/sys/")), charLink);
    node.links.push_back(numberLink);
    node.links.push_back(charLink);
  }

  // Runs on umockdev's thread for every ioctl on a device's node.
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto& device = *static_cast<EmulatedHidDevice*>(data);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (_IOC_TYPE(request) != 'H') return FALSE;  // umockdev fails it with ENOTTY

    const std::size_t size = _IOC_SIZE(request);
    GError* error = nullptr;
    UMockdevIoctlData* const buffer =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (buffer == nullptr) {
      if (error != nullptr) g_error_free(error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return TRUE;
    }
    // The node of an earlier plug stays answered, as unplugged.
    const gchar* const node = umockdev_ioctl_client_get_devnode(client);
    const auto [result, errorNumber] =
        device.Serves(node != nullptr ? node : "")
            ? Answer(device, _IOC_NR(request), buffer->data, size)
            : std::pair<long, int>{-1, ENODEV};
    g_object_unref(buffer);
    umockdev_ioctl_client_complete(client, errorNumber == 0 ? result : -1, errorNumber);
    return TRUE;
  }

  // Carries out one hidraw request on the caller's buffer (already copied
  // here; umockdev copies it back). Gives the ioctl's result and errno.
  static std::pair<long, int> Answer(EmulatedHidDevice& device, unsigned number,
                                     std::uint8_t* buffer, std::size_t size) {
    switch (number) {
      case _IOC_NR(HIDIOCGRDESCSIZE): {
        if (const int error = device.HandleOpen(); error != 0) return {-1, error};
        const int descriptorSize = static_cast<int>(kReportDescriptor.size());
        std::memcpy(buffer, &descriptorSize, std::min(size, sizeof descriptorSize));
        return {0, 0};
      }
      case _IOC_NR(HIDIOCGRDESC): {
        hidraw_report_descriptor descriptor{};
        std::memcpy(&descriptor, buffer, std::min(size, sizeof descriptor));
        descriptor.size = std::min<__u32>(descriptor.size, kReportDescriptor.size());
        std::copy_n(kReportDescriptor.begin(), descriptor.size, descriptor.value);
        std::memcpy(buffer, &descriptor, std::min(size, sizeof descriptor));
        return {0, 0};
      }
      case _IOC_NR(HIDIOCGRAWINFO): {
        hidraw_devinfo info{};
        info.bustype = BUS_USB;
        info.vendor = static_cast<__s16>(device.vendorId_);
        info.product = static_cast<__s16>(device.productId_);
        std::memcpy(buffer, &info, std::min(size, sizeof info));
        return {0, 0};
      }
      case _IOC_NR(HIDIOCSFEATURE(0)): {
        FeatureReport report{};
        std::copy_n(buffer, std::min(size, report.size()), report.begin());
        if (const int error = device.HandleSetFeature(report); error != 0) return {-1, error};
        return {static_cast<long>(size), 0};
      }
      case _IOC_NR(HIDIOCGFEATURE(0)): {
        FeatureReport report{};
        report[0] = buffer[0];  // the report id asked for
        std::size_t delivered = report.size();
        if (const int error = device.HandleGetFeature(report, delivered); error != 0) return {-1, error};
        const std::size_t count = std::min(size, delivered);
        std::copy_n(report.begin(), count, buffer);
        return {static_cast<long>(count), 0};
      }
      default:
        return {-1, EINVAL};
    }
  }

  UMockdevTestbed* bed_;
  std::string root_;
  std::vector<Node> nodes_;  // by device index
  unsigned connections_ = 0;
};

// --- EmulatedHidDevice ------------------------------------------------------

EmulatedHidDevice::EmulatedHidDevice(Testbed& testbed, std::size_t index, std::uint16_t vendorId,
                                     std::uint16_t productId, DeviceStrings strings)
    : testbed_(testbed), index_(index), vendorId_(vendorId), productId_(productId), strings_(std::move(strings)) {}

EmulatedHidDevice::~EmulatedHidDevice() = default;

std::string EmulatedHidDevice::UsbName() const { return "1-" + std::to_string(index_ + 1); }

std::string EmulatedHidDevice::NodePath() const {
  std::lock_guard lock(mutex_);
  return nodePath_;
}

int EmulatedHidDevice::Opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

std::vector<FeatureRequest> EmulatedHidDevice::FeatureRequests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<ReceivedReport> EmulatedHidDevice::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

void EmulatedHidDevice::ClearRecords() {
  std::lock_guard lock(mutex_);
  opens_ = 0;
  requests_.clear();
  reports_.clear();
  failingRequests_.clear();
  shortAnswers_.clear();
}

void EmulatedHidDevice::FailRequest(int n, int number) {
  std::lock_guard lock(mutex_);
  failingRequests_[n] = number;
}

void EmulatedHidDevice::ShortenAnswer(int n, int bytes) {
  std::lock_guard lock(mutex_);
  shortAnswers_[n] = bytes;
}

void EmulatedHidDevice::SetReportObserver(ReportObserver observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void EmulatedHidDevice::FailOpens(bool fail) {
  std::lock_guard lock(mutex_);
  failOpens_ = fail;
}

void EmulatedHidDevice::Unplug() {
  {
    std::lock_guard lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
  }
  testbed_.Disconnect(*this);
}

void EmulatedHidDevice::Plug() {
  if (!IsPlugged()) testbed_.Connect(*this);
}

void EmulatedHidDevice::Connected(const std::string& node) {
  std::lock_guard lock(mutex_);
  nodePath_ = node;
  plugged_ = true;
}

bool EmulatedHidDevice::Serves(const std::string& node) const {
  std::lock_guard lock(mutex_);
  return plugged_ && node == nodePath_;
}

bool EmulatedHidDevice::IsPlugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

int EmulatedHidDevice::OnSetFeature(const FeatureReport& report, ReceivedReport& received) {
  received.kind = ReportKind::kUnknown;
  received.bytes = report;
  return 0;
}

int EmulatedHidDevice::OnGetFeature(FeatureReport& report) {
  std::fill(report.begin() + 1, report.end(), 0);
  return 0;
}

int EmulatedHidDevice::HandleOpen() {
  std::lock_guard lock(mutex_);
  ++opens_;
  return failOpens_ ? EIO : 0;
}

int EmulatedHidDevice::HandleSetFeature(const FeatureReport& report) {
  ReceivedReport received;
  ReportObserver observer;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(FeatureRequest::kSet);
    if (const auto failing = failingRequests_.find(static_cast<int>(requests_.size()));
        failing != failingRequests_.end()) {
      return failing->second;
    }
    if (const int error = OnSetFeature(report, received); error != 0) return error;
    reports_.push_back(received);
    observer = observer_;
  }
  // Outside the lock, so that the observer may look at the device.
  if (observer) observer(received);
  return 0;
}

int EmulatedHidDevice::HandleGetFeature(FeatureReport& report, std::size_t& delivered) {
  std::lock_guard lock(mutex_);
  requests_.push_back(FeatureRequest::kGet);
  const int n = static_cast<int>(requests_.size());
  if (const auto failing = failingRequests_.find(n); failing != failingRequests_.end()) {
    return failing->second;
  }
  if (const auto shortened = shortAnswers_.find(n); shortened != shortAnswers_.end()) {
    delivered = static_cast<std::size_t>(shortened->second);
  }
  return OnGetFeature(report);
}

// --- EmulatedReader ---------------------------------------------------------

namespace {

constexpr std::uint8_t kOpenNoticeKind = 0x12;
constexpr std::uint8_t kCloseNoticeKind = 0x13;

ReaderFrame Acknowledgement(std::uint8_t command, std::uint8_t length) {
  return {kControlFrameMark, kCommandHeaderKind, command, length, 0, 0, 0, 0};
}

}  // namespace

EmulatedReader::EmulatedReader(Testbed& testbed, std::size_t index, DeviceStrings strings)
    : EmulatedHidDevice(testbed, index, kReaderVendorId, kReaderProductId, std::move(strings)) {}

std::string EmulatedReader::KeyboardNode() const { return Bed().KeyboardNode(*this); }

ReaderParameterBlock EmulatedReader::Settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void EmulatedReader::SetBehaviour(ReaderBehaviour behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
}

int EmulatedReader::OnSetFeature(const FeatureReport& report, ReceivedReport& received) {
  if (behaviour_ == ReaderBehaviour::kStall) return EPIPE;
  received.bytes = report;
  ReaderFrame frame;
  std::copy(report.begin() + 1, report.end(), frame.begin());

  // While a command's data is due, every report is its next chunk.
  if (chunksReceived_ < chunksExpected_) {
    received.kind = ReportKind::kDataChunk;
    received.command = command_;
    received.length = length_;
    received.chunk = chunksReceived_++;
    data_.insert(data_.end(), frame.begin(), frame.end());
    if (command_ != kWriteParametersCommand) answer_ = Acknowledgement(command_, length_);
    if (chunksReceived_ == chunksExpected_ && command_ == kWriteParametersCommand &&
        length_ >= ReaderParameterBlock::kSize) {
      settings_ = {data_[0], data_[1], data_[2], data_[3], data_[4]};
    }
    return 0;
  }

  received.kind = ReportKind::kUnknown;
  if (report[0] != 0 || frame[0] != kControlFrameMark) return 0;
  switch (frame[1]) {
    case kCommandHeaderKind:
      received.kind = ReportKind::kHeader;
      received.command = frame[2];
      received.length = frame[3];
      answer_ = Acknowledgement(frame[2], frame[3]);
      // A refused header, or one answered with a status, starts nothing.
      if (behaviour_ != ReaderBehaviour::kRefuse && behaviour_ != ReaderBehaviour::kStatus) {
        command_ = frame[2];
        length_ = frame[3];
        chunksExpected_ = (length_ + 7) / 8;
        chunksReceived_ = 0;
        data_.clear();
      }
      break;
    case kOpenNoticeKind:
    case kCloseNoticeKind:
      received.kind =
          frame[1] == kOpenNoticeKind ? ReportKind::kOpenNotice : ReportKind::kCloseNotice;
      answer_ = {kControlFrameMark, frame[1], 0, 0, 0, 0, 0, 0};
      break;
    default:
      break;
  }
  return 0;
}

int EmulatedReader::OnGetFeature(FeatureReport& report) {
  ReaderFrame answer = answer_;
  switch (behaviour_) {
    case ReaderBehaviour::kStall: return EPIPE;
    case ReaderBehaviour::kRefuse: answer.fill(kRefusalByte); break;
    case ReaderBehaviour::kStatus: answer[4] = kStatusByte; break;
    case ReaderBehaviour::kGarbage: answer = kGarbageAnswer; break;
    case ReaderBehaviour::kNormal: break;
  }
  std::copy(answer.begin(), answer.end(), report.begin() + 1);
  return 0;
}

// --- EmulatedHidBus ---------------------------------------------------------

EmulatedHidBus::EmulatedHidBus() : testbed_(std::make_unique<Testbed>()) {}

EmulatedHidBus::~EmulatedHidBus() {
  // The testbed goes first: once it is gone, no request reaches a device.
  testbed_.reset();
}

bool EmulatedHidBus::IsActive() const { return umockdev_in_mock_environment(); }

EmulatedReader& EmulatedHidBus::AddReader(DeviceStrings strings) {
  if (devices_.size() >= kMaxDevices) throw std::length_error("emulated HID bus: bus full");
  devices_.push_back(
      std::unique_ptr<EmulatedReader>(new EmulatedReader(*testbed_, devices_.size(), std::move(strings))));
  devices_.back()->Plug();
  return static_cast<EmulatedReader&>(*devices_.back());
}

EmulatedHidDevice& EmulatedHidBus::AddOtherDevice(std::uint16_t vendorId,
                                                  std::uint16_t productId) {
  if (devices_.size() >= kMaxDevices) throw std::length_error("emulated HID bus: bus full");
  devices_.push_back(std::unique_ptr<EmulatedHidDevice>(
      new EmulatedHidDevice(*testbed_, devices_.size(), vendorId, productId)));
  devices_.back()->Plug();
  return *devices_.back();
}

}  // namespace rdrconf::emulated
