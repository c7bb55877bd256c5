#include "reader/linux/EvdevKeyboard.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <libudev.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rdrconf {
namespace {

// The character a key stands for on a reader's number, when it is one.
char KeyCharacter(unsigned code) {
  switch (code) {
    case KEY_1: case KEY_KP1: return '1';
    case KEY_2: case KEY_KP2: return '2';
    case KEY_3: case KEY_KP3: return '3';
    case KEY_4: case KEY_KP4: return '4';
    case KEY_5: case KEY_KP5: return '5';
    case KEY_6: case KEY_KP6: return '6';
    case KEY_7: case KEY_KP7: return '7';
    case KEY_8: case KEY_KP8: return '8';
    case KEY_9: case KEY_KP9: return '9';
    case KEY_0: case KEY_KP0: return '0';
    case KEY_A: return 'A';
    case KEY_B: return 'B';
    case KEY_C: return 'C';
    case KEY_D: return 'D';
    case KEY_E: return 'E';
    case KEY_F: return 'F';
    default: return 0;
  }
}

bool IsModifier(unsigned code) {
  switch (code) {
    case KEY_LEFTSHIFT: case KEY_RIGHTSHIFT: case KEY_LEFTCTRL: case KEY_RIGHTCTRL:
    case KEY_LEFTALT: case KEY_RIGHTALT: case KEY_LEFTMETA: case KEY_RIGHTMETA:
    case KEY_CAPSLOCK: case KEY_NUMLOCK:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<TypedKey> TypedKeyOf(const input_event& event) {
  // A key counts once, when it goes down; releases and repeats do not.
  if (event.type != EV_KEY || event.value != 1 || IsModifier(event.code)) return std::nullopt;
  TypedKey key;
  if (event.code == KEY_ENTER || event.code == KEY_KPENTER) {
    key.kind = TypedKey::Kind::kEnter;
  } else if (const char c = KeyCharacter(event.code)) {
    key.kind = TypedKey::Kind::kCharacter;
    key.character = c;
  } else {
    const char* name = libevdev_event_code_get_name(EV_KEY, event.code);
    key.name = name ? name : "KEY_" + std::to_string(event.code);
  }
  return key;
}

EvdevKeyboard::~EvdevKeyboard() { Release(); }

bool EvdevKeyboard::Open(const std::string& node, HidError& error) {
  Release();
  fd_ = open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    const int number = errno;
    error = {number, "cannot open " + node + ": " + std::strerror(number)};
    return false;
  }
  int result = libevdev_new_from_fd(fd_, &device_);
  if (result == 0) {
    result = libevdev_grab(device_, LIBEVDEV_GRAB);
    if (result != 0) {
      libevdev_free(device_);
      device_ = nullptr;
    }
  }
  if (result != 0) {
    error = {-result, "cannot take " + node + " for the scan: " + std::strerror(-result)};
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

std::vector<TypedKey> EvdevKeyboard::Read() {
  std::vector<TypedKey> keys;
  if (device_ == nullptr) return keys;
  input_event event{};
  for (;;) {
    const int result = libevdev_next_event(device_, LIBEVDEV_READ_FLAG_NORMAL, &event);
    if (result == LIBEVDEV_READ_STATUS_SUCCESS) {
      if (std::optional<TypedKey> key = TypedKeyOf(event)) keys.push_back(*std::move(key));
    } else if (result == LIBEVDEV_READ_STATUS_SYNC) {
      // Events were dropped; what follows catches up with the device's
      // state, which a count of key presses does not need.
      while (libevdev_next_event(device_, LIBEVDEV_READ_FLAG_SYNC, &event) == LIBEVDEV_READ_STATUS_SYNC) {
      }
    } else {
      // The kernel hangs up the node of an unplugged device: poll says it is
      // readable for good, and every read fails with ENODEV.
      if (result == -ENODEV) gone_ = true;
      break;  // -EAGAIN: nothing more waits; anything else ends the read too
    }
  }
  return keys;
}

void EvdevKeyboard::Release() {
  gone_ = false;
  if (device_ != nullptr) {
    libevdev_grab(device_, LIBEVDEV_UNGRAB);
    libevdev_free(device_);
    device_ = nullptr;
  }
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

std::optional<std::string> EvdevKeyboard::FindNode(const std::string& hidrawPath) {
  udev* const udev = udev_new();
  if (udev == nullptr) return std::nullopt;
  std::optional<std::string> found;
  const std::string name = hidrawPath.substr(hidrawPath.rfind('/') + 1);
  udev_device* const hidraw = udev_device_new_from_subsystem_sysname(udev, "hidraw", name.c_str());
  udev_device* const usb =
      hidraw ? udev_device_get_parent_with_subsystem_devtype(hidraw, "usb", "usb_device") : nullptr;
  if (usb != nullptr) {
    udev_enumerate* const inputs = udev_enumerate_new(udev);
    udev_enumerate_add_match_subsystem(inputs, "input");
    udev_enumerate_add_match_parent(inputs, usb);
    udev_enumerate_scan_devices(inputs);
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(inputs); entry && !found;
         entry = udev_list_entry_get_next(entry)) {
      udev_device* const input = udev_device_new_from_syspath(udev, udev_list_entry_get_name(entry));
      if (input == nullptr) continue;
      const char* node = udev_device_get_devnode(input);
      if (node != nullptr && std::strncmp(node, "/dev/input/event", 16) == 0) found = node;
      udev_device_unref(input);
    }
    udev_enumerate_unref(inputs);
  }
  if (hidraw != nullptr) udev_device_unref(hidraw);
  udev_unref(udev);
  return found;
}

}  // namespace rdrconf
