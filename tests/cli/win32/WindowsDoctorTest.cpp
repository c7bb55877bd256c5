// doctor on Windows over the in-memory host: the readers, whether another
// copy of rdrconf holds each (as the reader's lock tells the host) and the
// language files. There is no udev rule and no access right per user to
// check there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/ExitCode.h"
#include "tests/cli/CliFixture.h"

namespace rdrconf::test {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::json;

const std::string kReader = "\\\\?\\hid#vid_1d57&pid_ac08#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class WindowsDoctorTest : public CliTest {
 protected:
  void AllWell() {
    host.AddInterface("\\\\?\\hid#vid_845e&pid_0001#0&0000&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}", 0x845E,
                      0x0001);
    host.AddReader(kReader, "A1");
    WriteBytes("RDRCONF.zh-CN.ini", "[language]\n");
    WriteBytes("RDRCONF.en-US.ini", "[language]\n");
  }

  // The check of the JSON report with this name.
  Json CheckNamed(const std::string& name) {
    const Json document = Document();
    for (const Json& check : document["checks"]) {
      if (check["check"] == name) return check;
    }
    ADD_FAILURE() << "no check " << name << " in " << out.str();
    return Json();
  }
};

TEST_F(WindowsDoctorTest, AllWellExitsZeroWithTheThreeChecksThatWindowsHas) {
  AllWell();
  EXPECT_EQ(Run({"doctor"}), cli::kExitDone) << out.str();
  EXPECT_EQ(out.str(),
            "ok    readers: 1 reader: " + kReader + "\n"
            "ok    no other program holds " + kReader +
                ": no other copy of rdrconf holds it (programs of others cannot be seen on Windows)\n"
            "ok    language files: ./RDRCONF.zh-CN.ini, ./RDRCONF.en-US.ini\n"
            "doctor: all 3 checks passed\n");
  EXPECT_EQ(host.Opens(), 0) << "doctor opens no reader";
}

TEST_F(WindowsDoctorTest, EachProblemGivesItsExitStatusAndItsFix) {
  {
    SCOPED_TRACE("no reader");
    WriteBytes("RDRCONF.zh-CN.ini", "[language]\n");
    WriteBytes("RDRCONF.en-US.ini", "[language]\n");
    EXPECT_EQ(Run({"doctor", "--json"}), cli::kExitNoReader);
    const Json readers = CheckNamed("readers");
    EXPECT_EQ(readers["ok"], false);
    EXPECT_THAT(readers["fix"].get<std::string>(), HasSubstr("Device Manager"));
  }
  {
    SCOPED_TRACE("held by another copy");
    AllWell();
    host.HoldElsewhere(kReader);
    EXPECT_EQ(Run({"doctor", "--json"}), cli::kExitBusy);
    const Json held = CheckNamed("not_held");
    EXPECT_EQ(held["ok"], false);
    EXPECT_EQ(held["reader"], kReader);
    EXPECT_THAT(held["fix"].get<std::string>(), HasSubstr("one program at a time"));
    EXPECT_EQ(held["holders"], Json::array()) << "no process ids to name on Windows";
  }
  {
    SCOPED_TRACE("no language files");
    host.HoldElsewhere(kReader, false);
    std::filesystem::remove("RDRCONF.zh-CN.ini");
    std::filesystem::remove("RDRCONF.en-US.ini");
    EXPECT_EQ(Run({"doctor", "--json"}), cli::kExitNotSetUp);
    EXPECT_EQ(CheckNamed("language_files")["ok"], false);
  }
  {
    SCOPED_TRACE("listing fails");
    host.FailListing();
    EXPECT_EQ(Run({"doctor", "--json"}), cli::kExitInternal);
    EXPECT_THAT(CheckNamed("readers")["detail"].get<std::string>(), HasSubstr("cannot be listed"));
  }
}

}  // namespace
}  // namespace rdrconf::test
