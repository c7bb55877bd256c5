#pragma once

#include <linux/input.h>

#include <optional>
#include <string>
#include <vector>

#include "reader/CardScan.h"

struct libevdev;

namespace rdrconf {

// The key an evdev event stands for on a reader's number: a key press of a
// digit (main row or keypad), A-F, Enter, or any other key by its name;
// std::nullopt for releases, repeats, modifier keys and other events.
std::optional<TypedKey> TypedKeyOf(const input_event& event);

// KeyboardSource over libevdev on the reader's evdev node.
class EvdevKeyboard final : public KeyboardSource {
 public:
  EvdevKeyboard() = default;
  ~EvdevKeyboard() override;
  EvdevKeyboard(const EvdevKeyboard&) = delete;
  EvdevKeyboard& operator=(const EvdevKeyboard&) = delete;

  // The evdev node ("/dev/input/event7") of the input device that sits
  // under the same USB device as the reader's hidraw node, as udev knows it.
  std::optional<std::string> FindNode(const std::string& hidrawPath) override;
  bool Open(const std::string& node, HidError& error) override;
  int Descriptor() const override { return fd_; }
  std::vector<TypedKey> Read() override;
  void Release() override;
  bool IsHeld() const override { return device_ != nullptr; }
  bool IsGone() const override { return gone_; }

 private:
  int fd_ = -1;
  bool gone_ = false;
  struct libevdev* device_ = nullptr;
};

}  // namespace rdrconf
