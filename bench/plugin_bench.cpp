// The plug-in's calls next to what they cannot avoid, on generated
// laboratories (bench_data.h) of each size in LABDOCS_BENCH_DOCUMENTS
// (comma-separated totals, default 20000,1000000):
//  - InitViewData on directories of 1k, 10k and 100k documents (as many as
//    the total holds), next to the same query run directly on SQLite (every
//    row stepped, every column read); beside it the peak of the process's
//    heap during the call (the packet's byte array included) against the
//    size of the packet it returns;
//  - InitRightMenu for a selected directory, next to its floor: what every
//    call must do, which is to load the document store, initialise it with
//    the plug-in's cache folder, release it and unload it (each call's form
//    does), and to open and close the database; beside it, loading and
//    unloading a library with nothing in it.
// After each size the ratios are printed. LABDOCS_BENCH_DATA names a folder
// where the generated databases are kept between runs (generating a million
// documents takes about a minute); without it they go with the run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "bench/same_query.h"
#include "labdoc/api.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/platform/platform.h"
#include "runtime/services/environment.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/services/sui_popup_menu.h"
#include "runtime/text/gbk.h"

// The heap in use, and its peak, for the whole process while a list is
// measured: every library's malloc, calloc and realloc (operator new comes
// through malloc), so the packet's own byte array and SQLite's memory count
// too. glibc's own functions do the work; outside the measured calls
// nothing is counted, so the other benchmarks pay nothing for it. A
// sanitizer build keeps the sanitizer's allocator: nothing is counted
// there, and the peak is reported as not measured.
namespace {
std::atomic<bool> counting{false};
std::atomic<std::int64_t> heap_in_use{0};
std::atomic<std::int64_t> heap_peak{0};
}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}

