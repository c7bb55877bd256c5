#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/HidHost.h"

namespace rdrconf {

// One key the reader typed, as its keyboard side's back-end makes it out
// from the key's code (not from the computer's keyboard layout).
struct TypedKey {
  enum class Kind { kCharacter, kEnter, kOther };
  Kind kind = Kind::kOther;
  char character = 0;  // kCharacter: a digit or A-F
  std::string name;    // kOther: the key's name, "KEY_X"
};

// What the reader typed for one card.
struct ScanResult {
  std::string text;    // digits and A-F as characters, any other key as <NAME>
  int count = 0;       // keys typed, Enter not counted
  bool enter = false;  // whether Enter followed the number
};

// Gathers the keys of one card's number.
class ScanDecoder {
 public:
  // Takes one key; true when it completed a scan (Enter).
  bool Feed(const TypedKey& key);
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
  // Readable while keys wait; -1 when not open.
  virtual int Descriptor() const = 0;
  // The keys typed since the last call (presses only, modifiers left out);
  // never blocks.
  virtual std::vector<TypedKey> Read() = 0;
  // Lets go of the grab and closes the node; nothing when not open.
  virtual void Release() = 0;
  virtual bool IsHeld() const = 0;
  // True once a Read found the device gone (the reader was unplugged while
  // held): its descriptor stays readable for good and nothing more will
  // come, so the caller stops watching it and lets it go. A source that
  // cannot tell never says so.
  virtual bool IsGone() const { return false; }
};

}  // namespace rdrconf
