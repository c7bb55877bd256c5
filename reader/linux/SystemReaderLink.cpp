#include "reader/SystemReaderLink.h"

#include "reader/linux/EvdevKeyboard.h"
#include "reader/linux/HidApiHost.h"
#include "reader/linux/ReaderMonitor.h"

namespace rdrconf {

SystemReaderLink::SystemReaderLink() : host_(std::make_unique<HidApiHost>()) {}

SystemReaderLink::~SystemReaderLink() = default;

HotplugSource* SystemReaderLink::Hotplug() {
  if (!hotplug_) hotplug_ = std::make_unique<ReaderMonitor>();
  return hotplug_.get();
}

KeyboardSource* SystemReaderLink::Keyboard() {
  if (!keyboard_) keyboard_ = std::make_unique<EvdevKeyboard>();
  return keyboard_.get();
}

}  // namespace rdrconf
