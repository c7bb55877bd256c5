// What the command line costs: "rdrconf-cli set --format 8h10d" started as
// a process (fork and exec, listing, the three exchanges, the record) against
// an emulated reader, beside the same three exchanges made in-process (open
// notice, set, close notice, each on a handle of its own). At the end the
// program prints the difference per set; the goal is under 5 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bench/RunProgram.h"
#include "bench/UnderWrapper.h"
#include "emulator/EmulatedHidBus.h"
#include "reader/CardReader.h"
#include "reader/linux/HidApiHost.h"
#include "reader/ReaderProtocol.h"

namespace {

using rdrconf::emulated::EmulatedHidDevice;
using rdrconf::emulated::EmulatedReader;

EmulatedReader* g_reader = nullptr;
EmulatedHidDevice* g_unrelated = nullptr;
rdrconf::CardReader* g_cardReader = nullptr;

// The block "set --format 8h10d" sends: format 5, Active, Enter, power saving off.
constexpr rdrconf::ReaderParameterBlock kBlock{5, 1, 1, 0, 0};

// Starts rdrconf-cli with `arguments` and waits for it; its exit status,
// or -1 when it could not be started.
int RunCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), RDRCONF_CLI_PROGRAM);
  return rdrconf::bench::RunProgram(std::move(arguments));
}

void ReportCounters(benchmark::State& state) {
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["reports_per_set"] = static_cast<double>(g_reader->Reports().size()) / iterations;
  state.counters["unrelated_opens"] = g_unrelated->Opens();
}

// Runs rdrconf-cli with `arguments` once an iteration; false when a run failed.
bool RunEachIteration(benchmark::State& state, const std::vector<std::string>& arguments) {
  for (auto _ : state) {
    if (RunCli(arguments) != 0) {
      state.SkipWithError(("rdrconf-cli " + arguments.front() + " failed").c_str());
      return false;
    }
  }
  return true;
}

void BM_CliProcess(benchmark::State& state) {
  g_reader->ClearRecords();
  g_unrelated->ClearRecords();
  if (!RunEachIteration(state, {"set", "--format", "8h10d"})) return;
  if (g_reader->Settings() != kBlock) state.SkipWithError("the reader did not take the settings");
  ReportCounters(state);
}
BENCHMARK(BM_CliProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// Of that, what starting the program costs, before it looks at any device.
void BM_CliStartOnly(benchmark::State& state) { RunEachIteration(state, {"--version"}); }
BENCHMARK(BM_CliStartOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// And what listing the readers costs (the program lists once to choose).
void BM_CliList(benchmark::State& state) { RunEachIteration(state, {"list"}); }
BENCHMARK(BM_CliList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InProcess(benchmark::State& state) {
  g_reader->ClearRecords();
  g_unrelated->ClearRecords();
  const rdrconf::ReaderSelector selector = rdrconf::ReaderSelector::Path(g_reader->NodePath());
  for (auto _ : state) {
    bool ok = rdrconf::NotifyOpen(g_cardReader->OpenReader(selector));
    ok = rdrconf::SetReaderConfig(g_cardReader->OpenReader(selector), kBlock) == rdrconf::kCommandDone && ok;
    ok = rdrconf::NotifyClose(g_cardReader->OpenReader(selector)) && ok;
    if (!ok) {
      state.SkipWithError("an exchange failed");
      return;
    }
  }
  ReportCounters(state);
}
BENCHMARK(BM_InProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, keeping the time per iteration of each benchmark (the
// median, with --benchmark_repetitions) for the comparison at the end.
class ComparingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
      const std::string name = run.run_name.function_name;
      if (median || medians_.count(name) == 0) {
        milliseconds_[name] = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
      }
      if (median) medians_.insert(name);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintComparison() const {
    const auto time = [this](const char* name) {
      const auto found = milliseconds_.find(name);
      return found == milliseconds_.end() ? -1.0 : found->second;
    };
    const double cli = time("BM_CliProcess");
    const double in = time("BM_InProcess");
    const double start = time("BM_CliStartOnly");
    const double list = time("BM_CliList");
    if (cli < 0 || in < 0) return;
    std::printf("rdrconf-cli adds %.2f ms per set (%.2f ms as a process, %.2f ms in-process; goal: under 5 ms)\n",
                cli - in, cli, in);
    if (start >= 0 && list >= 0) {
      std::printf("  of which starting the program takes %.2f ms and its one listing to choose the reader %.2f ms\n",
                  start, list - start);
    }
  }

 private:
  std::map<std::string, double> milliseconds_;
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  // The probe is gone before the program starts again: its testbed folder
  // is removed only when it is destroyed.
  if (!rdrconf::emulated::EmulatedHidBus().IsActive()) return rdrconf::bench::RestartUnderWrapper(argv);
  // The program records each set; it does so in a folder of its own here.
  std::string state = (std::filesystem::temp_directory_path() / "rdrconf-bench-cli-XXXXXX").string();
  if (mkdtemp(state.data()) == nullptr) return 1;
  setenv("XDG_STATE_HOME", state.c_str(), 1);

  int status = 0;
  {
    rdrconf::emulated::EmulatedHidBus bus;
    g_unrelated = &bus.AddOtherDevice(0x046D, 0xC31C);
    g_reader = &bus.AddReader();
    rdrconf::HidApiHost host;
    rdrconf::CardReader cardReader(host);
    g_cardReader = &cardReader;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
      status = 1;
    } else {
      ComparingReporter reporter;
      benchmark::RunSpecifiedBenchmarks(&reporter);
      reporter.PrintComparison();
    }
    benchmark::Shutdown();
  }
  std::filesystem::remove_all(state);
  return status;
}
