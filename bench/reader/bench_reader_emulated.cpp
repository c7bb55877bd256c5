// Time of one set exchange (SetReaderConfig) over the real hidapi backend,
// against a reader emulated with umockdev, with and without the search and
// open that precede it in the settings window. The counters give the feature
// requests of one exchange and the opens of an unrelated HID device listed
// before the reader (the search must open none). Last, a reader plugged in
// to its settings written by the system unit's own command, run as the unit
// runs it.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"
#include "reader/linux/ReaderMonitor.h"
#include "reader/ReaderProtocol.h"
#include "bench/RunProgram.h"
#include "bench/UnderWrapper.h"
#include "emulator/EmulatedHidBus.h"

namespace {

using rdrconf::emulated::EmulatedHidDevice;
using rdrconf::emulated::EmulatedReader;

EmulatedReader* g_reader = nullptr;
EmulatedHidDevice* g_unrelated = nullptr;
rdrconf::CardReader* g_cardReader = nullptr;

constexpr rdrconf::ReaderParameterBlock kBlock{7, 0, 0, 1, 0};

void ReportCounters(benchmark::State& state) {
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["requests_per_set"] =
      static_cast<double>(g_reader->FeatureRequests().size()) / iterations;
  state.counters["unrelated_opens"] = g_unrelated->Opens();
}

void BM_OpenSetClose(benchmark::State& state) {
  g_reader->ClearRecords();
  g_unrelated->ClearRecords();
  for (auto _ : state) {
    rdrconf::ReaderHandle handle = g_cardReader->OpenReader();
    if (rdrconf::SetReaderConfig(handle, kBlock) != rdrconf::kCommandDone) {
      state.SkipWithError("the set exchange failed");
      return;
    }
    handle.Close();
  }
  ReportCounters(state);
}
BENCHMARK(BM_OpenSetClose)->Unit(benchmark::kMicrosecond);

void BM_SetOnOpenHandle(benchmark::State& state) {
  rdrconf::ReaderHandle handle = g_cardReader->OpenReader();
  g_reader->ClearRecords();
  g_unrelated->ClearRecords();
  for (auto _ : state) {
    if (rdrconf::SetReaderConfig(handle, kBlock) != rdrconf::kCommandDone) {
      state.SkipWithError("the set exchange failed");
      return;
    }
  }
  ReportCounters(state);
}
BENCHMARK(BM_SetOnOpenHandle)->Unit(benchmark::kMicrosecond);

// From a reader being plugged in to the status the window shows: udev's
// event reaching the monitor, the listing, and the state read from it. The
// unplug that makes room for the next plug is not timed.
void BM_PlugToStatus(benchmark::State& state) {
  rdrconf::ReaderMonitor monitor;
  if (!monitor.IsWatching()) {
    state.SkipWithError("no udev monitor");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    g_reader->Unplug();
    monitor.TakeEvents();
    state.ResumeTiming();
    g_reader->Plug();
    pollfd ready{monitor.Descriptor(), POLLIN, 0};
    if (poll(&ready, 1, 5000) != 1 || monitor.TakeEvents().empty() ||
        g_cardReader->Status().state != rdrconf::ReaderState::kConnected) {
      state.SkipWithError("the plug was not seen");
      return;
    }
  }
}
BENCHMARK(BM_PlugToStatus)->Unit(benchmark::kMillisecond);

// `word` with each %I (the unit's instance) replaced by `instance`.
std::string WithInstance(std::string word, const std::string& instance) {
  for (auto at = word.find("%I"); at != std::string::npos; at = word.find("%I", at + instance.size())) {
    word.replace(at, 2, instance);
  }
  return word;
}

// The words of the unit's ExecStart= line, with the installed program
// replaced by the one built here; empty, and `why` says why, when the line
// is missing or holds what only systemd could fill in (but %I).
std::vector<std::string> UnitCommand(std::string& why) {
  std::ifstream unit(RDRCONF_APPLY_UNIT);
  std::string line;
  while (std::getline(unit, line) && line.rfind("ExecStart=", 0) != 0) {
  }
  if (line.rfind("ExecStart=", 0) != 0) {
    why = RDRCONF_APPLY_UNIT ": no ExecStart= line";
    return {};
  }
  std::vector<std::string> command;
  std::istringstream words(line.substr(line.find('=') + 1));
  for (std::string word; words >> word;) {
    if (WithInstance(word, "").find_first_of("%\\\"'") != std::string::npos) {
      why = RDRCONF_APPLY_UNIT ": ExecStart= holds " + word + ", which only systemd can fill in";
      return {};
    }
    command.push_back(word);
  }
  if (command.empty() || command.front() != "/usr/bin/rdrconf-cli") {
    why = RDRCONF_APPLY_UNIT ": ExecStart= does not start /usr/bin/rdrconf-cli";
    return {};
  }
  command.front() = RDRCONF_CLI_PROGRAM;
  return command;
}

// `command` as the instance for `node` ("hidraw3") runs it.
std::vector<std::string> ForInstance(std::vector<std::string> command, const std::string& node) {
  for (std::string& word : command) word = WithInstance(word, node);
  return command;
}

// The first line of the file at `path`, for a failure's message.
std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// Plugs the reader in and waits for udev's news of it; the name of its new
// hidraw node ("hidraw3"), or empty when no news came within 5 s.
std::string PlugAndWait(rdrconf::ReaderMonitor& monitor) {
  g_reader->Plug();
  pollfd ready{monitor.Descriptor(), POLLIN, 0};
  while (poll(&ready, 1, 5000) == 1) {
    for (const rdrconf::HotplugEvent& event : monitor.TakeEvents()) {
      if (event.action == rdrconf::HotplugEvent::Action::kAdded) {
        return std::filesystem::path(event.path).filename().string();
      }
    }
  }
  return {};
}

// 8h10d, Passive, no Enter, power saving on: none of them the default.
constexpr rdrconf::ReaderParameterBlock kProfileBlock{5, 0, 0, 1, 0};
constexpr const char* kProfile =
    R"({"rdrconf_profile": 1, "settings": {"format": "8h10d", "mode": "passive", "enter": false, "power_saving": true}})";

// What the system does when a reader is plugged in, timed from the plug:
// udev's event (seen here by a monitor, there by systemd), then the unit's
// command as a process, in the environment systemd gives it: its
// configuration folder (holding the profile) and its state folder, both in
// `folder`. Each plug is of a reader the system has no record of, so it is
// written whether or not the unit forces the write; the unplug and the
// record's removal are not timed.
void PlugToWritten(benchmark::State& state, const std::filesystem::path& folder) {
  std::string why;
  const std::vector<std::string> command = UnitCommand(why);
  if (command.empty()) return state.SkipWithError(why.c_str());
  rdrconf::ReaderMonitor monitor;
  if (!monitor.IsWatching()) return state.SkipWithError("no udev monitor");
  const std::filesystem::path stateDirectory = folder / "state";
  const std::string errors = (folder / "stderr").string();
  std::filesystem::create_directory(stateDirectory);
  std::ofstream(folder / "profile.json") << kProfile << '\n';
  setenv("CONFIGURATION_DIRECTORY", folder.c_str(), 1);
  setenv("STATE_DIRECTORY", stateDirectory.c_str(), 1);

  for (auto _ : state) {
    state.PauseTiming();
    g_reader->Unplug();
    std::filesystem::remove(stateDirectory / "readers.json");
    g_reader->ClearRecords();
    monitor.TakeEvents();
    state.ResumeTiming();

    const std::string node = PlugAndWait(monitor);
    if (node.empty()) return state.SkipWithError("the plug was not seen");
    const int status = rdrconf::bench::RunProgram(ForInstance(command, node), errors);
    if (status != 0) {
      const std::string message = "the unit's command exited with " + std::to_string(status) + ": " + FirstLine(errors);
      return state.SkipWithError(message.c_str());
    }
    const std::vector<rdrconf::emulated::ReceivedReport> reports = g_reader->Reports();
    const bool written = std::any_of(reports.begin(), reports.end(), [](const auto& report) {
      return report.kind == rdrconf::emulated::ReportKind::kHeader && report.command == 6;
    });
    if (!written || g_reader->Settings() != kProfileBlock) {
      return state.SkipWithError("the reader does not hold the profile's settings");
    }
  }
}

void BM_PlugToWritten(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "rdrconf-bench-apply-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return state.SkipWithError("no temporary folder");
  PlugToWritten(state, folder);
  unsetenv("CONFIGURATION_DIRECTORY");
  unsetenv("STATE_DIRECTORY");
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PlugToWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // The probe is gone before the program starts again: its testbed folder
  // is removed only when it is destroyed.
  if (!rdrconf::emulated::EmulatedHidBus().IsActive()) return rdrconf::bench::RestartUnderWrapper(argv);
  rdrconf::emulated::EmulatedHidBus bus;
  g_unrelated = &bus.AddOtherDevice(0x046D, 0xC31C);
  g_reader = &bus.AddReader();
  rdrconf::HidApiHost host;
  rdrconf::CardReader cardReader(host);
  g_cardReader = &cardReader;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
