// rdrconf-cli: the command line of the reader tool, over this system's
// reader link (reader/SystemReaderLink.h).
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#include "platform/Waiting.h"
#include "reader/SystemReaderLink.h"

int main(int argc, char** argv) {
  rdrconf::cli::CliEnvironment environment = rdrconf::cli::CliEnvironment::OfThisProcess();
  // A command that waits (a test scan, watch) ends cleanly on SIGINT and
  // SIGTERM, letting go of what it holds; one that talks to a reader
  // finishes its exchange first.
  environment.stopDescriptor = rdrconf::platform::PrepareCommandLineProcess();
  rdrconf::SystemReaderLink link;
  environment.keyboard = [&link] { return link.Keyboard(); };
  environment.hotplug = [&link] { return link.Hotplug(); };
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return rdrconf::cli::RunCli(arguments, link.Host(), environment, std::cout, std::cerr);
}
