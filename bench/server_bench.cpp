// The documents' list on a laboratory's PostgreSQL server beside the same
// list on SQLite, in one run: a generated laboratory (bench_data.h) of
// LABDOCS_BENCH_DOCUMENTS documents (default 20000, so one directory of
// 10,000 and one of 1,000) in an SQLite file and in a schema of its own on
// the server that LABDOCS_BENCH_SERVER names (a libpq connection string),
// filled with the server's own bulk path (COPY). For each directory:
//  - InitViewData through the plug-in, on SQLite and on the server;
//  - the same query read directly on each (every row, every column, as
//    text: sqlite3_step, libpq's PQexec).
// Ratios printed after the runs.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "bench/bench_data.h"
#include "bench/bench_server_data.h"
#include "bench/same_query.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/session.h"
#include "runtime/services/environment.h"
#include "runtime/ole/variant.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace {

namespace fs = std::filesystem;
namespace bench = labdocs::bench;

// The plug-in loaded once, on a session that the benchmark switches.
struct Host {
  HMODULE plugin = nullptr;
  TInitViewData init_view_data = nullptr;

  explicit Host(const fs::path& home) {
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::gbk::FromUtf8(home.string()) + "/";
    rt::SetEnvironment(env);
    plugin = LoadLibraryA("labdocs.dll");
    if (!plugin) throw std::runtime_error("labdocs.dll not found");
    init_view_data = reinterpret_cast<TInitViewData>(
        reinterpret_cast<void (*)()>(GetProcAddress(plugin, rt::plugin::kInitViewData)));
  }
  ~Host() { FreeLibrary(plugin); }
};

struct Engine {
  std::string name;     // "SQLite", "PostgreSQL"
  std::string setting;  // the session's database
};

void ListDirectory(benchmark::State& state, Host* host, const Engine* engine, bench::Directory directory) {
  rt::OpenSession(engine->setting, rt::OpenMode::OpenExisting);
  const std::string params = "TV_ID=" + std::to_string(directory.tv_id) + ";TV_Name=" + bench::kCategory;
  const std::uint64_t statements = rt::CurrentDataSession().RoundTrips();
  for (auto _ : state) {
    VARIANT data;
    VariantInit(&data);
    std::int32_t result = -1;
    if (host->init_view_data(params.c_str(), &data, &result) != S_OK || result != 0) {
      state.SkipWithError("InitViewData failed");
      break;
    }
    VariantClear(&data);
  }
  // A list's exchanges with the server, or the statements SQLite stepped.
  state.counters["statements"] = benchmark::Counter(
      static_cast<double>(rt::CurrentDataSession().RoundTrips() - statements), benchmark::Counter::kAvgIterations);
  rt::CloseSession();
  state.SetItemsProcessed(state.iterations() * directory.documents);
}

void SameQueryOnServer(benchmark::State& state, const Engine* engine, bench::Directory directory) {
  PGconn* conn = PQconnectdb(engine->setting.c_str());
  const std::string sql = bench::ListQuery(directory.tv_id);
  for (auto _ : state) {
    PGresult* result = PQexec(conn, sql.c_str());
    if (PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != directory.documents) {
      state.SkipWithError(PQresultErrorMessage(result));
      PQclear(result);
      break;
    }
    std::size_t bytes = 0;
    for (int row = 0; row < PQntuples(result); ++row)
      for (int c = 0; c < PQnfields(result); ++c) bytes += static_cast<std::size_t>(PQgetlength(result, row, c));
    benchmark::DoNotOptimize(bytes);
    PQclear(result);
  }
  PQfinish(conn);
  state.SetItemsProcessed(state.iterations() * directory.documents);
}

class Collector : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (!run.error_occurred && run.iterations > 0)
        seconds[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
  }
};

void PrintRatio(const Collector& collector, const std::string& what, const std::string& measured,
                const std::string& reference) {
  const auto m = collector.seconds.find(measured);
  const auto r = collector.seconds.find(reference);
  if (m == collector.seconds.end() || r == collector.seconds.end()) {
    std::printf("%-46s not measured\n", what.c_str());
    return;
  }
  std::printf("%-46s %10.3f ms %10.3f ms %7.2fx\n", what.c_str(), m->second * 1e3, r->second * 1e3,
              m->second / r->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const char* server = std::getenv("LABDOCS_BENCH_SERVER");
  if (server == nullptr || *server == '\0') {
    std::fprintf(stderr, "server_bench: LABDOCS_BENCH_SERVER names no server\n");
    return 2;
  }
  const char* documents = std::getenv("LABDOCS_BENCH_DOCUMENTS");
  const std::int64_t total = documents && *documents ? std::atoll(documents) : 20000;
  try {
    const bench::Laboratory laboratory = bench::Plan(total);
    const fs::path home = fs::temp_directory_path() / ("labdocs-server-bench-" + std::to_string(::getpid()));
    fs::create_directories(home);
    const Engine sqlite{"SQLite", (home / "laboratory.db").string()};
    {
      rt::sqlite::Database database(sqlite.setting);
      database.AttachContentFile();
      std::fprintf(stderr, "generating %lld documents on SQLite...\n", static_cast<long long>(total));
      bench::Fill(database.Handle(), laboratory);
    }
    std::fprintf(stderr, "generating %lld documents on the server...\n", static_cast<long long>(total));
    const Engine postgres{"PostgreSQL", bench::FillServerSchema(server, "bench_" + std::to_string(total), laboratory)};

    Host host(home);
    Collector collector;
    for (const bench::Directory& directory : laboratory.measured) {
      const std::string size = "/" + std::to_string(directory.documents);
      for (const Engine* engine : {&sqlite, &postgres}) {
        benchmark::RegisterBenchmark(("InitViewData/" + engine->name + size).c_str(), ListDirectory, &host, engine,
                                     directory)
            ->Unit(benchmark::kMillisecond);
      }
      benchmark::RegisterBenchmark(("SameQuery/SQLite" + size).c_str(), bench::SameQueryOnSqlite, sqlite.setting,
                                   directory)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("SameQuery/PostgreSQL" + size).c_str(), SameQueryOnServer, &postgres, directory)
          ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks(&collector);
    std::printf("\n%lld documents in all                            measured    reference   ratio\n",
                static_cast<long long>(total));
    for (const bench::Directory& directory : laboratory.measured) {
      const std::string size = "/" + std::to_string(directory.documents);
      const std::string n = std::to_string(directory.documents);
      PrintRatio(collector, "InitViewData on the server, " + n + " / raw query", "InitViewData/PostgreSQL" + size,
                 "SameQuery/PostgreSQL" + size);
      PrintRatio(collector, "InitViewData on SQLite, " + n + " / raw query", "InitViewData/SQLite" + size,
                 "SameQuery/SQLite" + size);
      PrintRatio(collector, "InitViewData, " + n + ": server / SQLite", "InitViewData/PostgreSQL" + size,
                 "InitViewData/SQLite" + size);
    }
    std::fflush(stdout);
    fs::remove_all(home);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "server_bench: %s\n", error.what());
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
