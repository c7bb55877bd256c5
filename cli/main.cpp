// rdrconf-cli: the command line of the reader tool, over hidapi.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#include "reader/HidApiHost.h"

int main(int argc, char** argv) {
  // A script that closes its end of the pipe early must not end the program
  // between two exchanges with a reader; a failed write is reported instead.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  rdrconf::HidApiHost host;
  return rdrconf::cli::RunCli(arguments, host,
                              rdrconf::cli::CliEnvironment::OfThisProcess(), std::cout,
                              std::cerr);
}
