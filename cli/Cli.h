#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Environment.h"
#include "reader/HidHost.h"

namespace rdrconf::cli {

// Runs rdrconf-cli with `arguments` (those after the program's name) over
// `host`: the result is the exit status (cli/ExitCode.h). Output goes to
// `out`, messages and warnings to `err`; with --json, `out` receives one
// JSON document and nothing else. Never throws.
int RunCli(const std::vector<std::string>& arguments, HidHost& host, const CliEnvironment& environment,
           std::ostream& out, std::ostream& err);

}  // namespace rdrconf::cli
