// Lists on a laboratory's PostgreSQL server while another workstation
// stores, beside the same lists on an idle server. A generated laboratory
// (bench_data.h, LABDOCS_BENCH_DOCUMENTS documents, default 20000) in a
// schema of its own on the server that LABDOCS_BENCH_SERVER names; then
// LABDOCS_BENCH_LISTERS workstations (processes of their own, default 4)
// each list a directory of 1,000 documents through the plug-in's
// InitViewData, over and over, in three phases:
//   idle         nothing else runs, for LABDOCS_BENCH_SECONDS (default 5);
//   store        a fifth workstation stores a file of LABDOCS_BENCH_STORE_MIB
//                (default 1024) through the document store, as a process
//                of its own (labdoc_store_run, beside this program), for as
//                long as it takes;
//   writer lock  another connection holds the laboratory's writer lock, as
//                a writing transaction does, for LABDOCS_BENCH_SECONDS.
// Prints each phase's list latency (median, worst) and its ratio to idle.
// POSIX only: the workstations are forked.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "bench/bench_server_data.h"
#include "runtime/data/session.h"
#include "runtime/ole/variant.h"
#include "runtime/platform/platform.h"
#include "runtime/services/environment.h"
#include "runtime/services/plugin_abi.h"
#include "runtime/text/gbk.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace bench = labdocs::bench;
using Clock = std::chrono::steady_clock;

std::int64_t Setting(const char* name, std::int64_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoll(value) : fallback;
}

// One workstation: lists the directory until `stop` exists, and writes each
// list's milliseconds, one a line, to `out`. Runs in a forked child.
[[noreturn]] void Workstation(const fs::path& home, const std::string& setting, std::int64_t tv_id,
                              const fs::path& stop, const fs::path& out) {
  int code = 0;
  try {
    rt::HostEnvironment env = rt::DefaultEnvironment();
    env.base_dir = rt::gbk::FromUtf8(home.string()) + "/";
    rt::SetEnvironment(env);
    rt::OpenSession(setting, rt::OpenMode::OpenExisting);
    HMODULE plugin = LoadLibraryA("labdocs.dll");
    if (!plugin) throw std::runtime_error("labdocs.dll not found");
    const auto init_view_data = reinterpret_cast<TInitViewData>(
        reinterpret_cast<void (*)()>(GetProcAddress(plugin, rt::plugin::kInitViewData)));
    const std::string params = "TV_ID=" + std::to_string(tv_id) + ";TV_Name=" + bench::kCategory;
    std::ofstream times(out);
    while (!fs::exists(stop)) {
      VARIANT data;
      VariantInit(&data);
      std::int32_t result = -1;
      const Clock::time_point start = Clock::now();
      if (init_view_data(params.c_str(), &data, &result) != S_OK || result != 0)
        throw std::runtime_error("InitViewData failed");
      times << std::chrono::duration<double, std::milli>(Clock::now() - start).count() << '\n';
      VariantClear(&data);
    }
    FreeLibrary(plugin);
    rt::CloseSession();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "workstation: %s\n", error.what());
    code = 1;
  }
  std::fflush(stdout);
  _exit(code);
}

struct Latency {
  double median = 0, worst = 0;
  std::size_t lists = 0;
};

// Runs `listers` workstations while `during` runs, and gathers their times.
template <typename During>
Latency Phase(const fs::path& home, const std::string& setting, std::int64_t tv_id, int listers, During during) {
  const fs::path stop = home / "stop";
  fs::remove(stop);
  std::vector<pid_t> children;
  for (int i = 0; i < listers; ++i) {
    const fs::path out = home / ("times-" + std::to_string(i));
    fs::remove(out);
    const pid_t child = fork();
    if (child == 0) Workstation(home, setting, tv_id, stop, out);
    children.push_back(child);
  }
  during();
  std::ofstream(stop).put('\n');
  bool failed = false;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    failed = failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  }
  if (failed) throw std::runtime_error("a workstation failed");
  std::vector<double> times;
  for (int i = 0; i < listers; ++i) {
    std::ifstream in(home / ("times-" + std::to_string(i)));
    for (double ms; in >> ms;) times.push_back(ms);
  }
  if (times.empty()) throw std::runtime_error("no list was made");
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.back(), times.size()};
}

void Print(const char* what, const Latency& latency, const Latency& idle) {
  std::printf("%-34s %8zu %10.2f ms %10.2f ms %7.2fx %7.2fx\n", what, latency.lists, latency.median, latency.worst,
              latency.median / idle.median, latency.worst / idle.worst);
}

// Runs a program to its end, its standard output discarded.
int RunToEnd(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int started = posix_spawn(&child, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (started != 0) throw std::runtime_error("cannot start " + args[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main() {
  const char* server = std::getenv("LABDOCS_BENCH_SERVER");
  if (server == nullptr || *server == '\0') {
    std::fprintf(stderr, "server_load_bench: LABDOCS_BENCH_SERVER names no server\n");
    return 2;
  }
  const std::int64_t total = Setting("LABDOCS_BENCH_DOCUMENTS", 20000);
  const int listers = static_cast<int>(Setting("LABDOCS_BENCH_LISTERS", 4));
  const std::int64_t store_mib = Setting("LABDOCS_BENCH_STORE_MIB", 1024);
  const auto seconds = std::chrono::seconds(Setting("LABDOCS_BENCH_SECONDS", 5));
  const fs::path home = fs::temp_directory_path() / ("labdocs-load-bench-" + std::to_string(::getpid()));
  try {
    fs::create_directories(home / "cache");
    const bench::Laboratory laboratory = bench::Plan(total);
    std::fprintf(stderr, "generating %lld documents on the server...\n", static_cast<long long>(total));
    const std::string schema = "bench_load";
    const std::string setting = bench::FillServerSchema(server, schema, laboratory);
    const std::int64_t tv_id = laboratory.measured.front().tv_id;  // 1,000 documents

    const fs::path source = home / "source.bin";
    {
      std::ofstream out(source, std::ios::binary);
      std::mt19937_64 random(7);
      std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
      for (std::int64_t i = 0; i < store_mib; ++i) {
        for (std::uint64_t& word : block) word = random();
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
      }
    }
    const std::string store_run = rt::platform::RuntimeFolder() + "labdoc_store_run";

    const auto wait = [&] { std::this_thread::sleep_for(seconds); };
    const Latency idle = Phase(home, setting, tv_id, listers, wait);
    ::setenv("LABDOCS_DATABASE", setting.c_str(), 1);
    const Latency storing = Phase(home, setting, tv_id, listers, [&] {
      if (RunToEnd({store_run, "store", (home / "cache").string(), source.string()}) != 0)
        throw std::runtime_error("the store failed");
    });
    const Latency locked = Phase(home, setting, tv_id, listers, [&] {
      const std::unique_ptr<rt::DataSession> writer = rt::Connect(setting, rt::OpenMode::OpenExisting);
      rt::Transaction holding(*writer, rt::Transaction::Kind::Immediate);
      wait();
    });
    std::printf("\n%d workstations listing 1,000 documents    lists     median        worst  median/idle worst/idle\n",
                listers);
    Print("idle", idle, idle);
    Print(("while one stores " + std::to_string(store_mib) + " MiB").c_str(), storing, idle);
    Print("while the writer lock is held", locked, idle);
    std::fflush(stdout);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "server_load_bench: %s\n", error.what());
    fs::remove_all(home);
    return 1;
  }
  fs::remove_all(home);
  return 0;
}
