// rdrconf_demo: the tool's real settings window in front of an emulated card
// reader, for trying it without hardware. It builds a small HID bus with
// umockdev (an unrelated device first, then the reader), prints every report
// that the reader receives as it arrives, and then starts exactly what
// rdrconf starts. The real hidapi backend finds, opens and talks to the
// emulated reader as it would to a plugged-in one.
//
// Run it under umockdev-wrapper, in the folder that holds the language files:
// scripts/demo does both.
#include <pthread.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "app/Application.h"
#include "i18n/Language.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/ReaderProtocol.h"

namespace {

using rdrconf::emulated::EmulatedHidDevice;
using rdrconf::emulated::EmulatedReader;
using rdrconf::emulated::ReceivedReport;
using rdrconf::emulated::ReportKind;

// The reader's reports arrive on umockdev's thread: every line goes out
// whole, in one call, under one lock.
std::mutex printMutex;

void PrintLine(const std::string& line) {
  std::lock_guard lock(printMutex);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

std::string IdsOf(const EmulatedHidDevice& device) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", device.VendorId(), device.ProductId());
  return ids;
}

// True for the report that completes a command 6: the reader has then taken
// the new settings.
bool CompletesSettings(const ReceivedReport& report) {
  return report.kind == ReportKind::kDataChunk &&
         report.command == rdrconf::kWriteParametersCommand &&
         report.chunk + 1 == (report.length + 7) / 8;
}

void PrintBanner(const EmulatedHidDevice& other, const EmulatedReader& reader) {
  PrintLine("rdrconf demo: the real settings window, talking to an emulated card reader.");
  PrintLine("  Emulated HID bus (umockdev), in the order the tool searches it:");
  PrintLine("    " + other.NodePath() + "  " + IdsOf(other) +
            "  another HID device; the tool must pass it by without opening it");
  PrintLine("    " + reader.NodePath() + "  " + IdsOf(reader) + "  the card reader; its settings: " +
            rdrconf::DescribeBlock(reader.Settings()));
  PrintLine("  Each report the reader receives is shown below as it arrives: its nine bytes");
  PrintLine("  (report id first), then what they mean. Close the window to end the demo.");
  PrintLine("  Type u and Enter here to unplug the reader, p and Enter to plug it in again,");
  PrintLine("  a and Enter to plug in a second reader: the window's status line follows.");
  const std::string languageFile = rdrconf::LanguageFilePath(rdrconf::ReadLanguageChoice());
  if (!std::filesystem::exists(languageFile)) {
    PrintLine("  Note: " + languageFile + " is not in this folder, so the window's texts are empty;");
    PrintLine("  start the demo with scripts/demo.");
  }
  PrintLine("");
}

void PrintReport(const EmulatedReader& reader, const ReceivedReport& report,
                 const std::string& who = "reader") {
  PrintLine(who + " <- " + rdrconf::emulated::Hex(report.bytes.data(), report.bytes.size()) + "   " +
            rdrconf::emulated::DescribeReport(report));
  if (CompletesSettings(report)) {
    PrintLine("          the reader's settings are now: " +
              rdrconf::DescribeBlock(reader.Settings()));
  }
}

// Commands typed on the terminal while the window runs: the reader is
// unplugged and plugged as a person would, so that the window's status line
// can be watched following it.
class PlugCommands {
 public:
  PlugCommands(rdrconf::emulated::EmulatedHidBus& bus, EmulatedReader& reader)
      : bus_(bus), reader_(reader), notifier_(STDIN_FILENO, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { OnLine(); });
  }

