// sqliteprovider against the SQLite C API and SQLiteCpp, on the same rows:
//   Insert  100,000 rows (integer, text, real) in one transaction; the
//           library both with the text set for every row and set once
//   Scan    step through them and read every column
//   Load    the whole result at once (DataTable against sqlite3_get_table)
// Every benchmark works on a fresh in-memory database. The work of each is
// a function of its own that is never inlined, so that callgrind counts
// its instructions alone; scripts/bench-instructions does that, each
// benchmark in a process of its own.
#include <SQLiteCpp/SQLiteCpp.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqliteprovider/sqliteprovider.h"

namespace {

constexpr int kRows = 100000;
const std::string kCreate = "CREATE TABLE t(id INTEGER, name TEXT, score REAL)";
const std::string kInsert = "INSERT INTO t(id, name, score) VALUES (?, ?, ?)";
const std::string kSelect = "SELECT id, name, score FROM t";

struct Row {
  std::int64_t id;
  std::string name;
  double score;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> all = [] {
    std::vector<Row> made;
    made.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      made.push_back({i, "row " + std::to_string(i) + " of the benchmark", i * 0.5 + 0.25});
    }
    return made;
  }();
  return all;
}

void check(int result, int expected, sqlite3* db) {
  if (result != expected) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
}

// The C API: one statement, rebound for every row.
[[gnu::noinline]] void insertCApi(sqlite3* db) {
  check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK, db);
  sqlite3_stmt* insert = nullptr;
  check(sqlite3_prepare_v2(db, kInsert.c_str(), -1, &insert, nullptr), SQLITE_OK, db);
  for (const Row& row : rows()) {
    sqlite3_bind_int64(insert, 1, row.id);
    sqlite3_bind_text(insert, 2, row.name.data(), static_cast<int>(row.name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, row.score);
    check(sqlite3_step(insert), SQLITE_DONE, db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK, db);
}

sqlite3* openCApi(bool filled) {
  sqlite3* db = nullptr;
  check(sqlite3_open(":memory:", &db), SQLITE_OK, db);
  check(sqlite3_exec(db, kCreate.c_str(), nullptr, nullptr, nullptr), SQLITE_OK, db);
  if (filled) {
    insertCApi(db);
  }
  return db;
}

// sqliteprovider with the text set for every row: text, values, run.
[[gnu::noinline]] void insertLibrary(const sqliteprovider::Connection& db) {
  sqliteprovider::Transaction transaction = db.beginTransaction();
  sqliteprovider::Command insert(db);
  for (const Row& row : rows()) {
    insert.setCommandText(kInsert);
    insert.appendParameter(1, static_cast<long long>(row.id));
    insert.appendParameter(2, row.name);
    insert.appendParameter(3, row.score);
    insert.executeNonQuery();
  }
  transaction.commit();
}

// sqliteprovider, the text set once: a finished run leaves the command
// ready for the next values.
[[gnu::noinline]] void insertLibraryRerun(const sqliteprovider::Connection& db) {
  sqliteprovider::Transaction transaction = db.beginTransaction();
  sqliteprovider::Command insert(db, kInsert);
  for (const Row& row : rows()) {
    insert.appendParameter(1, static_cast<long long>(row.id));
    insert.appendParameter(2, row.name);
    insert.appendParameter(3, row.score);
    insert.executeNonQuery();
  }
  transaction.commit();
}

void openLibrary(sqliteprovider::Connection& db, bool filled) {
  db.open();
  sqliteprovider::Command(db, kCreate).executeNonQuery();
  if (filled) {
    insertLibrary(db);
  }
}

[[gnu::noinline]] void insertSQLiteCpp(SQLite::Database& db) {
  SQLite::Transaction transaction(db);
  SQLite::Statement insert(db, kInsert);
  for (const Row& row : rows()) {
    insert.bind(1, row.id);
    insert.bind(2, row.name);
    insert.bind(3, row.score);
    insert.exec();
    insert.reset();
  }
  transaction.commit();
}

SQLite::Database openSQLiteCpp(bool filled) {
  SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  db.exec(kCreate);
  if (filled) {
    insertSQLiteCpp(db);
  }
  return db;
}

void countRows(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kRows);
}

// Insert ---------------------------------------------------------------------
// The rows are made before the clock runs.

void BM_Insert_CApi(benchmark::State& state) {
  rows();
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3* db = openCApi(false);
    state.ResumeTiming();
    insertCApi(db);
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  countRows(state);
}

