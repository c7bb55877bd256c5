#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

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
