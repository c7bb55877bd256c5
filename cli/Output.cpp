#include "cli/Output.h"

#include <ostream>

#include "cli/Words.h"

namespace rdrconf::cli {

void Output::Say(const std::string& text) const {
  if (!json_ && !quiet_) out_ << text << '\n';
}

void Output::Item(const std::string& line, nlohmann::ordered_json item) {
  if (!line.empty()) Say(line);
  items_.push_back(std::move(item));
}

void Output::Finish(nlohmann::ordered_json document) {
  if (!document.contains("readers")) document["readers"] = items_;
  Print(document);
}

void Output::Print(const nlohmann::ordered_json& document) const {
  // Texts from a device may hold bytes that are not UTF-8.
  if (json_) out_ << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

void Output::Note(const std::string& text) const {
  if (!quiet_) err_ << kProgram << ": " << text << '\n';
}

void Output::Error(const std::string& text) const { err_ << kProgram << ": " << text << '\n'; }

void Output::Warn(const std::string& text) const { err_ << kProgram << ": warning: " << text << '\n'; }

std::string ReaderName(const ReaderIdentity& reader) {
  std::vector<std::string> parts;
  if (!reader.hid.serialNumber.empty()) parts.push_back("serial " + reader.hid.serialNumber);
  if (!reader.hid.usbPort.empty()) parts.push_back("USB " + reader.hid.usbPort);
  return parts.empty() ? reader.hid.path : reader.hid.path + " (" + Joined(parts, ", ") + ")";
}

nlohmann::ordered_json ReaderJson(const ReaderIdentity& reader) {
  return {{"index", reader.index},
          {"path", reader.hid.path},
          {"serial", reader.hid.serialNumber},
          {"usb_port", reader.hid.usbPort}};
}

}  // namespace rdrconf::cli
