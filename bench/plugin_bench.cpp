// The plug-in's calls next to what they cannot avoid:
//  - InitViewData on a directory of 10,000 documents, next to the same query
//    run directly on SQLite (every row stepped, every column read);
//  - InitRightMenu for a selected directory, next to loading and unloading a
//    shared library plus opening and closing the database.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "runtime/data/database.h"
#include "runtime/host/environment.h"
#include "runtime/host/plugin_abi.h"
#include "runtime/host/sui_popup_menu.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDocuments = 10000;

const char* kDirectQuery =
    "Select a.ID,a.LABDOC_ID,'RIS_DOC' as FileTableName, a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,"
    "b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述, (select Max(ModifyTime) from DB_FILE_RECORD c "
    "Where FileTableName='RIS_DOC' and FileTableID=a.ID) as DISP_修改时间 From RIS_DOC a,DB_FILE_STORAGE b "
    "Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='12' Order by a.ID";

struct Host {
  fs::path home;
  fs::path database;
  HMODULE plugin = nullptr;
  TInitViewData init_view_data = nullptr;
  TInitRightMenu init_right_menu = nullptr;

  Host() {
    home = fs::temp_directory_path() / ("labdocs-bench-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    database = home / "labdocs.db";
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::gbk::FromUtf8(home.string()) + "/";
    rt::SetEnvironment(env);
    rt::OpenSession(database.string());
    Fill();
    plugin = LoadLibraryA("labdocs.dll");
    init_view_data = Resolve<TInitViewData>(rt::plugin::kInitViewData);
    init_right_menu = Resolve<TInitRightMenu>(rt::plugin::kInitRightMenu);
  }
  ~Host() {
    FreeLibrary(plugin);
    rt::CloseSession();
    fs::remove_all(home);
  }

  template <class T>
  T Resolve(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(plugin, name)));
  }

  // A directory of 10,000 stored documents, each with two audit rows, among
  // other directories' documents.
  static void Fill() {
    rt::Database& db = rt::Session();
    rt::Transaction transaction(db);
    for (int i = 1; i <= kDocuments * 2; ++i) {
      const std::string directory = i % 2 ? "12" : "13";
      db.ExecuteBound("INSERT INTO RIS_DOC(ID,LABDOC_ID,DocType,DESCS) VALUES(?,?,?,?)",
                      {std::int64_t{i}, std::int64_t{i}, directory, std::string("实验记录 第") + std::to_string(i)});
      db.ExecuteBound("INSERT INTO DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME) VALUES(?,?,?)",
                      {std::int64_t{i}, "报告" + std::to_string(i) + ".doc", std::string("2024-01-01 08:00:00.000")});
      for (const char* time : {"2024-01-01 08:00:00.000", "2024-02-01 08:00:00.000"})
        db.ExecuteBound("INSERT INTO DB_FILE_RECORD(FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,MODIFYTIME) "
                        "VALUES('RIS_DOC',?,?,'x',?)",
                        {std::int64_t{i}, std::int64_t{i}, std::string(time)});
    }
    transaction.Commit();
  }
};

Host& TheHost() {
  static Host host;
  return host;
}

void BM_InitViewData(benchmark::State& state) {
  Host& host = TheHost();
  for (auto _ : state) {
    VARIANT data;
    VariantInit(&data);
    std::int32_t result = -1;
    if (host.init_view_data("TV_ID=12;TV_Name=文档管理明细", &data, &result) != S_OK || result != 0)
      state.SkipWithError("InitViewData failed");
    VariantClear(&data);
  }
  state.SetItemsProcessed(state.iterations() * kDocuments);
}
BENCHMARK(BM_InitViewData)->Unit(benchmark::kMillisecond);

void BM_SameQueryOnSQLite(benchmark::State& state) {
  Host& host = TheHost();
  sqlite3* db = nullptr;
  sqlite3_open_v2(host.database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  const std::string sql = rt::gbk::ToUtf8(kDirectQuery);
  for (auto _ : state) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    std::size_t bytes = 0;
    int rows = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      ++rows;
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        sqlite3_column_text(statement, c);
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(statement, c));
      }
    }
    sqlite3_finalize(statement);
    if (rows != kDocuments) state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(bytes);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kDocuments);
}
BENCHMARK(BM_SameQueryOnSQLite)->Unit(benchmark::kMillisecond);

void BM_InitRightMenu(benchmark::State& state) {
  Host& host = TheHost();
  for (auto _ : state) {
    rt::TsuiPopupMenu menu(nullptr);
    std::int32_t result = -1;
    if (host.init_right_menu("TV_ID=12;DISP_名称=2019年度", 1, &menu, &result) != S_OK || result != 0)
      state.SkipWithError("InitRightMenu failed");
  }
}
BENCHMARK(BM_InitRightMenu)->Unit(benchmark::kMicrosecond);

void BM_LoadLibraryAndOpenDatabase(benchmark::State& state) {
  Host& host = TheHost();
  for (auto _ : state) {
    HMODULE probe = LoadLibraryA("bench_probe.dll");
    if (!probe) state.SkipWithError("probe library not found");
    sqlite3* db = nullptr;
    sqlite3_open_v2(host.database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_close(db);
    FreeLibrary(probe);
  }
}
BENCHMARK(BM_LoadLibraryAndOpenDatabase)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
