// doctor: what stands between this user and a working reader, each check
// with its fix (the checks: cli/commands/doctor/).
#include <CLI/CLI.hpp>

#include "cli/ExitCode.h"
#include "cli/commands/Command.h"
#include "cli/commands/doctor/Doctor.h"

namespace rdrconf::cli {
namespace {

std::string Title(const Check& check) {
  if (check.name == "udev_rule") return "udev rule";
  if (check.name == "readers") return "readers";
  if (check.name == "access") return "access to " + Printable(check.reader);
  if (check.name == "not_held") return "no other program holds " + Printable(check.reader);
  return "language files";
}

int RunDoctorCommand(Context& context) {
  const std::vector<Check> checks = RunDoctor(context.reader, context.environment);
  Output& output = context.output;
  int code = kExitDone;
  int failed = 0;
  const Check* first = nullptr;
  Json list = Json::array();
  for (const Check& check : checks) {
    if (!check.ok && ++failed == 1) {
      first = &check;
      code = check.code;
    }
    // A failed check is shown even with --quiet.
    std::string lines = (check.ok ? "ok    " : "FAIL  ") + Title(check) + ": " + check.detail;
    if (!check.ok) {
      std::string fix = check.fix;
      for (std::size_t at = fix.find('\n'); at != std::string::npos; at = fix.find('\n', at + 1)) {
        fix.replace(at, 1, "\n      ");
      }
      lines += "\n      fix: " + fix;
    }
    output.Say(lines, !check.ok);
    Json item{{"check", check.name},
              {"reader", check.reader.empty() ? Json(nullptr) : Json(check.reader)},
              {"ok", check.ok},
              {"code", check.code},
              {"detail", check.detail},
              {"fix", check.fix.empty() ? Json(nullptr) : Json(check.fix)}};
    if (check.name == "not_held") {
      Json holders = Json::array();
      for (const Holder& holder : check.holders) holders.push_back(Json{{"pid", holder.pid}, {"name", holder.name}});
      item["holders"] = holders;
    }
    list.push_back(item);
  }
  const std::string summary =
      first == nullptr ? "all " + std::to_string(checks.size()) + " checks passed"
                       : std::to_string(failed) + " of " + std::to_string(checks.size()) +
                             " checks failed; the first: " + Title(*first) + " (exit status " +
                             std::to_string(code) + ")";
  output.Print(Json{{"ok", first == nullptr}, {"exit_code", code}, {"summary", summary}, {"checks", list}});
  output.Say("doctor: " + summary, true);
  return code;
}

}  // namespace

CommandEntry DoctorCommand() {
  return {"doctor", kDoctorHelp, AddOutputFlags, RunDoctorCommand};
}

}  // namespace rdrconf::cli
