// rdrconf-cli: the command line of the reader tool, over hidapi (on Windows
// over the HID class services).
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#ifdef _WIN32
#include <windows.h>

#include "reader/Win32HidHost.h"
#else
#include "reader/HidApiHost.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // What it prints is UTF-8 (serial numbers, paths, the record's texts).
  SetConsoleOutputCP(CP_UTF8);
  rdrconf::Win32HidHost host;
#else
  // A script that closes its end of the pipe early must not end the program
  // between two exchanges with a reader; a failed write is reported instead.
  std::signal(SIGPIPE, SIG_IGN);
  rdrconf::HidApiHost host;
#endif
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return rdrconf::cli::RunCli(arguments, host,
                              rdrconf::cli::CliEnvironment::OfThisProcess(), std::cout,
                              std::cerr);
}
