// The Ansible collection of contrib/ansible (rdrconf.fleet), run by the
// machine's ansible-playbook as a child of the test against a reader
// emulated as a hidraw device: ansible-playbook, the module's Python and the
// real rdrconf-cli that it starts all inherit the test's emulated bus. Each
// run is judged by what Ansible says and by what the reader received, byte
// for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/EmulatedHidBus.h"
#include "emulator/ReportText.h"
#include "reader/SettingsRecord.h"
#include "tests/e2e/ChildProgram.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf {
namespace {

using emulated::BytesOf;
using emulated::EmulatedHidBus;
using emulated::EmulatedReader;
using test::ChildProgram;
using test::ProgramRun;
using test::ReadBytes;
using test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using Json = nlohmann::json;

const FeatureReport kOpenNotice{0x00, 0x55, 0x12, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};
const FeatureReport kHeader{0x00, 0x55, 0x11, 0x06, 0x05, 0x63, 0x63, 0x63, 0x63};
const FeatureReport kCloseNotice{0x00, 0x55, 0x13, 0x00, 0x00, 0x00, 0x00, 0x63, 0x63};

// Settings that differ from the reader's defaults in every field.
const char kProfile[] = R"({
  "rdrconf_profile": 1,
  "settings": {"format": "8h10d", "mode": "passive", "enter": false, "power_saving": true}
}
)";
const ReaderParameterBlock kProfileBlock{5, 0, 0, 1, 0};
const FeatureReport kProfileChunk{0x00, 5, 0, 0, 1, 0x00, 0x00, 0x00, 0x00};

// The task of the example playbook that runs the module.
const char kApplyTask[] = "Give every connected reader its settings";

std::string Trace(const EmulatedReader& reader) {
  std::string text;
  for (const emulated::ReceivedReport& report : reader.Reports()) {
    text += "  " + emulated::Hex(report.bytes.data(), report.bytes.size()) + "   " +
            emulated::DescribeReport(report) + "\n";
  }
  return text;
}

// What Ansible said of one task: the first result line after its "TASK [...]"
// heading ("changed: [localhost]", "fatal: [localhost]: FAILED! => {...}").
std::string TaskResult(const std::string& out, const std::string& task) {
  const std::size_t heading = out.find("TASK [" + task + "]");
  if (heading == std::string::npos) return "(no task \"" + task + "\")";
  std::istringstream lines(out.substr(heading));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    for (const char* lead : {"ok:", "changed:", "fatal:", "skipping:"}) {
      if (line.rfind(lead, 0) == 0) return line;
    }
  }
  return "(no result for \"" + task + "\")";
}

// The result that Ansible printed with a failed task.
Json FailureOf(const std::string& result) {
  const std::size_t start = result.find("=> {");
  if (start == std::string::npos) return nullptr;
  return Json::parse(result.substr(start + 3), nullptr, false);
}

// The counts of the play's recap line: {"ok": 3, "changed": 1, ...}.
std::map<std::string, int> Recap(const std::string& out) {
  std::map<std::string, int> counts;
  const std::size_t recap = out.find("PLAY RECAP");
  if (recap == std::string::npos) return counts;
  const std::string tail = out.substr(recap);
  const std::regex count("([a-z]+)=([0-9]+)");
  for (auto it = std::sregex_iterator(tail.begin(), tail.end(), count); it != std::sregex_iterator(); ++it) {
    counts[(*it)[1]] = std::stoi((*it)[2]);
  }
  return counts;
}

