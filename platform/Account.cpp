#include "platform/Account.h"

namespace rdrconf::platform {
namespace {

// The layout of system.posix_acl_access: a 4-byte version, then 8-byte
// entries of a 2-byte tag, 2-byte permissions and a 4-byte id, all little
// endian as the kernel stores them.
constexpr std::uint32_t kAclVersion = 2;
constexpr std::uint16_t kAclUser = 0x02;
constexpr std::uint16_t kAclOwningGroup = 0x04;
constexpr std::uint16_t kAclGroup = 0x08;
constexpr std::uint16_t kAclMask = 0x10;
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::size_t kAclEntrySize = 8;

std::uint32_t LittleEndian(const std::string& bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace

std::vector<AclEntry> ParseAcl(const std::string& bytes) {
  std::vector<AclEntry> entries;
  if (bytes.size() < kAclHeaderSize || (bytes.size() - kAclHeaderSize) % kAclEntrySize != 0 ||
      LittleEndian(bytes, 0, 4) != kAclVersion) {
    return entries;
  }
  for (std::size_t at = kAclHeaderSize; at < bytes.size(); at += kAclEntrySize) {
    const auto tag = static_cast<std::uint16_t>(LittleEndian(bytes, at, 2));
    const std::uint32_t perms = LittleEndian(bytes, at + 2, 2) & 7u;
    const std::uint32_t id = LittleEndian(bytes, at + 4, 4);
    if (tag == kAclUser) entries.push_back({AclEntry::Kind::kUser, id, perms});
    if (tag == kAclGroup) entries.push_back({AclEntry::Kind::kGroup, id, perms});
    if (tag == kAclOwningGroup) entries.push_back({AclEntry::Kind::kOwningGroup, 0, perms});
    if (tag == kAclMask) entries.push_back({AclEntry::Kind::kMask, 0, perms});
  }
  return entries;
}

}  // namespace rdrconf::platform