 private:
  void OnLine() {
    char line[64] = {};
    const ssize_t got = read(STDIN_FILENO, line, sizeof line - 1);
    if (got <= 0) {
      notifier_.setEnabled(false);  // the terminal went away; the window goes on
      return;
    }
    switch (line[0]) {
      case 'u':
        reader_.Unplug();
        PrintLine("rdrconf demo: the reader is unplugged.");
        break;
      case 'p':
        reader_.Plug();
        PrintLine("rdrconf demo: the reader is plugged in again, as " + reader_.NodePath() + ".");
        break;
      case 'a':
        if (second_ == nullptr) {
          second_ = &bus_.AddReader();
          second_->SetReportObserver([this](const ReceivedReport& report) { PrintReport(*second_, report, "reader 2"); });
          PrintLine("rdrconf demo: a second reader is plugged in, as " + second_->NodePath() + ".");
        }
        break;
      default:
        PrintLine("rdrconf demo: u unplugs the reader, p plugs it in, a adds a second reader.");
    }
  }

  rdrconf::emulated::EmulatedHidBus& bus_;
  EmulatedReader& reader_;
  EmulatedReader* second_ = nullptr;
  QSocketNotifier notifier_;
};

// Ctrl+C in the terminal (or SIGTERM, SIGHUP) ends the window's run like any
// other way out, so that the testbed's temporary folder is removed on the
// way out; a second one ends the process at once. The signals are taken by
// sigwait on a thread of their own, never by a handler: the window and the
// umockdev preload are not safe to touch from a handler.
class InterruptWatch {
 public:
  // Blocks the signals in the calling thread, before any other thread
  // starts: every thread inherits the mask, so only the watch receives them.
  static void BlockInterrupts() { pthread_sigmask(SIG_BLOCK, &Signals(), nullptr); }

  // Needs the QApplication.
  InterruptWatch() : watcher_([this] { Watch(); }) {}
  ~InterruptWatch() {
    pthread_kill(watcher_.native_handle(), kStop);
    watcher_.join();
  }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The signal that ended the window's run, 0 when none did.
  int Interruption() const { return interruption_; }

 private:
  static constexpr int kStop = SIGUSR1;

  static const sigset_t& Signals() {
    static const sigset_t watched = [] {
      sigset_t set;
      sigemptyset(&set);
      for (const int signal : {SIGINT, SIGTERM, SIGHUP, kStop}) sigaddset(&set, signal);
      return set;
    }();
    return watched;
  }

  void Watch() {
    for (;;) {
      int signal = 0;
      if (sigwait(&Signals(), &signal) != 0 || signal == kStop) return;
      if (interruption_ != 0) std::_Exit(128 + signal);
      interruption_ = signal;
      PrintLine("rdrconf demo: interrupted; the window ends (interrupt again to end at once).");
      // Ends every running event loop, the window's and any message box's.
      QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    }
  }

  std::atomic<int> interruption_{0};
  std::thread watcher_;
};

int RunDemo(int argc, char* argv[]) {
  InterruptWatch::BlockInterrupts();
  rdrconf::emulated::EmulatedHidBus bus;
  if (!bus.IsActive()) {
    // Without the wrapper, hidapi would see the host's real devices.
    std::fprintf(stderr, "rdrconf_demo: not running under umockdev-wrapper; start it with scripts/demo\n");
    return 1;
  }
  EmulatedHidDevice& other = bus.AddOtherDevice(0x046D, 0xC31C);
  EmulatedReader& reader = bus.AddReader();
  PrintBanner(other, reader);
  reader.SetReportObserver([&reader](const ReceivedReport& report) { PrintReport(reader, report); });

  // What rdrconf's main runs.
  rdrconf::PrepareApplication();
  QApplication application(argc, argv);
  InterruptWatch interrupts;
  PlugCommands commands(bus, reader);
  rdrconf::CRDRCONFApp app;
  app.InitInstance();

  reader.SetReportObserver(nullptr);
  PrintLine("");
  PrintLine("rdrconf demo: the window has closed. Reports the reader received: " +
            std::to_string(reader.Reports().size()) + "; its settings: " +
            rdrconf::DescribeBlock(reader.Settings()) + ".");
  PrintLine(other.Opens() == 0
                ? "  The other device was never opened."
                : "  The other device was opened " + std::to_string(other.Opens()) + " times.");
  return interrupts.Interruption() == 0 ? 0 : 128 + interrupts.Interruption();
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    return RunDemo(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rdrconf_demo: %s\n", error.what());
    return 1;
  }
}
