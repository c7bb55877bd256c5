// The HID host of the Windows build.
//
// Why not hidapi here, as on Linux: hidapi is not packaged for mingw-w64 in
// the package registries this project builds from, and its Windows back-end
// would have to be vendored and kept up to date by hand. The few services
// the reader needs (SetupDi* to list, CreateFileW to open, HidD_* for the
// ids and the two feature reports, CloseHandle) are called directly.
#include "reader/win32/Win32HidHost.h"

#include <windows.h>
// After windows.h, which they need. mingw-w64's HID headers declare C
// functions without saying so to C++.
extern "C" {
#include <hidsdi.h>  // with hidpi.h
}
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/SystemError.h"
#include "platform/Text.h"
#include "reader/ReaderProtocol.h"

namespace rdrconf {
namespace {

std::string Utf8(const wchar_t* text) { return text == nullptr ? std::string() : platform::Utf8(text); }

std::string SystemText(DWORD code) { return platform::SystemErrorText(static_cast<int>(code)); }

// A Windows error as the reader link tells outcomes apart: by the errno
// that the Linux host gives for the same case.
int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EWOULDBLOCK;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NO_SUCH_DEVINST:
    case ERROR_NOT_READY: return ENODEV;
    default: return EIO;
  }
}

HidError LastError(const std::string& what) {
  const DWORD code = GetLastError();
  return {ErrnoOf(code), what + ": " + SystemText(code)};
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The device paths this program holds a lock on, compared without case.
std::set<std::string>& HeldHere() {
  static std::set<std::string> held;
  return held;
}

// A handle that closes itself.
struct FileHandle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FileHandle() = default;
  explicit FileHandle(HANDLE h) : handle(h) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (IsOpen()) CloseHandle(handle);
  }
  bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    const HANDLE h = handle;
    handle = INVALID_HANDLE_VALUE;
    return h;
  }
};

// Opens an interface with no access to its reports, only to ask it about
// itself (attributes, strings): what Windows lets a program do even with a
// keyboard or a mouse that the system holds.
FileHandle OpenForQuery(const std::wstring& path) {
  return FileHandle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
}

using StringQuery = BOOLEAN(NTAPI*)(HANDLE, PVOID, ULONG);

std::string QueryString(HANDLE device, StringQuery query) {
  // USB string descriptors hold at most 126 UTF-16 units.
  wchar_t buffer[256] = {};
  if (!query(device, buffer, sizeof buffer - sizeof(wchar_t))) return {};
  return Utf8(buffer);
}

// The hardware ids of an interface's device, a list of NUL-ended strings.
std::vector<std::string> HardwareIds(HDEVINFO list, SP_DEVINFO_DATA& device) {
  std::vector<std::string> ids;
  DWORD type = 0;
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &size);
  if (size == 0) return ids;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr)) {
    return ids;
  }
  for (const wchar_t* id = buffer.data(); *id != L'\0'; id += std::wcslen(id) + 1) ids.push_back(Utf8(id));
  return ids;
}

int InterfaceNumberIn(const std::string& path) {
  const std::string lower = Lower(path);
  const std::size_t mi = lower.find("&mi_");
  if (mi == std::string::npos || mi + 6 > lower.size()) return -1;
  try {
    return std::stoi(lower.substr(mi + 4, 2), nullptr, 16);
  } catch (...) {
    return -1;
  }
}

bool IsReader(std::uint16_t vendorId, std::uint16_t productId) {
  return vendorId == kReaderVendorId && productId == kReaderProductId;
}

// One opened interface: its handle, the size of its feature reports as the
// device declares them, and the lock of the exchange.
struct OpenInterface {
  HANDLE file;
  std::size_t featureLength;
  DeviceLock lock;
};

OpenInterface& AsOpen(HidDeviceToken token) { return *reinterpret_cast<OpenInterface*>(token); }

// The length of the device's feature reports, report id included; 0 when
// the device does not say.
std::size_t FeatureLength(HANDLE file) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!HidD_GetPreparsedData(file, &preparsed)) return 0;
  HIDP_CAPS caps{};
  const bool ok = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
  HidD_FreePreparsedData(preparsed);
  return ok ? caps.FeatureReportByteLength : 0;
}

}  // namespace