class AnsibleCollection : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "rdrconf-ansible-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    for (const char* name : {"home", "ansible", "tmp"}) std::filesystem::create_directories(folder_ / name);
    // An empty configuration of our own, so that no ansible.cfg of the
    // machine or of the user takes part.
    WriteBytes((folder_ / "ansible.cfg").string(), "");
    WriteBytes((folder_ / "profile.json").string(), kProfile);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path InstalledProfile() const { return folder_ / "etc" / "rdrconf" / "profile.json"; }
  // The system's record: the module's default, kept in the folder that
  // systemd names in STATE_DIRECTORY.
  std::filesystem::path SystemRecord() const { return folder_ / "state" / "readers.json"; }

  // Ansible kept to the test's folder: its home, its temporary folders and
  // its configuration there, the collection from the source tree, none of
  // the caller's ANSIBLE_* settings, and no colour in what it prints.
  std::map<std::string, std::string> Environment() const {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "ANSIBLE_", 8) == 0) {
        const std::string text = *entry;
        environment[text.substr(0, text.find('='))] = "";
      }
    }
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::map<std::string, std::string> own{
        {"HOME", (folder_ / "home").string()},
        {"TMPDIR", (folder_ / "tmp").string()},
        {"STATE_DIRECTORY", (folder_ / "state").string()},
        {"ANSIBLE_CONFIG", (folder_ / "ansible.cfg").string()},
        {"ANSIBLE_HOME", (folder_ / "ansible").string()},
        {"ANSIBLE_LOCAL_TEMP", (folder_ / "ansible" / "tmp").string()},
        {"ANSIBLE_REMOTE_TEMP", (folder_ / "ansible" / "remote-tmp").string()},
        {"ANSIBLE_COLLECTIONS_PATH", ANSIBLE_COLLECTIONS},
        {"ANSIBLE_PYTHON_INTERPRETER", "/usr/bin/python3"},
        {"ANSIBLE_NOCOLOR", "1"},
        // Nothing written into the source tree's collection.
        {"PYTHONDONTWRITEBYTECODE", "1"},
        // The preload comes before the sanitizer's runtime under the wrapper.
        {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    for (const auto& [name, value] : own) environment[name] = value;
    return environment;
  }

  ProgramRun Run(const std::string& program, const std::vector<std::string>& arguments) const {
    return ChildProgram(program, arguments, Environment()).Finish();
  }

  // ansible-playbook on this machine, as its README shows, with the
  // example playbook's profile, its place and rdrconf-cli in the test's.
  ProgramRun Playbook(std::vector<std::string> arguments) const {
    const std::vector<std::string> common{
        "-i", "localhost,", "-c", "local",
        "-e", "rdrconf_profile_source=" + (folder_ / "profile.json").string(),
        "-e", "rdrconf_profile=" + InstalledProfile().string(),
        "-e", std::string("rdrconf_cli=") + RDRCONF_CLI_PROGRAM};
    arguments.insert(arguments.begin(), common.begin(), common.end());
    return Run(ANSIBLE_PLAYBOOK, arguments);
  }

  EmulatedHidBus bus_;
  std::filesystem::path folder_;
};

TEST_F(AnsibleCollection, FirstRunWritesTheReaderAndTheSecondSendsNothing) {
  EmulatedReader& reader = bus_.AddReader();

  const ProgramRun first = Playbook({"rdrconf.fleet.apply_profile"});
  RecordProperty("first_run", first.out);

  ASSERT_EQ(first.status, 0) << first.out << first.err;
  EXPECT_EQ(TaskResult(first.out, kApplyTask), "changed: [localhost]") << first.out;
  // The profile's folder, the profile and the reader.
  EXPECT_EQ(Recap(first.out)["changed"], 3) << first.out;
  EXPECT_THAT(BytesOf(reader.Reports()), ElementsAre(kOpenNotice, kHeader, kProfileChunk, kCloseNotice))
      << Trace(reader);
  EXPECT_EQ(reader.Settings(), kProfileBlock);
  EXPECT_EQ(ReadBytes(InstalledProfile().string()), kProfile);
  struct stat installed {};
  ASSERT_EQ(stat(InstalledProfile().c_str(), &installed), 0);
  EXPECT_EQ(installed.st_mode & 07777, 0644u);
  // What was written went into the system's record, where the udev-started
  // unit finds it.
  const std::map<std::string, RecordEntry> recorded = SettingsRecord(SystemRecord().string()).Read();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded.begin()->second.settings.Block(), kProfileBlock);
  reader.ClearRecords();

  const ProgramRun second = Playbook({"rdrconf.fleet.apply_profile"});
  RecordProperty("second_run", second.out);

  ASSERT_EQ(second.status, 0) << second.out << second.err;
  EXPECT_EQ(TaskResult(second.out, kApplyTask), "ok: [localhost]") << second.out;
  EXPECT_EQ(Recap(second.out)["changed"], 0) << second.out;
  EXPECT_THAT(reader.Reports(), IsEmpty()) << Trace(reader);
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
}

TEST_F(AnsibleCollection, CheckModeSendsNothingAndLeavesNothingBehind) {
  EmulatedReader& reader = bus_.AddReader();

  const ProgramRun run = Playbook({"rdrconf.fleet.apply_profile", "--check", "--diff"});
  RecordProperty("check_run", run.out);

  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // The new profile is not installed yet: the preview is of the new one.
  EXPECT_EQ(TaskResult(run.out, kApplyTask), "changed: [localhost]") << run.out;
  EXPECT_THAT(run.out, HasSubstr("-mode: unknown\n")) << run.out;
  EXPECT_THAT(run.out, HasSubstr("+mode: passive\n")) << run.out;
  EXPECT_THAT(run.out, HasSubstr("+format: 8h10d (5)\n")) << run.out;
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
  EXPECT_FALSE(std::filesystem::exists(InstalledProfile()));
  EXPECT_FALSE(std::filesystem::exists(SystemRecord()));
  // The copy the preview read is gone.
  EXPECT_TRUE(std::filesystem::is_empty(folder_ / "tmp"));
}

