#include "reader/HidApiHost.h"

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

namespace rdrconf {
namespace {

// hidapi gives its strings as wchar_t, which holds code points here.
std::string Utf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) {
    auto c = static_cast<char32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

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

// The bus and port path of the USB device above a hidraw node: the sysfs
// name of that device, such as "1-1.4".
std::string UsbPortOf(struct udev* udev, const std::string& path) {
  if (udev == nullptr) return {};
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  udev_device* node = udev_device_new_from_subsystem_sysname(udev, "hidraw", name.c_str());
  if (node == nullptr) return {};
  std::string port;
  // The parent belongs to the node and is released with it.
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device")) {
    if (const char* sysname = udev_device_get_sysname(usb)) port = sysname;
  }
  udev_device_unref(node);
  return port;
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
    interface.serialNumber = Utf8(info->serial_number);
    interface.manufacturer = Utf8(info->manufacturer_string);
    interface.product = Utf8(info->product_string);
    interface.interfaceNumber = info->interface_number;
    if (info->bus_type == HID_API_BUS_USB) interface.usbPort = UsbPortOf(udev_, interface.path);
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
