// The rdrconf package's postinst against emulated devices: after the
// installation it reloads the udev rules and re-triggers the reader that is
// plugged in already, and no other device. udevadm is a stand-in that notes
// its arguments, and the script's sign of a running udevd (/run/udev) is a
// folder of the test's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "emulator/EmulatedHidBus.h"
#include "tests/e2e/ChildProgram.h"

namespace rdrconf {
namespace {

namespace fs = std::filesystem;
using emulated::EmulatedHidBus;
using test::ChildProgram;
using test::ProgramRun;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Read(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class PostinstE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.IsActive()) GTEST_SKIP() << "not under umockdev-wrapper";
    folder_ = fs::temp_directory_path() / ("rdrconf-postinst-" + std::to_string(getpid()));
    fs::create_directories(folder_ / "bin");
    fs::create_directories(folder_ / "run-udev");
    std::ofstream(folder_ / "bin" / "udevadm") << "#!/bin/sh\necho \"$*\" >>'" << (folder_ / "calls").string()
                                                << "'\n";
    fs::permissions(folder_ / "bin" / "udevadm", fs::perms::owner_all);
    std::string script = Read(RDRCONF_POSTINST);
    for (std::size_t at; (at = script.find("/run/udev")) != std::string::npos;) {
      script.replace(at, 9, (folder_ / "run-udev").string());
    }
    std::ofstream(folder_ / "postinst") << script;
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // Runs the script as dpkg does, with the stand-in first on PATH.
  std::vector<std::string> Run(const std::string& action) {
    ProgramRun run = ChildProgram("/bin/sh", {(folder_ / "postinst").string(), action},
                                  {{"PATH", (folder_ / "bin").string() + ":/usr/bin:/bin"}})
                         .Finish();
    EXPECT_EQ(run.status, 0) << run.err;
    return Lines(Read(folder_ / "calls"));
  }

  EmulatedHidBus bus_;
  fs::path folder_;
};

TEST_F(PostinstE2E, ReTriggersThePluggedReadersAlone) {
  bus_.AddOtherDevice(0x046d, 0xc31c);
  const std::string first = bus_.AddReader().UsbName();
  bus_.AddOtherDevice(0x1d57, 0xac09);
  const std::string second = bus_.AddReader().UsbName();
  EXPECT_THAT(Run("configure"),
              ElementsAre("control --reload-rules", "trigger --action=change --parent-match=/sys/bus/usb/devices/" + first,
                          "trigger --action=change --parent-match=/sys/bus/usb/devices/" + second));
}

TEST_F(PostinstE2E, OnlyWhenConfiguringAndWithUdevRunning) {
  bus_.AddReader();
  EXPECT_THAT(Run("abort-upgrade"), IsEmpty());
  fs::remove(folder_ / "run-udev");  // a chroot: no udevd
  EXPECT_THAT(Run("configure"), IsEmpty());
}

}  // namespace
}  // namespace rdrconf
