// test: what the reader types for a card, read on its keyboard side, which
// is held for this program alone meanwhile.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>

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
  return kExitInternal;
}

void DefineTest(CLI::App& command, Options& options) {
  AddReaderOption(command, options);
  command.add_option("-t,--timeout", options.timeout, "Seconds to wait for a card")
      ->check(CLI::Range(0.1, 3600.0))
      ->capture_default_str();
  AddOutputFlags(command, options);
}

int RunTest(Context& context) {
  Output& output = context.output;
  KeyboardSource* keyboard = context.environment.keyboard();
  if (keyboard == nullptr) {
    output.Error("the test scan needs the reader's keyboard side, which cannot be read here");
    return kExitInternal;
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
  const double timeoutSeconds = context.options.timeout;
  output.Note("hold a card to the reader " + ReaderName(target) + " (reading " + *node + " for up to " +
              std::to_string(static_cast<int>(timeoutSeconds)) + " s)");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  const int stop = context.environment.stopDescriptor;
  ScanDecoder decoder;
  bool complete = false;
  while (!complete) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 && decoder.Empty()) break;
    const int wait = decoder.Empty() ? static_cast<int>(left.count()) : kQuietMs;
    if (platform::WaitReadable(keyboard->Descriptor(), stop, wait) != platform::WaitResult::kReady) {
      if (platform::StopRequested(stop) || !decoder.Empty()) break;  // stopped, or the keys stopped
      continue;
    }
    for (const TypedKey& key : keyboard->Read()) complete = decoder.Feed(key) || complete;
  }

  if (decoder.Empty()) {
    output.Error(ReaderName(target) + ": no card within " + std::to_string(static_cast<int>(timeoutSeconds)) + " s");
    output.Print(Json{{"outcome", "timeout"}, {"reader", ReaderJson(target)}});
    return kExitTimeout;
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
