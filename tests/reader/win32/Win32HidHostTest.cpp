// The HID host of the Windows build, over the system's own HID services
// (under wine: its two virtual HID devices, a mouse and a keyboard of
// vendor 845E, and no reader), and its lock of one program at a time.
#include "reader/win32/Win32HidHost.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "reader/CardReader.h"
#include "reader/ReaderProtocol.h"

namespace rdrconf {
namespace {

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A path that has the reader's ids, as Windows spells a HID interface's
// path, but names no device present.
const std::string kAbsentReader =
    "\\\\?\\hid#vid_1d57&pid_ac08#0&absent&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Passes every request on to the real host and records which paths were
// opened.
class RecordingHost final : public HidHost {
 public:
  explicit RecordingHost(HidHost& real) : real_(real) {}
  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError& error) override {
    auto listed = real_.ListInterfaces(error);
    if (listed) lastListing = *listed;
    return listed;
  }
  bool MayOpen(const std::string& path) override { return real_.MayOpen(path); }
  bool HeldByAnotherProgram(const std::string& path) override { return real_.HeldByAnotherProgram(path); }
  HidDeviceToken Open(const std::string& path, HidError& error) override {
    opened.push_back(path);
    return real_.Open(path, error);
  }
  bool SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) override {
    return real_.SetFeature(device, report, error);
  }
  int GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) override {
    return real_.GetFeature(device, report, error);
  }
  void Close(HidDeviceToken device) override { real_.Close(device); }

  std::vector<HidInterfaceInfo> lastListing;
  std::vector<std::string> opened;

 private:
  HidHost& real_;
};

TEST(DeviceNameTest, IdsComeFromHardwareIdsAndPathsInAnyCase) {
  using Ids = std::optional<std::pair<std::uint16_t, std::uint16_t>>;
  EXPECT_EQ(IdsInDeviceName("HID\\VID_1D57&PID_AC08&REV_0100"), Ids({0x1D57, 0xAC08}));
  EXPECT_EQ(IdsInDeviceName(kAbsentReader), Ids({0x1D57, 0xAC08}));
  EXPECT_EQ(IdsInDeviceName("\\\\?\\hid#vid_845e&pid_0001&mi_00#1&2d595ca7&0&0000#{guid}"), Ids({0x845E, 0x0001}));
  EXPECT_EQ(IdsInDeviceName("HID_DEVICE_SYSTEM_MOUSE"), std::nullopt);
  EXPECT_EQ(IdsInDeviceName("HID\\VID_1D5&PID_AC08"), std::nullopt) << "four hex digits each";
  EXPECT_EQ(IdsInDeviceName("HID\\VID_1D57&PID_AC0"), std::nullopt);
  EXPECT_EQ(IdsInDeviceName("HID\\VID_XYZW&PID_AC08"), std::nullopt);
}

TEST(DeviceNameTest, LockNameIsTheSameForEverySpellingAndHasNoBackslashOfItsOwn) {
  std::string upper = kAbsentReader;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(DeviceLock::NameOf(kAbsentReader), DeviceLock::NameOf(upper));
  const std::wstring name = DeviceLock::NameOf(kAbsentReader);
  ASSERT_EQ(name.rfind(L"Global\\", 0), 0u);
  EXPECT_EQ(name.find(L'\\', 7), std::wstring::npos);
  EXPECT_NE(DeviceLock::NameOf(kAbsentReader), DeviceLock::NameOf(kAbsentReader + "x"));
}

TEST(Win32HidHostTest, ListingGivesEachInterfaceWithTheIdsItsPathNames) {
  Win32HidHost host;
  HidError error;
  const auto listed = host.ListInterfaces(error);
  ASSERT_TRUE(listed.has_value()) << error.text;
  for (const HidInterfaceInfo& info : *listed) {
    SCOPED_TRACE(info.path);
    EXPECT_EQ(info.path.rfind("\\\\?\\", 0), 0u) << "a device path";
    if (const auto ids = IdsInDeviceName(info.path)) {
      EXPECT_EQ(info.vendorId, ids->first);
      EXPECT_EQ(info.productId, ids->second);
    }
    EXPECT_TRUE(host.MayOpen(info.path));
    EXPECT_FALSE(host.HeldByAnotherProgram(info.path));
  }
  if (UnderWine()) {
    // Wine's own virtual devices are there to be passed by; their hardware
    // ids name their ids, so the listing opens neither.
    EXPECT_FALSE(listed->empty());
    EXPECT_EQ(host.OpenedByLastListing(), 0);
    for (const HidInterfaceInfo& info : *listed) {
      EXPECT_FALSE(info.vendorId == kReaderVendorId && info.productId == kReaderProductId) << info.path;
      EXPECT_TRUE(info.serialNumber.empty()) << "strings are read for the reader only";
    }
  }
}

TEST(Win32HidHostTest, SearchOpensNoInterfaceButTheReaders) {
  Win32HidHost real;
  RecordingHost host(real);
  const CardReader reader(host);
  const OpenedReader opened = reader.Open();
  if (!UnderWine()) GTEST_SKIP() << "a reader may be attached here";
  EXPECT_FALSE(opened.handle.IsOpen());
  EXPECT_EQ(opened.outcome.outcome, Outcome::kNoReader);
  EXPECT_FALSE(host.lastListing.empty()) << "there were interfaces to pass by";
  EXPECT_TRUE(host.opened.empty()) << host.opened.front();
  EXPECT_TRUE(reader.ListReaders().empty());
  EXPECT_EQ(reader.Status().state, ReaderState::kNoReader);
}

