// rdrconf-cli: the command line of the reader tool, over hidapi.
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#include "reader/HidApiHost.h"

namespace {

// The shipped language files of an installed copy, found from where this
// program is (RDRCONF_BIN_TO_LANG is the relative path between the two
// install folders).
std::string ShippedLanguageFolder() {
  std::string self(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length <= 0) return {};
  self.resize(static_cast<std::size_t>(length));
  const std::filesystem::path folder = self.substr(0, self.rfind('/') + 1) + RDRCONF_BIN_TO_LANG;
  return folder.lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  // A script that closes its end of the pipe early must not end the program
  // between two exchanges with a reader; a failed write is reported instead.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  rdrconf::HidApiHost host;
  return rdrconf::cli::RunCli(arguments, host,
                              rdrconf::cli::CliEnvironment::OfThisProcess(ShippedLanguageFolder()), std::cout,
                              std::cerr);
}
