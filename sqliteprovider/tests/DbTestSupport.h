#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "sqliteprovider/sqliteprovider.h"

namespace sqliteprovider::testing {

inline const std::string kMemoryPrefix = "Exception: Connection[:memory:]: ";

// The message of the sqliteprovider::Exception that action throws; a test
// failure when it throws none.
template <typename Action>
std::string messageOf(Action&& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no Exception was thrown";
  return "(nothing thrown)";
}

// The sqliteprovider::Exception that action throws; a test failure when it
// throws none (the result then carries a text of its own).
template <typename Action>
Exception exceptionOf(Action&& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e;
  }
  ADD_FAILURE() << "no Exception was thrown";
  return Exception("(nothing thrown)");
}

// A fresh folder for the files of one test, removed with everything in it.
class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // No mkdtemp there: a random name, made only when it is new.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      char name[40];
      std::snprintf(name, sizeof name, "sqliteprovider-test-%08x", static_cast<unsigned>(random()));
      if (std::filesystem::create_directory(base / name)) path_ = base / name;
    }
    if (path_.empty()) {
      throw std::runtime_error("cannot make a temporary folder");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "sqliteprovider-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
#endif
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// An open in-memory database with the table t(id, name, score).
class MemoryDbTest : public ::testing::Test {
 protected:
  MemoryDbTest() {
    db.open();
    run("CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, score REAL)");
  }

  int run(const std::string& sql) { return Command(db, sql).executeNonQuery(); }
  long long count(const std::string& table = "t") {
    return Command(db, "SELECT count(*) FROM " + table).executeInt64();
  }

  Connection db{":memory:"};
};

}  // namespace sqliteprovider::testing
