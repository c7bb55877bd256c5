// rdrconf-cli: the command line of the reader tool, over hidapi, with udev's
// hot-plug events and the reader's keyboard side through libevdev; on
// Windows over the HID class services, with neither of the other two.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#ifdef _WIN32
#include "reader/Win32HidHost.h"
#else
#include "reader/EvdevKeyboard.h"
#include "reader/HidApiHost.h"
#include "reader/ReaderMonitor.h"

namespace {

// SIGINT and SIGTERM make this readable, so that a command that waits (a
// test scan, watch) ends cleanly, letting go of what it holds; one that
// talks to a reader finishes its exchange first.
int g_stop[2] = {-1, -1};

void AskToStop(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(g_stop[1], &byte, 1);
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // What it prints is UTF-8 (serial numbers, paths, the record's texts).
  SetConsoleOutputCP(CP_UTF8);
  // No keyboard side and no hot-plug news: test and watch say so.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  rdrconf::Win32HidHost host;
  return rdrconf::cli::RunCli(arguments, host, rdrconf::cli::CliEnvironment::OfThisProcess(), std::cout,
                              std::cerr);
#else
  // A script that closes its end of the pipe early must not end the program
  // between two exchanges with a reader; a failed write is reported instead.
  std::signal(SIGPIPE, SIG_IGN);
  rdrconf::cli::CliEnvironment environment = rdrconf::cli::CliEnvironment::OfThisProcess();
  if (pipe2(g_stop, O_CLOEXEC | O_NONBLOCK) == 0) {
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
    environment.stopDescriptor = g_stop[0];
  }
  environment.keyboard = [] {
    static rdrconf::EvdevKeyboard keyboard;
    return static_cast<rdrconf::KeyboardSource*>(&keyboard);
  };
  environment.hotplug = [] {
    static rdrconf::ReaderMonitor monitor;
    return static_cast<rdrconf::HotplugSource*>(&monitor);
  };
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  rdrconf::HidApiHost host;
  return rdrconf::cli::RunCli(arguments, host, environment, std::cout, std::cerr);
#endif
}
