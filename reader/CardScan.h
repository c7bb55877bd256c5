#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/HidHost.h"

struct libevdev;

namespace rdrconf {

// One key event of the reader's keyboard side, as evdev gives it.
struct KeyEvent {
  unsigned type = 0;
  unsigned code = 0;
  int value = 0;  // 1 pressed, 0 released, 2 repeated
};

// What the reader typed for one card.
struct ScanResult {
  std::string text;    // digits and A-F as characters, any other key as <NAME>
  int count = 0;       // keys typed, Enter and modifier keys not counted
  bool enter = false;  // whether Enter followed the number
};

// Turns key codes into what the reader meant, whatever the keyboard layout
// of the computer: the codes name keys, not characters.
class ScanDecoder {
 public:
  // Takes one event; true when it completed a scan (Enter).
  bool Feed(const KeyEvent& event);
  bool Empty() const { return result_.count == 0 && !result_.enter; }
  // The scan so far, and a fresh start for the next one.
  ScanResult Take();

 private:
  ScanResult result_;
};

// The reader's keyboard side: the input device the reader types card numbers
// on. While a test scan runs it is held exclusively, so that the number goes
// to the scan and not into whatever window has the focus.
class KeyboardSource {
 public:
  virtual ~KeyboardSource() = default;
  // The input node of the reader whose hidraw node is `hidrawPath`;
  // std::nullopt when it has none.
  virtual std::optional<std::string> FindNode(const std::string& hidrawPath) = 0;
  // Opens the input node and grabs it; false (with the reason) when it
  // cannot be had.
  virtual bool Open(const std::string& node, HidError& error) = 0;
  // Readable while events wait; -1 when not open.
  virtual int Descriptor() const = 0;
  // The events waiting now; never blocks.
  virtual std::vector<KeyEvent> Read() = 0;
  // Lets go of the grab and closes the node; nothing when not open.
  virtual void Release() = 0;
  virtual bool IsHeld() const = 0;
};

// KeyboardSource over libevdev on the evdev node.
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
  std::vector<KeyEvent> Read() override;
  void Release() override;
  bool IsHeld() const override { return device_ != nullptr; }

 private:
  int fd_ = -1;
  struct libevdev* device_ = nullptr;
};

}  // namespace rdrconf