TEST(Win32HidHostTest, OpenRefusesEveryOtherDevice) {
  Win32HidHost host;
  HidError error;
  const auto listed = host.ListInterfaces(error);
  ASSERT_TRUE(listed.has_value()) << error.text;
  for (const HidInterfaceInfo& info : *listed) {
    if (info.vendorId == kReaderVendorId && info.productId == kReaderProductId) continue;
    SCOPED_TRACE(info.path);
    HidError refusal;
    EXPECT_EQ(host.Open(info.path, refusal), 0u);
    EXPECT_EQ(refusal.number, ENODEV);
    EXPECT_NE(refusal.text.find("is not the reader (1d57:ac08)"), std::string::npos) << refusal.text;
    EXPECT_FALSE(DeviceLock::HeldElsewhere(info.path));
  }
}

TEST(Win32HidHostTest, ReaderThatIsGoneIsNoReaderAndLeavesNoLockBehind) {
  Win32HidHost host;
  HidError error;
  EXPECT_EQ(host.Open(kAbsentReader, error), 0u);
  EXPECT_EQ(error.number, ENOENT) << error.text;
  EXPECT_NE(error.text.find("Windows error"), std::string::npos) << error.text;
  EXPECT_EQ(OpenFailure(error).outcome, Outcome::kNoReader);
  HidError again;
  EXPECT_TRUE(DeviceLock::Take(kAbsentReader, again).has_value()) << again.text;
}

TEST(DeviceLockTest, OneExchangeAtATimeWithinThisProgram) {
  HidError error;
  std::optional<DeviceLock> first = DeviceLock::Take(kAbsentReader, error);
  ASSERT_TRUE(first.has_value()) << error.text;
  EXPECT_FALSE(DeviceLock::HeldElsewhere(kAbsentReader)) << "this program holds it";

  HidError refused;
  EXPECT_FALSE(DeviceLock::Take(kAbsentReader, refused).has_value());
  EXPECT_EQ(refused.number, EWOULDBLOCK);
  Win32HidHost host;
  HidError busy;
  EXPECT_EQ(host.Open(kAbsentReader, busy), 0u);
  EXPECT_EQ(OpenFailure(busy).outcome, Outcome::kBusy) << busy.text;

  first.reset();
  EXPECT_TRUE(DeviceLock::Take(kAbsentReader, error).has_value()) << "free once let go";
}

// Another program that holds the lock: started from hold_device_lock.exe
// beside this test program, told when to let go.
class OtherProgram {
 public:
  explicit OtherProgram(const std::string& path) {
    const std::string suffix = std::to_string(GetCurrentProcessId());
    readyName_ = "Local\\rdrconf-test-ready-" + suffix;
    releaseName_ = "Local\\rdrconf-test-release-" + suffix;
    ready_ = CreateEventA(nullptr, TRUE, FALSE, readyName_.c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName_.c_str());
    char self[MAX_PATH];
    const std::string program(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string helper = program.substr(0, program.find_last_of("\\/") + 1) + "hold_device_lock.exe";
    std::string command = "\"" + helper + "\" \"" + path + "\" " + readyName_ + " " + releaseName_;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
      CloseHandle(process.hThread);
      process_ = process.hProcess;
    }
  }
  ~OtherProgram() {
    Release();
    CloseHandle(ready_);
    CloseHandle(release_);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  // Whether it started and took the lock (false when it ended before).
  bool WaitUntilHolding() {
    if (process_ == nullptr) return false;
    const HANDLE either[] = {ready_, process_};
    return WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
  }
  void Release() {
    if (process_ == nullptr) return;
    SetEvent(release_);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
    process_ = nullptr;
  }
  // Ends it without letting go, as a crash would.
  void Kill() {
    if (process_ == nullptr) return;
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
    process_ = nullptr;
  }

 private:
  std::string readyName_;
  std::string releaseName_;
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  HANDLE process_ = nullptr;
};

TEST(DeviceLockTest, AnotherProgramHoldingTheReaderMakesItBusyUntilItLetsGo) {
  Win32HidHost host;
  OtherProgram other(kAbsentReader);
  ASSERT_TRUE(other.WaitUntilHolding());
  EXPECT_TRUE(host.HeldByAnotherProgram(kAbsentReader));
  HidError error;
  EXPECT_EQ(host.Open(kAbsentReader, error), 0u);
  EXPECT_EQ(error.number, EWOULDBLOCK);
  EXPECT_EQ(error.text, kAbsentReader + " is held by another program");
  EXPECT_EQ(OpenFailure(error).outcome, Outcome::kBusy);

  other.Release();
  EXPECT_FALSE(host.HeldByAnotherProgram(kAbsentReader));
  HidError gone;
  EXPECT_EQ(host.Open(kAbsentReader, gone), 0u);
  EXPECT_EQ(gone.number, ENOENT) << "past the lock now: " << gone.text;
}

TEST(DeviceLockTest, ProgramThatEndsWithoutLettingGoFreesTheReader) {
  OtherProgram other(kAbsentReader);
  ASSERT_TRUE(other.WaitUntilHolding());
  EXPECT_TRUE(DeviceLock::HeldElsewhere(kAbsentReader));
  other.Kill();
  EXPECT_FALSE(DeviceLock::HeldElsewhere(kAbsentReader));
  HidError error;
  EXPECT_TRUE(DeviceLock::Take(kAbsentReader, error).has_value()) << error.text;
}

}  // namespace
}  // namespace rdrconf
