#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Environment.h"
#include "reader/CardReader.h"

// The checks of "rdrconf-cli doctor": what stands between this user and a
// working reader, each with its fix. Nothing here opens a reader. The
// checks that only one system has are its back-end's (doctor/linux,
// doctor/win32).
namespace rdrconf::cli {

struct Holder {
  long pid = 0;
  std::string name;  // from /proc/PID/comm
};

struct Check {
  std::string name;    // "udev_rule", "readers", "access", "not_held", "language_files"
  std::string reader;  // the reader's path, for "access" and "not_held"
  bool ok = true;
  int code = 0;        // the exit status this check stands for when it fails
  std::string detail;  // what was found
  std::string fix;     // what to do; empty when the check passed
  std::vector<Holder> holders;  // "not_held": the processes that have the node open
};

// Every check, in order. On Linux: the udev rule, readers visible, then for
// each reader access and whether another process holds it, and last the
// language files. On Windows: readers visible, whether another copy of
// rdrconf holds each, and the language files.
std::vector<Check> RunDoctor(const CardReader& reader, const CliEnvironment& environment);
// What --help says the command checks, on this system.
extern const char kDoctorHelp[];

// The checks both systems share, for the back-ends.
//
// The readers that the listing gives, with the system's own fixes for a
// listing that fails and for no reader at all.
Check ReadersCheck(const std::vector<ReaderIdentity>& readers, const HidError& error, const std::string& listingFix,
                   const std::string& noReaderFix);
// The language files where the window looks for them.
Check LanguageFilesCheck();

}  // namespace rdrconf::cli
