// A device node's access list as the kernel stores it, read into entries.
#include <gtest/gtest.h>

#include "platform/Account.h"

namespace rdrconf::platform {
namespace {

TEST(ParseAcl, ReadsTheNamedEntriesAndTheMask) {
  const auto entry = [](std::uint16_t tag, std::uint16_t perms, std::uint32_t id) {
    return std::string{static_cast<char>(tag), static_cast<char>(tag >> 8), static_cast<char>(perms), 0,
                       static_cast<char>(id), static_cast<char>(id >> 8), static_cast<char>(id >> 16),
                       static_cast<char>(id >> 24)};
  };
  const std::string header{2, 0, 0, 0};
  const std::string acl = header + entry(0x01, 6, 0xFFFFFFFF) + entry(0x02, 6, 1000) + entry(0x04, 4, 0xFFFFFFFF) +
                          entry(0x08, 6, 70000) + entry(0x10, 6, 0xFFFFFFFF) + entry(0x20, 0, 0xFFFFFFFF);
  const std::vector<AclEntry> entries = ParseAcl(acl);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].kind, AclEntry::Kind::kUser);
  EXPECT_EQ(entries[0].id, 1000u);
  EXPECT_EQ(entries[0].perms, 6u);
  EXPECT_EQ(entries[1].kind, AclEntry::Kind::kOwningGroup);
  EXPECT_EQ(entries[1].perms, 4u);
  EXPECT_EQ(entries[2].kind, AclEntry::Kind::kGroup);
  EXPECT_EQ(entries[2].id, 70000u);
  EXPECT_EQ(entries[3].kind, AclEntry::Kind::kMask);

  EXPECT_TRUE(ParseAcl("").empty());
  EXPECT_TRUE(ParseAcl(std::string{1, 0, 0, 0} + entry(0x02, 6, 1000)).empty());  // another version
  EXPECT_TRUE(ParseAcl(header + entry(0x02, 6, 1000).substr(0, 5)).empty());      // cut short
}

}  // namespace
}  // namespace rdrconf::platform
