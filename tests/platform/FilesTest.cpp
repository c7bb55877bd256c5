// The files the tool keeps, as every caller gets them: a read that never
// blocks on a FIFO or a device and stops at its limit, a replacement that
// leaves the old file or the new one and nothing else, a rename that never
// replaces, folders made private, and a folder lock that a second writer
// waits for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/Files.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf::platform {
namespace {

using ::testing::HasSubstr;

class FilesTest : public test::ScratchFolderTest {};

TEST_F(FilesTest, ReadsAWholeRegularFileAndSaysWhyOtherwise) {
  test::WriteBytes("file", std::string(10000, 'x'));
  chmod("file", 0640);
  FileContent read = ReadRegularFile("file");
  EXPECT_EQ(read.status, ReadStatus::kRead);
  EXPECT_EQ(read.content.size(), 10000u);
  EXPECT_EQ(read.permissions, 0640u);

  EXPECT_EQ(ReadRegularFile("file", 9999).status, ReadStatus::kTooLarge);
  EXPECT_EQ(ReadRegularFile("file", 9999).content, "");
  EXPECT_EQ(ReadRegularFile("missing").status, ReadStatus::kMissing);
  EXPECT_EQ(ReadRegularFile("missing/inside").status, ReadStatus::kMissing);
  EXPECT_EQ(ReadRegularFile("file/inside").status, ReadStatus::kMissing);
  std::filesystem::create_directory("folder");
  EXPECT_EQ(ReadRegularFile("folder").status, ReadStatus::kNotRegular);
  EXPECT_EQ(ReadRegularFile("folder").Problem(), "not a regular file");
  // A FIFO with no writer would hold a blocking open forever; a device would
  // be read without end.
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  EXPECT_EQ(ReadRegularFile("fifo").status, ReadStatus::kNotRegular);
  EXPECT_EQ(ReadRegularFile("/dev/zero").status, ReadStatus::kNotRegular);
  EXPECT_FALSE(IsRegularFile("fifo"));
  EXPECT_FALSE(IsRegularFile("folder"));
  EXPECT_TRUE(IsRegularFile("file"));
}

TEST_F(FilesTest, ReplacingLeavesTheNewFileAndNothingElse) {
  SystemError error;
  ASSERT_TRUE(ReplaceFileAtomically("file", "first", std::nullopt, error)) << error.text;
  ASSERT_TRUE(ReplaceFileAtomically("file", "second", 0640u, error)) << error.text;
  EXPECT_EQ(test::ReadBytes("file"), "second");
  struct stat info {};
  ASSERT_EQ(stat("file", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_THAT(FolderEntries(), ::testing::ElementsAre("file"));
}

TEST_F(FilesTest, ReplacingALinkReplacesItsTarget) {
  std::filesystem::create_directory("elsewhere");
  test::WriteBytes("elsewhere/target", "old");
  std::filesystem::create_symlink("elsewhere/target", "link");
  SystemError error;
  ASSERT_TRUE(ReplaceFileAtomically("link", "new", std::nullopt, error)) << error.text;
  EXPECT_TRUE(std::filesystem::is_symlink("link"));
  EXPECT_EQ(test::ReadBytes("elsewhere/target"), "new");

  std::filesystem::create_symlink("elsewhere/nothing/there", "dangling");
  EXPECT_FALSE(ReplaceFileAtomically("dangling", "x", std::nullopt, error));
  EXPECT_THAT(error.text, HasSubstr("leads nowhere"));
}

TEST_F(FilesTest, ARenameThatMayNotReplaceNeverLosesEitherFile) {
  test::WriteBytes("old", "old");
  test::WriteBytes("taken", "taken");
  SystemError error;
  EXPECT_EQ(RenameWithoutReplacing("old", "taken", error), RenameStatus::kTaken);
  EXPECT_EQ(test::ReadBytes("old"), "old");
  EXPECT_EQ(test::ReadBytes("taken"), "taken");
  EXPECT_EQ(RenameWithoutReplacing("old", "aside", error), RenameStatus::kRenamed);
  EXPECT_EQ(test::ReadBytes("aside"), "old");
  EXPECT_THAT(FolderEntries(), ::testing::UnorderedElementsAre("aside", "taken"));

  // A link is moved itself; what it leads to stays where it is.
  std::filesystem::create_symlink("taken", "link");
  EXPECT_EQ(RenameWithoutReplacing("link", "moved", error), RenameStatus::kRenamed);
  EXPECT_TRUE(std::filesystem::is_symlink("moved"));
  EXPECT_EQ(test::ReadBytes("taken"), "taken");

  EXPECT_EQ(RenameWithoutReplacing("missing", "elsewhere", error), RenameStatus::kFailed);
  EXPECT_THAT(error.text, HasSubstr("cannot rename missing to elsewhere: No such file"));
}

TEST_F(FilesTest, AFailedReplacementKeepsTheOldFileAndLeavesNoTemporaryOne) {
  test::WriteBytes("file", "old");
  {
    // A write limit stops even root, whom permission bits do not.
    test::FileSizeLimit limit(2);
    SystemError error;
    EXPECT_FALSE(ReplaceFileAtomically("file", "too long for the limit", std::nullopt, error));
    EXPECT_THAT(error.text, HasSubstr("cannot write"));
    EXPECT_NE(error.number, 0);
  }
  EXPECT_EQ(test::ReadBytes("file"), "old");
  EXPECT_THAT(FolderEntries(), ::testing::ElementsAre("file"));
}

TEST_F(FilesTest, FoldersAreMadeForThisUserAloneAndAFileInTheWayIsNamed) {
  SystemError error;
  ASSERT_TRUE(MakeFolders((folder_ / "a" / "b" / "c").string(), error)) << error.text;
  ASSERT_TRUE(MakeFolders((folder_ / "a" / "b" / "c").string() + "/", error)) << error.text;
  struct stat info {};
  ASSERT_EQ(stat("a/b", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  test::WriteBytes("file", "");
  EXPECT_FALSE(MakeFolders((folder_ / "file" / "inside").string(), error));
  EXPECT_THAT(error.text, HasSubstr("cannot create the folder " + (folder_ / "file" / "inside").string()));
  EXPECT_EQ(FolderOf("/a/b/c.json"), "/a/b/");
  EXPECT_EQ(FolderOf("c.json"), "./");
}

TEST_F(FilesTest, ASecondLockWaitsForTheFirstAndIsRefusedWhenItHangs) {
  SystemError error;
  FolderLock first = FolderLock::Take(folder_.string(), error);
  ASSERT_TRUE(first.Held()) << error.text;
  // Held for good: the second is refused once its patience ends.
  EXPECT_FALSE(FolderLock::Take(folder_.string(), error).Held());
  EXPECT_THAT(error.text, HasSubstr("another program holds its lock"));

  // Let go soon after: the second gets it.
  std::thread releaser([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    first = FolderLock();
  });
  const FolderLock second = FolderLock::Take(folder_.string(), error);
  releaser.join();
  EXPECT_TRUE(second.Held()) << error.text;

  EXPECT_FALSE(FolderLock::Take((folder_ / "missing").string(), error).Held());
  EXPECT_THAT(error.text, HasSubstr("cannot open the folder"));
}

}  // namespace
}  // namespace rdrconf::platform