TEST_F(AnsibleCollection, ABadProfileIsNeverInstalled) {
  EmulatedReader& reader = bus_.AddReader();
  WriteBytes((folder_ / "profile.json").string(), R"({"rdrconf_profile": 1,
  "settings": {"format": "8h10d", "mode": "sideways", "enter": false, "power_saving": true}})");

  const ProgramRun run = Playbook({"rdrconf.fleet.apply_profile"});

  EXPECT_NE(run.status, 0) << run.out;
  const std::string result = TaskResult(run.out, "Install the profile, refusing one that rdrconf-cli cannot use");
  const Json failure = FailureOf(result);
  ASSERT_TRUE(failure.is_object()) << run.out;
  EXPECT_EQ(failure.value("msg", ""), "failed to validate") << run.out;
  EXPECT_THAT(failure.value("stderr", ""), HasSubstr(R"("mode" must be "active" or "passive")")) << run.out;
  EXPECT_THAT(run.out, Not(HasSubstr("TASK [" + std::string(kApplyTask) + "]"))) << run.out;
  EXPECT_FALSE(std::filesystem::exists(InstalledProfile()));
  EXPECT_EQ(reader.Opens(), 0);
  EXPECT_THAT(reader.FeatureRequests(), IsEmpty());
}

// A host whose reader is not plugged in: the profile is installed (the
// system unit gives it to the reader when it comes), and the module fails
// with what rdrconf-cli itself says.
TEST_F(AnsibleCollection, NoReaderInstallsTheProfileAndFailsWithRdrconfsReason) {
  const ProgramRun direct = Run(RDRCONF_CLI_PROGRAM, {"apply", "--json", "--system", "--profile",
                                                      (folder_ / "profile.json").string()});
  ASSERT_EQ(direct.status, 3) << direct.out << direct.err;
  const Json document = Json::parse(direct.out, nullptr, false);
  ASSERT_TRUE(document.is_object()) << direct.out;
  std::string reason = document.value("message", "");
  if (reason.empty()) reason = direct.err.substr(0, direct.err.find_last_not_of('\n') + 1);
  ASSERT_FALSE(reason.empty()) << direct.out << direct.err;

  const ProgramRun run = Playbook({"rdrconf.fleet.apply_profile"});

  EXPECT_NE(run.status, 0) << run.out;
  EXPECT_EQ(TaskResult(run.out, "Install the profile, refusing one that rdrconf-cli cannot use"),
            "changed: [localhost]") << run.out;
  EXPECT_EQ(ReadBytes(InstalledProfile().string()), kProfile);
  const Json failure = FailureOf(TaskResult(run.out, kApplyTask));
  ASSERT_TRUE(failure.is_object()) << run.out;
  EXPECT_EQ(failure.value("msg", ""), reason) << run.out;
  EXPECT_EQ(failure.value("rc", -1), 3) << run.out;
  EXPECT_EQ(failure.value("changed", true), false) << run.out;
  EXPECT_EQ(failure.value("readers", Json()), Json::array()) << run.out;
}

TEST_F(AnsibleCollection, TheModuleCompilesAndItsDocumentationRenders) {
  const std::string module = std::string(ANSIBLE_COLLECTIONS) +
                             "/ansible_collections/rdrconf/fleet/plugins/modules/rdrconf_reader.py";
  const ProgramRun compiled =
      Run("/usr/bin/python3", {"-c", "import py_compile, sys; py_compile.compile(sys.argv[1], sys.argv[2], doraise=True)",
                               module, (folder_ / "tmp" / "rdrconf_reader.pyc").string()});
  EXPECT_EQ(compiled.status, 0) << compiled.err;

  const ProgramRun doc = Run(ANSIBLE_DOC, {"rdrconf.fleet.rdrconf_reader"});
  EXPECT_EQ(doc.status, 0) << doc.out << doc.err;
  EXPECT_THAT(doc.out, StartsWith("> RDRCONF.FLEET.RDRCONF_READER")) << doc.out << doc.err;
  for (const char* part : {"- busy_retries", "- profile", "check_mode:", "EXAMPLES:", "RETURN VALUES:", "- readers"}) {
    EXPECT_THAT(doc.out, HasSubstr(part)) << doc.out;
  }
  EXPECT_THAT(doc.err, Not(HasSubstr("WARNING"))) << doc.err;
}

}  // namespace
}  // namespace rdrconf