// --- The lock ----------------------------------------------------------------

std::wstring DeviceLock::NameOf(const std::string& path) {
  // A kernel object's name may hold any character but '\', which separates
  // namespaces; device paths are full of them.
  std::wstring name = L"Global\\rdrconf-hid-";
  for (wchar_t c : platform::Wide(Lower(path))) name += c == L'\\' ? L'/' : c;
  // Names are at most MAX_PATH long; the tail of a device path (its class
  // guid) is the same for every HID interface, the head is what differs.
  if (name.size() >= MAX_PATH) name.resize(MAX_PATH - 1);
  return name;
}

std::optional<DeviceLock> DeviceLock::Take(const std::string& path, HidError& error) {
  const std::string key = Lower(path);
  if (HeldHere().count(key) != 0) {
    error = {EWOULDBLOCK, path + " is held by another exchange of this program"};
    return std::nullopt;
  }
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, NameOf(path).c_str());
  if (mutex == nullptr) {
    error = LastError("cannot make the lock of " + path);
    return std::nullopt;
  }
  // An abandoned mutex (its holder ended without letting go) is ours now.
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    error = waited == WAIT_TIMEOUT ? HidError{EWOULDBLOCK, path + " is held by another program"}
                                   : LastError("cannot take the lock of " + path);
    return std::nullopt;
  }
  HeldHere().insert(key);
  return DeviceLock(mutex, key);
}

bool DeviceLock::HeldElsewhere(const std::string& path) {
  if (HeldHere().count(Lower(path)) != 0) return false;
  // The mutex exists while a program holds it (or is taking or testing it
  // this moment); it is owned only by one that holds it.
  const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, NameOf(path).c_str());
  if (mutex == nullptr) return false;
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT;
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept
    : mutex_(std::exchange(other.mutex_, nullptr)), key_(std::move(other.key_)) {}

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept {
  if (this != &other) {
    Release();
    mutex_ = std::exchange(other.mutex_, nullptr);
    key_ = std::move(other.key_);
  }
  return *this;
}

DeviceLock::~DeviceLock() { Release(); }

void DeviceLock::Release() noexcept {
  if (mutex_ == nullptr) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
  mutex_ = nullptr;
  HeldHere().erase(key_);
}

// --- Names -------------------------------------------------------------------

std::optional<std::pair<std::uint16_t, std::uint16_t>> IdsInDeviceName(const std::string& name) {
  const std::string lower = Lower(name);
  const auto hexAfter = [&](const char* tag) -> std::optional<std::uint16_t> {
    const std::size_t at = lower.find(tag);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t start = at + std::char_traits<char>::length(tag);
    if (start + 4 > lower.size()) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = start; i < start + 4; ++i) {
      const char c = lower[i];
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return static_cast<std::uint16_t>(value);
  };
  const std::optional<std::uint16_t> vendor = hexAfter("vid_");
  const std::optional<std::uint16_t> product = hexAfter("pid_");
  if (!vendor || !product) return std::nullopt;
  return std::make_pair(*vendor, *product);
}

// --- The host ----------------------------------------------------------------

std::optional<std::vector<HidInterfaceInfo>> Win32HidHost::ListInterfaces(HidError& error) {
  openedByLastListing_ = 0;
  GUID hidGuid;
  HidD_GetHidGuid(&hidGuid);
  const HDEVINFO list = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) {
    error = LastError("listing the HID interfaces");
    return std::nullopt;
  }

  std::vector<HidInterfaceInfo> interfaces;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(list, nullptr, &hidGuid, index, &interfaceData)) {
      // The end of the list; any other failure ends it as well, with what
      // was listed so far (an interface that cannot be read is passed by).
      break;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<std::uint8_t> buffer(size + sizeof(wchar_t), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailW(list, &interfaceData, detail, size, nullptr, &device)) continue;

    HidInterfaceInfo info;
    const std::wstring path = detail->DevicePath;
    info.path = Utf8(path.c_str());
    info.interfaceNumber = InterfaceNumberIn(info.path);
    bool known = false;
    for (const std::string& id : HardwareIds(list, device)) {
      if (const auto ids = IdsInDeviceName(id)) {
        info.vendorId = ids->first;
        info.productId = ids->second;
        known = true;
        break;
      }
    }
    if (!known || IsReader(info.vendorId, info.productId)) {
      // The ids from the device itself (an interface whose hardware id names
      // none), and the reader's strings. An interface that does not open
      // even for that is passed by, as on Linux one that cannot be read is.
      FileHandle query = OpenForQuery(path);
      if (!query.IsOpen()) continue;
      ++openedByLastListing_;
      HIDD_ATTRIBUTES attributes{};
      attributes.Size = sizeof attributes;
      if (!HidD_GetAttributes(query.handle, &attributes)) continue;
      info.vendorId = attributes.VendorID;
      info.productId = attributes.ProductID;
      if (IsReader(info.vendorId, info.productId)) {
        info.serialNumber = QueryString(query.handle, HidD_GetSerialNumberString);
        info.manufacturer = QueryString(query.handle, HidD_GetManufacturerString);
        info.product = QueryString(query.handle, HidD_GetProductString);
      }
    }
    interfaces.push_back(std::move(info));
  }
  SetupDiDestroyDeviceInfoList(list);
  return interfaces;
}

