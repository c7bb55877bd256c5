// test: what the reader types for a card, read on its keyboard side, which
// is held for this program alone meanwhile.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"
#include "platform/Waiting.h"

namespace rdrconf::cli {
namespace {

// A number without Enter ends when the keys stop for this long.
constexpr int kQuietMs = 600;

// Lets go of the keyboard side on every way out.
class Held {
 public:
  explicit Held(KeyboardSource& keyboard) : keyboard_(keyboard) {}
  ~Held() { keyboard_.Release(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  KeyboardSource& keyboard_;
};

int CodeOfScanFailure(int number) {
  if (number == EACCES || number == EPERM) return kExitDenied;
  if (number == EBUSY || number == EWOULDBLOCK) return kExitBusy;
  return kExitFailed;
}

// The longest and the shortest wait for a card, in seconds.
constexpr double kLongestTimeout = 3600;
constexpr double kShortestTimeout = 0.1;

// A time in seconds that the scan can wait: a finite number in range.
// (CLI11's range check lets NaN through, since every comparison with it is
// false, and its conversion takes "inf" and "nan".)
const CLI::Validator& TimeoutValidator() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const double seconds = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(seconds)) return "\"" + text + "\" is not a number";
        if (seconds < kShortestTimeout || seconds > kLongestTimeout) {
          return "\"" + text + "\" is out of range: the scan waits 0.1 to 3600 seconds";
        }
        return {};
      },
      "");
  return validator;
}

// "0.5 s", "30 s", "1.25 s": whole milliseconds, the time the scan waits.
std::string SecondsText(long long milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  if (const long long rest = milliseconds % 1000; rest != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03lld", rest);
    text += fraction;
    text.erase(text.find_last_not_of('0') + 1);
  }
  return text + " s";
}

void DefineTest(CLI::App& command, Options& options) {
  AddReaderOption(command, options);
  command.add_option("-t,--timeout", options.timeout, "Seconds to wait for a card, 0.1 to 3600")
      ->type_name("SECONDS")
      ->check(TimeoutValidator())
      ->capture_default_str();
  AddOutputFlags(command, options);
}

// How a scan ended.
enum class ScanEnd { kCard, kTimedOut, kStopped, kUnplugged };

// Reads keys until a card's number is complete (Enter, or the keys stop
// for a while), the time runs out, the program is asked to stop or the
// keyboard side goes away with its reader.
ScanEnd Scan(KeyboardSource& keyboard, int stop, long long timeoutMs, ScanDecoder& decoder) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = kQuietMs;
    if (decoder.Empty()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return ScanEnd::kTimedOut;
      wait = static_cast<int>(left.count());
    }
    switch (platform::WaitReadable(keyboard.Descriptor(), stop, wait)) {
      case platform::WaitResult::kReady:
        for (const TypedKey& key : keyboard.Read()) {
          if (decoder.Feed(key)) return ScanEnd::kCard;
        }
        break;
      case platform::WaitResult::kTimedOut:
        if (!decoder.Empty()) return ScanEnd::kCard;  // a number without Enter
        break;
      case platform::WaitResult::kStopped: return ScanEnd::kStopped;
      case platform::WaitResult::kGone: return ScanEnd::kUnplugged;
    }
  }
}

// What a scan that ended without a card says, and exits with.
struct Ending {
  int code;
  const char* outcome;  // for the JSON
  std::string words;
};

Ending EndingOf(ScanEnd end, const std::string& timeout) {
  switch (end) {
    case ScanEnd::kUnplugged: return {kExitNoReader, "unplugged", "the reader was unplugged"};
    case ScanEnd::kStopped: return {kExitInterrupted, "interrupted", "the scan was interrupted before a card came"};
    default: return {kExitTimeout, "timeout", "no card within " + timeout};
  }
}

int RunTest(Context& context) {
  Output& output = context.output;
  KeyboardSource* keyboard = context.environment.keyboard();
  if (keyboard == nullptr) {
    output.Error("the test scan needs the reader's keyboard side, which cannot be read here");
    return kExitNotSetUp;
  }
  const Targets targets = SelectTargets(context, false);
  if (targets.code != kExitDone) return targets.code;
  const ReaderIdentity& target = targets.readers.front();

  const std::optional<std::string> node = keyboard->FindNode(target.hid.path);
  if (!node) {
    output.Error(ReaderName(target) + ": its keyboard side (an input device under the same USB device) was not found");
    output.Print(Json{{"outcome", "no_keyboard"}, {"reader", ReaderJson(target)}});
    return kExitNoReader;
  }
  HidError error;
  if (!keyboard->Open(*node, error)) {
    const int code = CodeOfScanFailure(error.number);
    output.Error(ReaderName(target) + ": " + error.text +
                 (code == kExitDenied ? "\n  Install the package's udev rule (or join group plugdev), then unplug the "
                                        "reader and plug it in again; rdrconf-cli doctor says more."
                                      : ""));
    output.Print(Json{{"outcome", code == kExitDenied ? "denied" : code == kExitBusy ? "busy" : "failed"},
                      {"reader", ReaderJson(target)},
                      {"message", error.text}});
    return code;
  }
  const Held held(*keyboard);
  // poll() counts whole milliseconds.
  const long long timeoutMs = std::llround(context.options.timeout * 1000);
  const std::string timeout = SecondsText(timeoutMs);
  output.Note("hold a card to the reader " + ReaderName(target) + " (reading " + Printable(*node) + " for up to " +
              timeout + ")");

  ScanDecoder decoder;
  const ScanEnd end = Scan(*keyboard, context.environment.stopDescriptor, timeoutMs, decoder);
  // Keys typed before the reader went or the program was stopped make no
  // whole number: only the end is reported.
  if (end != ScanEnd::kCard) {
    const Ending ending = EndingOf(end, timeout);
    output.Error(ReaderName(target) + ": " + ending.words);
    output.Print(Json{{"outcome", ending.outcome}, {"reader", ReaderJson(target)}});
    return ending.code;
  }
  const ScanResult card = decoder.Take();
  output.Say(card.text + " (" + std::to_string(card.count) + " characters, " + (card.enter ? "Enter" : "no Enter") + ")");
  output.Print(Json{{"outcome", "scanned"},
                    {"reader", ReaderJson(target)},
                    {"text", card.text},
                    {"count", card.count},
                    {"enter", card.enter}});
  return kExitDone;
}

}  // namespace

CommandEntry TestCommand() {
  return {"test", "Test a card: read what the reader types on its keyboard side, held for this program alone",
          DefineTest, RunTest};
}

}  // namespace rdrconf::cli
