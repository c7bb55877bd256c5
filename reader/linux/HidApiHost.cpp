#include "reader/linux/HidApiHost.h"

#include <fcntl.h>
#include <hidapi.h>
#include <libudev.h>
#include <linux/input.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <optional>
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

std::string Text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }

// The interface of one hidraw node, from what udev knows of it; nothing is
// opened. std::nullopt for a node whose HID device cannot be read: it is
// going away (unplugged while the listing runs).
//
// The listing is udev's rather than hidapi's: hidapi 0.13 reads the HID
// device's uevent unchecked and crashes when a device goes between two of
// its reads, and a watch or a window lists on every hot-plug event, just
// when devices come and go. It also turns the texts into wchar_t through
// the C library's locale, so that a program that never set its locale (the
// command line) got nothing for a serial "RDR-Ä1" or a product "读卡器" and
// recorded the reader under another key than the window; udev gives the
// bytes as the device gave them, UTF-8.
std::optional<HidInterfaceInfo> InterfaceOf(udev_device* node) {
  const char* path = udev_device_get_devnode(node);
  // The parents belong to the node and are released with it.
  udev_device* const hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
  const char* ids = hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
  unsigned bus = 0, vendor = 0, product = 0;
  if (path == nullptr || ids == nullptr || std::sscanf(ids, "%x:%x:%x", &bus, &vendor, &product) != 3) {
    return std::nullopt;
  }
  HidInterfaceInfo info;
  info.path = path;
  info.vendorId = static_cast<std::uint16_t>(vendor);
  info.productId = static_cast<std::uint16_t>(product);
  info.serialNumber = Text(udev_device_get_property_value(hid, "HID_UNIQ"));
  udev_device* const usb =
      bus == BUS_USB ? udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device") : nullptr;
  if (usb == nullptr) {
    info.product = Text(udev_device_get_property_value(hid, "HID_NAME"));
    return info;
  }
  info.usbPort = Text(udev_device_get_sysname(usb));  // "1-1.4"
  info.manufacturer = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
  info.product = Text(udev_device_get_sysattr_value(usb, "product"));
  if (info.serialNumber.empty()) info.serialNumber = Text(udev_device_get_sysattr_value(usb, "serial"));
  if (udev_device* const usbInterface = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface")) {
    const std::string number = Text(udev_device_get_sysattr_value(usbInterface, "bInterfaceNumber"));
    if (!number.empty()) info.interfaceNumber = static_cast<int>(std::strtol(number.c_str(), nullptr, 16));
  }
  return info;
}

}  // namespace

HidApiHost::HidApiHost() : initialised_(hid_init() == 0), udev_(udev_new()) {}

HidApiHost::~HidApiHost() {
  if (udev_ != nullptr) udev_unref(udev_);
  if (initialised_) hid_exit();
}

std::optional<std::vector<HidInterfaceInfo>> HidApiHost::ListInterfaces(HidError& error) {
  udev_enumerate* const nodes = udev_ != nullptr ? udev_enumerate_new(udev_) : nullptr;
  if (nodes == nullptr || udev_enumerate_add_match_subsystem(nodes, "hidraw") < 0 ||
      udev_enumerate_scan_devices(nodes) < 0) {
    const int number = errno;
    if (nodes != nullptr) udev_enumerate_unref(nodes);
    error = {number, std::string("cannot list the HID devices through udev: ") +
                         (number != 0 ? std::strerror(number) : "udev is not available")};
    return std::nullopt;
  }
  // In the order of their sysfs paths, as hidapi lists them.
  std::vector<HidInterfaceInfo> interfaces;
  for (udev_list_entry* entry = udev_enumerate_get_list_entry(nodes); entry != nullptr;
       entry = udev_list_entry_get_next(entry)) {
    udev_device* const node = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
    if (node == nullptr) continue;  // gone since the scan
    if (std::optional<HidInterfaceInfo> info = InterfaceOf(node)) interfaces.push_back(*std::move(info));
    udev_device_unref(node);
  }
  udev_enumerate_unref(nodes);
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
