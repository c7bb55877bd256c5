#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Environment.h"
#include "tests/support/FakeHidHost.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf::test {

// 2024-05-01T12:00:00Z, the time every test's writes are recorded at.
inline const auto kRecordTime = std::chrono::system_clock::from_time_t(1714564800);

inline const FeatureReport kOpenNoticeReport{0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
inline const FeatureReport kHeaderReport{0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63};
inline const FeatureReport kCloseNoticeReport{0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
inline const ReaderFrame kRefusal{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
inline const ReaderFrame kStatusAnswer{0x55, 0x11, 0x06, 0x05, 0x02, 0x00, 0x00, 0x00};
inline const ReaderFrame kPlainAnswer{};

inline FeatureReport ChunkReport(const ReaderParameterBlock& block) {
  return {0x00, block.cardno_type, block.mode, block.enter, block.power_saving, 0x00, 0x00, 0x00, 0x00};
}

// rdrconf-cli over the in-memory host, in a scratch folder: the record,
// the udev rule folder and the /proc tree are folders of the test's own,
// and the user is "alice" (uid 1000, groups 1000 and 20).
class CliTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    environment.recordPath = (folder_ / "state" / "rdrconf" / "readers.json").string();
    environment.udevRuleFolders = {(folder_ / "rules-etc").string(), (folder_ / "rules-lib").string()};
    environment.procRoot = (folder_ / "proc").string();
    environment.user = [this] { return user; };
    environment.groupName = [](platform::GroupId gid) {
      return gid == 46 ? std::string("plugdev") : gid == 0 ? std::string("root") : "group" + std::to_string(gid);
    };
    environment.now = [] { return kRecordTime; };
  }

  int Run(const std::vector<std::string>& arguments) {
    out.str("");
    out.clear();
    err.str("");
    return cli::RunCli(arguments, host, environment, out, err);
  }

  // The whole of stdout as one JSON document (fails the test when it is not).
  nlohmann::json Document() const {
    nlohmann::json document = nlohmann::json::parse(out.str(), nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "stdout is not one JSON document:\n" << out.str();
    return document;
  }

  FakeHidHost host;
  platform::UserIdentity user{1000, "alice", {1000, 20}, {1000, 20}};
  cli::CliEnvironment environment;
  std::ostringstream out;
  std::ostringstream err;
};

}  // namespace rdrconf::test