void insertThroughLibrary(benchmark::State& state, void (*insert)(const sqliteprovider::Connection&)) {
  rows();
  for (auto _ : state) {
    state.PauseTiming();
    {
      sqliteprovider::Connection db(":memory:");
      openLibrary(db, false);
      state.ResumeTiming();
      insert(db);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  countRows(state);
}

void BM_Insert_Library(benchmark::State& state) {
  insertThroughLibrary(state, insertLibrary);
}

void BM_Insert_LibraryRerun(benchmark::State& state) {
  insertThroughLibrary(state, insertLibraryRerun);
}

void BM_Insert_SQLiteCpp(benchmark::State& state) {
  rows();
  for (auto _ : state) {
    state.PauseTiming();
    {
      SQLite::Database db = openSQLiteCpp(false);
      state.ResumeTiming();
      insertSQLiteCpp(db);
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
  countRows(state);
}

// Scan -----------------------------------------------------------------------
// Each reads the integer, the text as a std::string and the real of every row.

[[gnu::noinline]] void scanCApi(sqlite3* db) {
  sqlite3_stmt* query = nullptr;
  check(sqlite3_prepare_v2(db, kSelect.c_str(), -1, &query, nullptr), SQLITE_OK, db);
  while (sqlite3_step(query) == SQLITE_ROW) {
    benchmark::DoNotOptimize(sqlite3_column_int64(query, 0));
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query, 1));
    std::string name(text, static_cast<std::size_t>(sqlite3_column_bytes(query, 1)));
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(sqlite3_column_double(query, 2));
  }
  sqlite3_finalize(query);
}

[[gnu::noinline]] void scanLibrary(const sqliteprovider::Connection& db) {
  sqliteprovider::Command query(db, kSelect);
  for (query.execute(); !query.isEof(); query.moveNext()) {
    benchmark::DoNotOptimize(query.getInt64(0));
    std::string name = query.getString(1);
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(query.getFloat(2));
  }
}

[[gnu::noinline]] void scanLibraryReader(const sqliteprovider::Connection& db) {
  sqliteprovider::Command query(db, kSelect);
  const sqliteprovider::DataReader reader = query.executeReader();
  while (reader.read()) {
    benchmark::DoNotOptimize(reader.getInt64(0));
    std::string name = reader.getString(1);
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(reader.getFloat(2));
  }
}

[[gnu::noinline]] void scanSQLiteCpp(SQLite::Database& db) {
  SQLite::Statement query(db, kSelect);
  while (query.executeStep()) {
    benchmark::DoNotOptimize(query.getColumn(0).getInt64());
    std::string name = query.getColumn(1).getString();
    benchmark::DoNotOptimize(name);
    benchmark::DoNotOptimize(query.getColumn(2).getDouble());
  }
}

void BM_Scan_CApi(benchmark::State& state) {
  sqlite3* db = openCApi(true);
  for (auto _ : state) {
    scanCApi(db);
  }
  sqlite3_close(db);
  countRows(state);
}

void BM_Scan_Library(benchmark::State& state) {
  sqliteprovider::Connection db(":memory:");
  openLibrary(db, true);
  for (auto _ : state) {
    scanLibrary(db);
  }
  countRows(state);
}

void BM_Scan_LibraryReader(benchmark::State& state) {
  sqliteprovider::Connection db(":memory:");
  openLibrary(db, true);
  for (auto _ : state) {
    scanLibraryReader(db);
  }
  countRows(state);
}

void BM_Scan_SQLiteCpp(benchmark::State& state) {
  SQLite::Database db = openSQLiteCpp(true);
  for (auto _ : state) {
    scanSQLiteCpp(db);
  }
  countRows(state);
}

// Load -----------------------------------------------------------------------

[[gnu::noinline]] void loadCApi(sqlite3* db) {
  char** result = nullptr;
  int rowCount = 0;
  int columnCount = 0;
  check(sqlite3_get_table(db, kSelect.c_str(), &result, &rowCount, &columnCount, nullptr), SQLITE_OK, db);
  benchmark::DoNotOptimize(result);
  sqlite3_free_table(result);
}

[[gnu::noinline]] void loadLibrary(const sqliteprovider::Connection& db) {
  sqliteprovider::DataTable table(db, kSelect);
  benchmark::DoNotOptimize(table);
}

void BM_Load_CApi(benchmark::State& state) {
  sqlite3* db = openCApi(true);
  for (auto _ : state) {
    loadCApi(db);
  }
  sqlite3_close(db);
  countRows(state);
}

void BM_Load_Library(benchmark::State& state) {
  sqliteprovider::Connection db(":memory:");
  openLibrary(db, true);
  for (auto _ : state) {
    loadLibrary(db);
  }
  countRows(state);
}

}  // namespace

BENCHMARK(BM_Insert_CApi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_LibraryRerun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_SQLiteCpp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_CApi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_LibraryReader)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan_SQLiteCpp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load_CApi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load_Library)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
