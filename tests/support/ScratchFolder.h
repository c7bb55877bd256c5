#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// windows.h names this after its own A/W functions; ours is meant.
#undef WriteProfileString

#include <random>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
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

#ifndef _WIN32
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
#endif

// The language choice in a working folder that holds language files.
inline constexpr char kWorkingChoiceFile[] = "./RDRCONF.config";

// Sets environment variables for its lifetime, then puts back what was there
// (nullptr unsets a variable).
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) Put(name, value ? value->c_str() : nullptr);
  }

  void Set(const std::string& name, const char* value) {
    if (saved_.count(name) == 0) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    Put(name, value);
  }

 private:
  static void Put(const std::string& name, const char* value) {
#ifdef _WIN32
    // The C runtime's copy (getenv) and the system's (what the program
    // reads with GetEnvironmentVariableW) both.
    _putenv_s(name.c_str(), value ? value : "");
    SetEnvironmentVariableA(name.c_str(), value);
#else
    if (value) {
      setenv(name.c_str(), value, 1);
    } else {
      unsetenv(name.c_str());
    }
#endif
  }

  std::map<std::string, std::optional<std::string>> saved_;
};

// Runs each test in a fresh folder of its own, made the working directory,
// with HOME and the XDG folders inside it (so that no test reads or writes a
// real user's files, nor finds an installed copy of the language files),
// and puts the current language file back afterwards.
class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousFolder_ = std::filesystem::current_path();
#ifdef _WIN32
    // No mkdtemp there: a random name, made only when it is new.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("rdrconf-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) folder_ = candidate;
    }
    ASSERT_FALSE(folder_.empty());
    // Where the Windows build keeps the choice and a user's language files,
    // and the record of what was written to each reader.
    environment_.Set("APPDATA", (folder_ / "appdata").string().c_str());
    environment_.Set("LOCALAPPDATA", (folder_ / "localappdata").string().c_str());
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "rdrconf-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
#endif
    std::filesystem::current_path(folder_);
    environment_.Set("HOME", (folder_ / "home").string().c_str());
    environment_.Set("XDG_CONFIG_HOME", nullptr);
    environment_.Set("XDG_DATA_HOME", nullptr);
    environment_.Set("XDG_STATE_HOME", nullptr);
    environment_.Set("XDG_DATA_DIRS", (folder_ / "share").string().c_str());
    previousLanguageFile_ = TextCatalogue::Instance().Path();
  }

  void TearDown() override {
    TextCatalogue::Instance().SetPath(previousLanguageFile_);
    std::filesystem::current_path(previousFolder_);
    std::filesystem::remove_all(folder_);
  }

  ScopedEnvironment environment_;

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
