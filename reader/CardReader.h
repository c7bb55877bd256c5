#pragma once

#include <string>
#include <vector>

#include "reader/CardScan.h"
#include "reader/HidHost.h"
#include "reader/Hotplug.h"
#include "reader/ReaderOutcome.h"
#include "reader/ReaderProtocol.h"

namespace rdrconf {

// A reader present on the host, as the listing shows it: nothing is opened
// to learn any of this.
struct ReaderIdentity {
  int index = 0;  // position among the readers present, from 0, in listing order
  HidInterfaceInfo hid;
  bool mayOpen = false;  // whether this user may open it (its permissions)
  bool held = false;     // whether another program holds it for an exchange now

  // What a person tells readers apart by: the serial number, else the USB
  // port, else the device path.
  std::string Label() const;
};

// Which reader an exchange is for: by default the first one in listing order
// that opens; or one named by its device path, its serial number or its
// index in the listing.
class ReaderSelector {
 public:
  ReaderSelector() = default;
  static ReaderSelector Path(std::string path);
  static ReaderSelector Serial(std::string serial);
  static ReaderSelector Index(int index);
  // "/dev/..." names a path; any other text names a serial number, or, when
  // no reader has that serial and it is a number, an index.
  static ReaderSelector Parse(const std::string& text);

  // The readers of `present` that this selector names (for the default
  // selector: all of them, in order).
  std::vector<ReaderIdentity> Pick(const std::vector<ReaderIdentity>& present) const;
  // For messages: "the reader /dev/hidraw2", "the reader with serial X", ...
  std::string Describe() const;

 private:
  enum class Kind { kFirst, kPath, kSerial, kIndex, kSerialOrIndex };
  ReaderSelector(Kind kind, std::string text, int index) : kind_(kind), text_(std::move(text)), index_(index) {}

  Kind kind_ = Kind::kFirst;
  std::string text_;
  int index_ = -1;
};

// What the listing alone tells of the reader that exchanges would go to.
enum class ReaderState {
  kConnected,  // present, and this user may open it
  kNoReader,   // none present, or none that the selection names
  kDenied,     // present, but this user may not open it
  kBusy,       // present, but another program holds it
};

struct ReaderStatus {
  ReaderState state = ReaderState::kNoReader;
  std::vector<ReaderIdentity> readers;  // every reader present, in listing order
  int reader = -1;                      // the one the state is about (an index into readers)
};

// A reader opened for one exchange, or the invalid handle and why not.
struct OpenedReader {
  ReaderHandle handle;
  ExchangeOutcome outcome;
};

// The way to the reader: the HID host it is reached through, and where
// there are, the news of readers coming and going and the reader's keyboard
// side for a test scan. The window and the command line each get one and
// open the reader through it for every exchange.
class CardReader {
 public:
  explicit CardReader(HidHost& host, HotplugSource* hotplug = nullptr, KeyboardSource* keyboard = nullptr)
      : host_(host), hotplug_(hotplug), keyboard_(keyboard) {}

  HotplugSource* Hotplug() const { return hotplug_; }
  KeyboardSource* Keyboard() const { return keyboard_; }

  // The readers (interfaces with the reader's vendor and product id)
  // present now, in listing order. `error` gets the reason when the listing
  // fails; the list is then empty.
  std::vector<ReaderIdentity> ListReaders(HidError* error = nullptr) const;

  // The state of the reader that `selector` names (by default the one an
  // exchange would use: the first that this user may open and no other
  // program holds), from the listing alone: nothing is opened or sent.
  ReaderStatus Status(const ReaderSelector& selector = {}) const;

  // Opens the reader that `selector` names, for one exchange. With the
  // default selector the interfaces are searched in listing order and the
  // first with the reader's ids that opens wins: interfaces with other ids
  // are never opened, and a matching one that will not open is passed
  // over, so that an interface this user cannot open never hides a usable
  // reader behind it. Gives the invalid handle when no reader opens, with
  // the outcome that says why (no reader, denied, busy, or the failed open
  // with the system's reason).
  OpenedReader Open(const ReaderSelector& selector = {}) const;
  // The same, the handle alone.
  ReaderHandle OpenReader(const ReaderSelector& selector = {}) const;

 private:
  HidHost& host_;
  HotplugSource* hotplug_;
  KeyboardSource* keyboard_;
};

}  // namespace rdrconf
