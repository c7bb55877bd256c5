#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "reader/HidHost.h"

namespace rdrconf {

// Held while one program exchanges frames with one HID interface: a named
// mutex per device path, in the machine-wide namespace ("Global\"), taken
// without waiting when the interface is opened and let go when it is
// closed. It stands in for the exclusive advisory lock that the Linux host
// takes on the device node: Windows has no lock on a device handle that
// other programs could test, and sharing the handle for reading and
// writing (which feature reports on a HID interface need) lets every
// program open it. A second program of ours is told "busy" and sends
// nothing; a program that is not ours is not stopped by it, no more than
// by flock on Linux.
class DeviceLock {
 public:
  // The lock on `path`, or std::nullopt when another holder has it (this
  // program included: a second exchange of ours on the same interface is
  // refused as another program's would be). `error` says which.
  static std::optional<DeviceLock> Take(const std::string& path, HidError& error);
  // Whether anyone but this program holds the lock on `path` now.
  static bool HeldElsewhere(const std::string& path);

  DeviceLock(DeviceLock&& other) noexcept;
  DeviceLock& operator=(DeviceLock&& other) noexcept;
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;
  ~DeviceLock();

  // The mutex's name for `path`: the same for every spelling of the path
  // that Windows takes as the same (letter case).
  static std::wstring NameOf(const std::string& path);

 private:
  DeviceLock(void* mutex, std::string key) : mutex_(mutex), key_(std::move(key)) {}
  void Release() noexcept;

  void* mutex_ = nullptr;  // HANDLE
  std::string key_;        // the path as compared within this program
};

// HidHost over the HID class services of Windows: SetupDiGetClassDevsW on
// HidD_GetHidGuid lists the interfaces; CreateFileW, then HidD_GetAttributes,
// opens one and checks its ids; HidD_SetFeature and HidD_GetFeature carry
// the 9-byte reports; CloseHandle closes it. Each interface's vendor and
// product id come from its hardware id (HID\VID_xxxx&PID_xxxx...), which
// the listing gives without opening anything; only an interface whose
// hardware id names no ids is opened, with no access to its reports, to
// read them with HidD_GetAttributes. The reader's own strings (its serial
// number above all, by which a person picks it) need an open handle: an
// interface with the reader's ids is opened, again with no access to its
// reports, to read them. An exchange (Open) is given only to an interface
// that HidD_GetAttributes shows to be 1d57:ac08, held with a DeviceLock
// from Open to Close.
class Win32HidHost final : public HidHost {
 public:
  Win32HidHost() = default;
  Win32HidHost(const Win32HidHost&) = delete;
  Win32HidHost& operator=(const Win32HidHost&) = delete;

  std::optional<std::vector<HidInterfaceInfo>> ListInterfaces(HidError& error) override;
  // A HID interface has no access rights per user on Windows: every user
  // may open it for feature reports. True for every path.
  bool MayOpen(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override;
  HidDeviceToken Open(const std::string& path, HidError& error) override;
  bool SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) override;
  int GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) override;
  void Close(HidDeviceToken device) override;

  // How many interfaces the last listing opened (with no access to their
  // reports) to learn their ids or the reader's strings.
  int OpenedByLastListing() const { return openedByLastListing_; }

 private:
  int openedByLastListing_ = 0;
};

// The vendor and product id that a hardware id or a device path names
// ("HID\VID_1D57&PID_AC08&REV_0100", "\\?\hid#vid_1d57&pid_ac08#..."), in
// any letter case; std::nullopt when it names none.
std::optional<std::pair<std::uint16_t, std::uint16_t>> IdsInDeviceName(const std::string& name);

}  // namespace rdrconf
