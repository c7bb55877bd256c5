// Time from process start to the settings window being shown (the process
// ends right then), against a minimal Qt dialog program measured in the same
// run. Both run offscreen, so no display is needed.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

void RunToCompletion(const char* program, const char* folder) {
  std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "RDRCONF_QUIT_WHEN_SHOWN=1",
                                          "ASAN_OPTIONS=detect_leaks=0"};
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Each program runs in its own folder: rdrconf finds its language files there.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  char* argv[] = {const_cast<char*>(program), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program, nullptr, nullptr, argv, envp.data());
  std::filesystem::current_path(previous);
  if (spawned != 0) throw std::runtime_error("cannot start the program");
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status)) throw std::runtime_error("the program did not end normally");
}

void BM_MinimalQtDialog(benchmark::State& state) {
  for (auto _ : state) RunToCompletion(MINIMAL_DIALOG_PATH, MINIMAL_DIALOG_FOLDER);
}

void BM_SettingsWindow(benchmark::State& state) {
  for (auto _ : state) RunToCompletion(RDRCONF_PATH, RDRCONF_FOLDER);
}

BENCHMARK(BM_MinimalQtDialog)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_SettingsWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
