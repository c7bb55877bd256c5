// Time of one set exchange (SetReaderConfig) over the real hidapi backend,
// against a reader emulated with umockdev, with and without the search and
// open that precede it in the settings window. The counters give the feature
// requests of one exchange and the opens of an unrelated HID device listed
// before the reader (the search must open none).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"
#include "reader/linux/ReaderMonitor.h"
#include "reader/ReaderProtocol.h"
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
