// Saving the language choice on storage that fails under it: each case runs
// with the working folder on a small tmpfs of its own, in the test process's
// private mount namespace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "i18n/Language.h"
#include "sqliteprovider/tests/support/PrivateTmpfs.h"
#include "tests/support/ScratchFolder.h"

namespace rdrconf {
namespace {

using test::ReadBytes;
using test::WriteBytes;

constexpr char kStoredChoice[] =
    "; chosen in the language dialog\n[config]\nlanguage=zh-CN\nfont=SimSun\n\n[window]\nx=120\n";
constexpr char kSavedChoice[] =
    "; chosen in the language dialog\n[config]\nlanguage=en-US\nfont=SimSun\n\n[window]\nx=120\n";

constexpr std::size_t kFileSystemBytes = 64 * 1024;
constexpr std::size_t kFileSystemInodes = 16;

// What a fault puts in the working folder to bring itself about.
constexpr char kFiller[] = "filler";

// The working folder's file system, and what a fault mounts on the choice
// file.
struct Storage {
  explicit Storage(const std::filesystem::path& folder)
      : fileSystem(folder, kFileSystemBytes, kFileSystemInodes) {}

  test::PrivateTmpfs fileSystem;
  std::optional<test::PrivateBindMount> onChoiceFile;
};

struct StorageFault {
  const char* name;
  void (*inflict)(Storage&);
  void (*clear)(Storage&);
};

void PrintTo(const StorageFault& fault, std::ostream* out) { *out << fault.name; }

void FillSpace(Storage&) {
  const int fd = open(kFiller, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  // Whole pages, the unit tmpfs hands out: nothing is left over afterwards.
  const std::string page(4096, 'f');
  while (write(fd, page.data(), page.size()) > 0) {
  }
  const int error = errno;
  close(fd);
  ASSERT_EQ(error, ENOSPC) << std::strerror(error);
}

void UseUpInodes(Storage&) {
  ASSERT_TRUE(std::filesystem::create_directory(kFiller));
  for (int i = 0;; ++i) {
    const std::string name = std::string(kFiller) + "/" + std::to_string(i);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      ASSERT_EQ(errno, ENOSPC) << std::strerror(errno);
      return;
    }
    close(fd);
  }
}

void RemoveFiller(Storage&) { std::filesystem::remove_all(kFiller); }

const StorageFault kFaults[] = {
    {"NoSpaceLeft", FillSpace, RemoveFiller},
    {"NoInodeLeft", UseUpInodes, RemoveFiller},
    {"ReadOnly",
     [](Storage& storage) {
       ASSERT_TRUE(storage.fileSystem.SetReadOnly(true)) << std::strerror(errno);
     },
     [](Storage& storage) {
       ASSERT_TRUE(storage.fileSystem.SetReadOnly(false)) << std::strerror(errno);
     }},
    // A file mounted into place on its own, as a container is given its
    // configuration, cannot be renamed over: the new content is written and
    // flushed in full, and only then is the rename refused.
    {"ChoiceFileIsAMountPoint",
     [](Storage& storage) {
       storage.onChoiceFile.emplace(test::kWorkingChoiceFile, test::kWorkingChoiceFile);
       ASSERT_EQ(storage.onChoiceFile->error(), "");
     },
     [](Storage& storage) { storage.onChoiceFile.reset(); }},
};

constexpr char kLanguageFile[] = "RDRCONF.zh-CN.ini";

class LanguageStorageFaultTest : public test::ScratchFolderTest,
                                 public ::testing::WithParamInterface<StorageFault> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ScratchFolderTest::SetUp());
    const std::string& unavailable = test::EnterPrivateMountNamespace();
    if (!unavailable.empty()) GTEST_SKIP() << "no private mount namespace: " << unavailable;
    storage_.emplace(folder_);
    ASSERT_EQ(storage_->fileSystem.error(), "");
    // The working folder is still the one the tmpfs now covers; entering it
    // anew lands on the tmpfs.
    std::filesystem::current_path(folder_);
    // A language file keeps the choice in the working folder.
    WriteBytes(kLanguageFile, "[language]\n");
    WriteBytes(test::kWorkingChoiceFile, kStoredChoice);
  }

  void TearDown() override {
    // Off before the folder is removed, which would fail on a mount point.
    storage_.reset();
    ScratchFolderTest::TearDown();
  }

  std::optional<Storage> storage_;
};

TEST_P(LanguageStorageFaultTest, FailedSaveKeepsTheStoredChoiceAndIsNotSticky) {
  const std::string choiceFile = std::filesystem::path(test::kWorkingChoiceFile).filename().string();
  ASSERT_NO_FATAL_FAILURE(GetParam().inflict(*storage_));
  const std::set<std::string> entries = FolderEntries();

  EXPECT_FALSE(SaveLanguageChoice(kEnglishCode));
  EXPECT_EQ(ReadBytes(test::kWorkingChoiceFile), kStoredChoice);
  EXPECT_EQ(FolderEntries(), entries);

  ASSERT_NO_FATAL_FAILURE(GetParam().clear(*storage_));
  EXPECT_TRUE(SaveLanguageChoice(kEnglishCode));
  EXPECT_EQ(ReadBytes(test::kWorkingChoiceFile), kSavedChoice);
  EXPECT_EQ(FolderEntries(), (std::set<std::string>{choiceFile, kLanguageFile}));
}

INSTANTIATE_TEST_SUITE_P(Faults, LanguageStorageFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<StorageFault>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace rdrconf
