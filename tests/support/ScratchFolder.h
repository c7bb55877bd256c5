#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "i18n/Language.h"

namespace rdrconf::test {

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Caps the size of files the process may write, for its lifetime, so that
// a write fails even as root, whom permission bits do not stop. The signal
// that the kernel sends on the failed write is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int);
};

// Runs each test in a fresh folder of its own, made the working directory,
// and puts the current language file back afterwards.
class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousFolder_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "rdrconf-i18n-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    std::filesystem::current_path(folder_);
    previousLanguageFile_ = TextCatalogue::Instance().Path();
  }

  void TearDown() override {
    TextCatalogue::Instance().SetPath(previousLanguageFile_);
    std::filesystem::current_path(previousFolder_);
    std::filesystem::remove_all(folder_);
  }

  // Names in the scratch folder, to see that no temporary file stays behind.
  std::set<std::string> FolderEntries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  std::filesystem::path folder_;

 private:
  std::filesystem::path previousFolder_;
  std::string previousLanguageFile_;
};

}  // namespace rdrconf::test
