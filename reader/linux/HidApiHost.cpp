#include "reader/linux/HidApiHost.h"

#include <fcntl.h>
#include <hidapi.h>
#include <libudev.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <sstream>

#include "platform/Text.h"

namespace rdrconf {
namespace {

// hidapi gives its strings as wchar_t, which holds code points here.
std::string Utf8(const wchar_t* text) { return text == nullptr ? std::string() : platform::Utf8(text); }

// One opened interface: hidapi's device and the descriptor that holds the
// node's lock.
struct OpenInterface {
  hid_device* device;
  int lock;
};

OpenInterface& AsOpen(HidDeviceToken token) { return *reinterpret_cast<OpenInterface*>(token); }

// hidapi's own text for the last failure on `device` (or of the last open),
// with the errno that the system call left.
HidError LastError(hid_device* device, int number) {
  std::string text = Utf8(hid_error(device));
  if (text.empty() || text == "Success") text = number != 0 ? std::strerror(number) : "unknown error";
  return {number, text};
}

// What udev knows of a hidraw node's device: the HID device's serial
// number (its HID_UNIQ) and the USB device's names and port ("1-1.4", the
// sysfs name of the USB device). hidapi reads the same texts but turns them
// into wchar_t through the C library's locale: a program that never set its
// locale (the command line) would get nothing for a serial "RDR-Ä1" or a
// product "读卡器", and record the reader under another key than the window
// does. udev gives the bytes as the device gave them, UTF-8.
struct DeviceStrings {
  std::string serialNumber;
  std::string manufacturer;
  std::string product;
  std::string usbPort;
};

DeviceStrings StringsOf(struct udev* udev, const std::string& path) {
  DeviceStrings strings;
  if (udev == nullptr) return strings;
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  udev_device* node = udev_device_new_from_subsystem_sysname(udev, "hidraw", name.c_str());
  if (node == nullptr) return strings;
  const auto text = [](const char* value) { return value != nullptr ? std::string(value) : std::string(); };
  // The parents belong to the node and are released with it.
  if (udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr)) {
    strings.serialNumber = text(udev_device_get_property_value(hid, "HID_UNIQ"));
  }
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device")) {
    strings.usbPort = text(udev_device_get_sysname(usb));
    strings.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
    strings.product = text(udev_device_get_sysattr_value(usb, "product"));
  }
  udev_device_unref(node);
  return strings;
}

}  // namespace

HidApiHost::HidApiHost() : initialised_(hid_init() == 0), udev_(udev_new()) {}

HidApiHost::~HidApiHost() {
  if (udev_ != nullptr) udev_unref(udev_);
  if (initialised_) hid_exit();
}

std::optional<std::vector<HidInterfaceInfo>> HidApiHost::ListInterfaces(HidError& error) {
  if (!initialised_) {
    error = LastError(nullptr, 0);
    return std::nullopt;
  }
  std::vector<HidInterfaceInfo> interfaces;
  // hidapi answers both "nothing present" and "listing failed" with an empty
  // list; either way there is no reader to find.
  hid_device_info* const first = hid_enumerate(0, 0);
  for (const hid_device_info* info = first; info != nullptr; info = info->next) {
    HidInterfaceInfo interface;
    interface.path = info->path ? info->path : "";
    interface.vendorId = info->vendor_id;
    interface.productId = info->product_id;
    interface.interfaceNumber = info->interface_number;
    const DeviceStrings strings = StringsOf(udev_, interface.path);
    const auto either = [](const std::string& udevText, const wchar_t* hidapiText) {
      return udevText.empty() ? Utf8(hidapiText) : udevText;
    };
    interface.serialNumber = either(strings.serialNumber, info->serial_number);
    interface.manufacturer = either(strings.manufacturer, info->manufacturer_string);
    interface.product = either(strings.product, info->product_string);
    if (info->bus_type == HID_API_BUS_USB) interface.usbPort = strings.usbPort;
    interfaces.push_back(std::move(interface));
  }
  hid_free_enumeration(first);
  return interfaces;
}

bool HidApiHost::MayOpen(const std::string& path) { return access(path.c_str(), R_OK | W_OK) == 0; }

bool HidApiHost::HeldByAnotherProgram(const std::string& path) {
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return false;
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                static_cast<unsigned long>(node.st_ino));
  // The kernel's table of locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:567 0 EOF"
  // for a lock that process 1234 holds on inode 567 of device 00:05.
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, type, advisory, mode, file;
    long pid = 0;
    if (!(fields >> number >> type >> advisory >> mode >> pid >> file)) continue;
    if (type == "FLOCK" && file == id && pid != getpid()) return true;
  }
  return false;
}

HidDeviceToken HidApiHost::Open(const std::string& path, HidError& error) {
  if (!initialised_) {
    error = LastError(nullptr, 0);
    return 0;
  }
  // The lock comes first, on a descriptor of our own: hidapi does not show
  // its descriptor, and this open also tells "permission denied" and "gone"
  // apart with the system's own errno.
  const int lock = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (lock < 0) {
    const int number = errno;
    error = {number, "cannot open " + path + ": " + std::strerror(number)};
    return 0;
  }
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
    const int number = errno;
    close(lock);
    error = {number, number == EWOULDBLOCK ? path + " is held by another program"
                                           : "cannot lock " + path + ": " + std::strerror(number)};
    return 0;
  }
  errno = 0;
  hid_device* const device = hid_open_path(path.c_str());
  if (device == nullptr) {
    error = LastError(nullptr, errno);
    close(lock);
    return 0;
  }
  return reinterpret_cast<HidDeviceToken>(new OpenInterface{device, lock});
}

bool HidApiHost::SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) {
  hid_device* const hid = AsOpen(device).device;
  errno = 0;
  if (hid_send_feature_report(hid, report.data(), report.size()) >= 0) return true;
  error = LastError(hid, errno);
  return false;
}

int HidApiHost::GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) {
  hid_device* const hid = AsOpen(device).device;
  errno = 0;
  const int got = hid_get_feature_report(hid, report.data(), report.size());
  if (got < 0) error = LastError(hid, errno);
  return got;
}

void HidApiHost::Close(HidDeviceToken device) {
  OpenInterface* const open = &AsOpen(device);
  hid_close(open->device);
  close(open->lock);  // releases the lock
  delete open;
}

}  // namespace rdrconf
