// The reference of the list benchmarks: the plug-in's list query read
// directly on SQLite (every row, every column), as Google Benchmark runs it.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "bench/bench_data.h"

namespace labdocs::bench {

inline void SameQueryOnSqlite(benchmark::State& state, const std::string& database, Directory directory) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  const std::string sql = ListQuery(directory.tv_id);
  for (auto _ : state) {
    if (ReadAllRows(db, sql) != directory.documents) {
      state.SkipWithError("wrong row count");
      break;
    }
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * directory.documents);
}

}  // namespace labdocs::bench