bool Win32HidHost::MayOpen(const std::string&) { return true; }

bool Win32HidHost::HeldByAnotherProgram(const std::string& path) { return DeviceLock::HeldElsewhere(path); }

HidDeviceToken Win32HidHost::Open(const std::string& path, HidError& error) {
  // What the path itself says comes first: an interface that names other
  // ids is never opened at all.
  if (const auto ids = IdsInDeviceName(path); ids && !IsReader(ids->first, ids->second)) {
    error = {ENODEV, path + " is not the reader (1d57:ac08)"};
    return 0;
  }
  std::optional<DeviceLock> lock = DeviceLock::Take(path, error);
  if (!lock) return 0;

  const std::wstring widePath = platform::Wide(path);
  // Feature reports want read and write access where the system grants it;
  // where it does not, the reader's own software opened it with none, and
  // the HID class services still carry feature reports on such a handle.
  FileHandle file(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsOpen() && GetLastError() == ERROR_ACCESS_DENIED) file.handle = OpenForQuery(widePath).Release();
  if (!file.IsOpen()) {
    error = LastError("cannot open " + path);
    return 0;
  }
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  if (!HidD_GetAttributes(file.handle, &attributes)) {
    error = LastError("cannot read the ids of " + path);
    return 0;
  }
  if (!IsReader(attributes.VendorID, attributes.ProductID)) {
    error = {ENODEV, path + " is not the reader (1d57:ac08)"};
    return 0;
  }
  const std::size_t featureLength = std::max(FeatureLength(file.handle), kFeatureReportSize);
  return reinterpret_cast<HidDeviceToken>(new OpenInterface{file.Release(), featureLength, *std::move(lock)});
}

bool Win32HidHost::SetFeature(HidDeviceToken device, const FeatureReport& report, HidError& error) {
  OpenInterface& open = AsOpen(device);
  // A device that declares longer feature reports gets the rest as zeros.
  std::vector<std::uint8_t> buffer(open.featureLength, 0);
  std::copy(report.begin(), report.end(), buffer.begin());
  if (HidD_SetFeature(open.file, buffer.data(), static_cast<ULONG>(buffer.size()))) return true;
  error = LastError("HidD_SetFeature");
  return false;
}

int Win32HidHost::GetFeature(HidDeviceToken device, FeatureReport& report, HidError& error) {
  OpenInterface& open = AsOpen(device);
  std::vector<std::uint8_t> buffer(open.featureLength, 0);
  buffer[0] = report[0];
  if (!HidD_GetFeature(open.file, buffer.data(), static_cast<ULONG>(buffer.size()))) {
    error = LastError("HidD_GetFeature");
    return -1;
  }
  // The class driver fills the whole report or fails: there is no short
  // answer to tell on Windows.
  std::copy(buffer.begin(), buffer.begin() + kFeatureReportSize, report.begin());
  return static_cast<int>(kFeatureReportSize);
}

void Win32HidHost::Close(HidDeviceToken device) {
  OpenInterface* const open = &AsOpen(device);
  CloseHandle(open->file);
  delete open;  // lets go of the lock
}

}  // namespace rdrconf