namespace {
void* Counted(void* p) {
  if (!p || !counting.load(std::memory_order_relaxed)) return p;
  const std::int64_t now = heap_in_use += static_cast<std::int64_t>(malloc_usable_size(p));
  std::int64_t peak = heap_peak.load(std::memory_order_relaxed);
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
// Blocks made before counting began and freed during it lower the count:
// the peak is taken above the count at the start, which they cannot raise.
void Uncount(void* p) {
  if (p && counting.load(std::memory_order_relaxed)) heap_in_use -= static_cast<std::int64_t>(malloc_usable_size(p));
}
}  // namespace

extern "C" {
void* malloc(std::size_t size) { return Counted(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return Counted(__libc_calloc(count, size)); }
void* realloc(void* p, std::size_t size) {
  Uncount(p);
  void* q = __libc_realloc(p, size);
  if (!q && size != 0 && p) Counted(p);  // failed: p is kept
  return Counted(q);
}
void free(void* p) {
  Uncount(p);
  __libc_free(p);
}
void* memalign(std::size_t alignment, std::size_t size) { return Counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* p = memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}
#endif

namespace {

namespace fs = std::filesystem;
namespace bench = labdocs::bench;

fs::path DatabaseFor(std::int64_t total, const fs::path& scratch) {
  const char* keep = std::getenv("LABDOCS_BENCH_DATA");
  const fs::path folder = keep && *keep ? fs::path(keep) : scratch;
  fs::create_directories(folder);
  const fs::path path = folder / ("laboratory-" + std::to_string(total) + ".db");
  if (!fs::exists(path)) {
    const fs::path partial = path.string() + ".new";
    fs::remove(partial);
    {
      rt::sqlite::Database database(partial.string());
      database.AttachContentFile();
      std::fprintf(stderr, "generating %lld documents...\n", static_cast<long long>(total));
      bench::Fill(database.Handle(), bench::Plan(total));
      sqlite3_exec(database.Handle(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    fs::rename(partial, path);
  }
  return path;
}

// The host process: a home folder, the session on the laboratory's
// database, the plug-in loaded once.
struct Host {
  bench::Laboratory laboratory;
  fs::path home;
  fs::path database;
  HMODULE plugin = nullptr;
  TInitViewData init_view_data = nullptr;
  TInitRightMenu init_right_menu = nullptr;

  explicit Host(std::int64_t total) : laboratory(bench::Plan(total)) {
    home = fs::temp_directory_path() / ("labdocs-bench-" + std::to_string(::getpid()));
    fs::create_directories(home);
    database = DatabaseFor(total, home);
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::gbk::FromUtf8(home.string()) + "/";
    rt::SetEnvironment(env);
    rt::OpenSession(database.string());
    plugin = LoadLibraryA("labdocs.dll");
    if (!plugin) throw std::runtime_error("labdocs.dll not found");
    init_view_data = Resolve<TInitViewData>(rt::plugin::kInitViewData);
    init_right_menu = Resolve<TInitRightMenu>(rt::plugin::kInitRightMenu);
  }
  ~Host() {
    FreeLibrary(plugin);
    rt::CloseSession();
    // The home folder goes with the run, and with it the laboratory unless
    // LABDOCS_BENCH_DATA keeps it elsewhere.
    std::error_code ignored;
    fs::remove_all(home, ignored);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  template <class T>
  T Resolve(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(plugin, name)));
  }
};

void ListDirectory(benchmark::State& state, Host* host, bench::Directory directory) {
  const std::string params = "TV_ID=" + std::to_string(directory.tv_id) + ";TV_Name=" + bench::kCategory;
  double packet_bytes = 0;
  double peak_bytes = 0;
  for (auto _ : state) {
    VARIANT data;
    VariantInit(&data);
    std::int32_t result = -1;
    const std::int64_t before = heap_in_use.load();
    heap_peak = before;
    counting = true;
    const HRESULT status = host->init_view_data(params.c_str(), &data, &result);
    counting = false;
    if (status != S_OK || result != 0 || V_VT(&data) == VT_EMPTY) {
      state.SkipWithError("InitViewData failed");
      break;
    }
    peak_bytes = static_cast<double>(heap_peak.load() - before);
    const SAFEARRAY* packet = V_ARRAY(&data);
    packet_bytes = static_cast<double>(packet->rgsabound[0].cElements) * packet->cbElements;
    VariantClear(&data);
  }
  state.counters["packet_bytes"] = packet_bytes;
  state.counters["peak_bytes"] = peak_bytes;
  state.SetItemsProcessed(state.iterations() * directory.documents);
}

void InitRightMenu(benchmark::State& state, Host* host) {
  const std::string params = "TV_ID=" + std::to_string(host->laboratory.directories.front().tv_id) + ";DISP_名称=2019";
  for (auto _ : state) {
    rt::TsuiPopupMenu menu(nullptr);
    std::int32_t result = -1;
    if (host->init_right_menu(params.c_str(), 1, &menu, &result) != S_OK || result != 0) {
      state.SkipWithError("InitRightMenu failed");
      break;
    }
  }
}

// The floor of every call: the store's whole life in a form, and the
// database opened and closed.
void StoreLifeAndDatabase(benchmark::State& state, Host* host) {
  const std::string cache_dir = rt::Environment().base_dir + "DocCache\\";
  std::vector<char> buffer(labdocs::kCacheDirBufferSize, '\0');
  cache_dir.copy(buffer.data(), buffer.size() - 1);
  for (auto _ : state) {
    HMODULE store = LoadLibraryA(labdocs::kDocStoreLibrary);
    const labdocs::DocStoreApi api = labdocs::ResolveDocStoreApi(store);
    std::int32_t reserved = 0;
    if (!api.HasRequired() || api.InitLabDoc(buffer.data(), &reserved) != S_OK || api.FreeLabDoc() != S_OK) {
      state.SkipWithError("the document store cannot be loaded and started");
      break;
    }
    FreeLibrary(store);
    sqlite3* db = nullptr;
    sqlite3_open_v2(host->database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_close(db);
  }
}

void LoadEmptyLibrary(benchmark::State& state) {
  for (auto _ : state) {
    HMODULE probe = LoadLibraryA("bench_probe.dll");
    if (!probe) {
      state.SkipWithError("probe library not found");
      break;
    }
    FreeLibrary(probe);
  }
}

// Keeps each run's time per iteration (and counters) by name, while the
// console shows the runs as usual.
class Collector : public benchmark::ConsoleReporter {
 public:
  struct Result {
    double seconds = 0;
    std::map<std::string, double> counters;
  };
  std::map<std::string, Result> results;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      Result& result = results[run.benchmark_name()];
      result.seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      for (const auto& [name, counter] : run.counters) result.counters[name] = counter.value;
    }
  }
};

std::vector<std::int64_t> Totals() {
  const char* text = std::getenv("LABDOCS_BENCH_DOCUMENTS");
  std::stringstream list(text && *text ? text : "20000,1000000");
  std::vector<std::int64_t> totals;
  for (std::string item; std::getline(list, item, ',');) totals.push_back(std::stoll(item));
  return totals;
}

void PrintRatio(const Collector& collector, const std::string& what, const std::string& measured,
                const std::string& reference, double goal) {
  const auto m = collector.results.find(measured);
  const auto r = collector.results.find(reference);
  if (m == collector.results.end() || r == collector.results.end()) {
    std::printf("%-44s %s\n", what.c_str(), "not measured");
    return;
  }
  std::printf("%-44s %10.3f ms %10.3f ms %7.2fx  (goal <= %.1fx)\n", what.c_str(), m->second.seconds * 1e3,
              r->second.seconds * 1e3, m->second.seconds / r->second.seconds, goal);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Collector collector;
  std::vector<std::string> table;
  for (const std::int64_t total : Totals()) {
    const std::string suffix = "/" + std::to_string(total);
    try {
      Host host(total);
      benchmark::RegisterBenchmark(("InitRightMenu" + suffix).c_str(), InitRightMenu, &host)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark(("StoreLifeAndDatabase" + suffix).c_str(), StoreLifeAndDatabase, &host)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark(("LoadEmptyLibrary" + suffix).c_str(), LoadEmptyLibrary)
          ->Unit(benchmark::kMicrosecond);
      for (const bench::Directory& directory : host.laboratory.measured) {
        const std::string size = "/" + std::to_string(directory.documents);
        benchmark::RegisterBenchmark(("InitViewData" + suffix + size).c_str(), ListDirectory, &host, directory)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("SameQueryOnSQLite" + suffix + size).c_str(), bench::SameQueryOnSqlite,
                                     host.database.string(), directory)
            ->Unit(benchmark::kMillisecond);
      }
      benchmark::RunSpecifiedBenchmarks(&collector);
      benchmark::ClearRegisteredBenchmarks();

      std::printf("\n%lld documents in all                          measured    reference   ratio\n",
                  static_cast<long long>(total));
      PrintRatio(collector, "InitRightMenu / floor", "InitRightMenu" + suffix, "StoreLifeAndDatabase" + suffix, 1.2);
      for (const bench::Directory& directory : host.laboratory.measured) {
        const std::string size = "/" + std::to_string(directory.documents);
        PrintRatio(collector, "InitViewData, " + std::to_string(directory.documents) + " / raw query",
                   "InitViewData" + suffix + size, "SameQueryOnSQLite" + suffix + size, 1.3);
        const auto list = collector.results.find("InitViewData" + suffix + size);
        if (list == collector.results.end() || list->second.counters["packet_bytes"] <= 0) continue;
        const std::string label = "  peak heap / packet, " + std::to_string(directory.documents);
        const double peak = list->second.counters["peak_bytes"], packet = list->second.counters["packet_bytes"];
        if (peak <= 0) std::printf("%-44s %s\n", label.c_str(), "not measured");
        else
          std::printf("%-44s %10.0f KiB %9.0f KiB %7.2fx  (goal <= 2.0x)\n", label.c_str(), peak / 1024, packet / 1024,
                      peak / packet);
      }
      std::printf("\n");
      std::fflush(stdout);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "plugin_bench: %s\n", error.what());
      return 1;
    }
  }
  benchmark::Shutdown();
  return 0;
}
