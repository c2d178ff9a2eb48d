// The exchanges with the database that each call of the plug-in costs, on
// SQLite (statements stepped) and on a laboratory's PostgreSQL server (round
// trips), in one run: a host (hostcore::Browser with the plug-in and the
// document store, as the console and the desktop run them) on the demo
// laboratory, in an SQLite file and in a schema of its own on the server
// that LABDOCS_BENCH_SERVER names; for each call the count on each engine
// and the server's goal. A person's part (the forms' fields, the dialogs'
// answers, the edit of a copy under revision) is scripted.
//
//   LABDOCS_BENCH_SERVER="host=... dbname=..." round_trips
//
// Exit code 0 when every call on the server is within its goal, 1 when one
// is not, 2 when it cannot run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostcore/home.h"
#include "hostcore/browser.h"
#include "hostcore/plugin.h"
#include "runtime/data/session.h"
#include "runtime/services/environment.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"
#include "runtime/ui/scripted_presenter.h"

namespace {

namespace fs = std::filesystem;

// The demo's directory that the calls work on, and the chunks (1 MiB each)
// of its first document's content.
constexpr const char* kDirectory = "文档管理明细/2019年度";
constexpr int kChunks = 1;

struct Call {
  std::string what;
  int goal;  // the server's round trips at most
  std::function<void(hostcore::Browser&, rt::ScriptedPresenter&, const fs::path& home)> run;
};

void Expect(const hostcore::CallResult& call, const std::string& what) {
  if (!call.Ok()) throw std::runtime_error(what + " failed: " + rt::gbk::ToUtf8(call.error));
}

void SelectFirstRow(hostcore::Browser& browser) {
  std::vector<bool> selected(browser.Rows().rows.size(), false);
  if (selected.empty()) throw std::runtime_error("the directory lists no document");
  selected[0] = true;
  browser.Select(selected);
}

std::vector<Call> Calls() {
  return {
      {"list (InitViewData)", 1,
       [](hostcore::Browser& b, rt::ScriptedPresenter&, const fs::path&) { Expect(b.ReadRows(), "list"); }},
      {"menu on a directory (InitRightMenu)", 2,
       [](hostcore::Browser& b, rt::ScriptedPresenter&, const fs::path&) {
         b.Select(std::vector<bool>(b.Rows().rows.size(), false));
         Expect(b.BuildMenu(), "menu");
         b.CloseMenu();
       }},
      {"menu on a document (InitRightMenu)", 2,
       [](hostcore::Browser& b, rt::ScriptedPresenter&, const fs::path&) {
         SelectFirstRow(b);
         Expect(b.BuildMenu(), "menu");
         b.CloseMenu();
       }},
      {"Open (ExecuteMenu miOpenFile)", 4 + kChunks,
       [](hostcore::Browser& b, rt::ScriptedPresenter&, const fs::path&) {
         SelectFirstRow(b);
         Expect(b.RunCommand("miOpenFile"), "Open");
       }},
      {"Open again, the copy current", 4 + kChunks,
       [](hostcore::Browser& b, rt::ScriptedPresenter&, const fs::path&) {
         SelectFirstRow(b);
         Expect(b.RunCommand("miOpenFile"), "Open");
       }},
      {"Save as (ExecuteMenu miSaveAs)", 4 + kChunks,
       [](hostcore::Browser& b, rt::ScriptedPresenter& p, const fs::path& home) {
         SelectFirstRow(b);
         p.AnswerSaveDialog(rt::platform::AnsiPath(home / "saved-copy"));
         Expect(b.RunCommand("miSaveAs"), "Save as");
       }},
      {"add (ExecuteMenu miNew)", 0,
       [](hostcore::Browser& b, rt::ScriptedPresenter& p, const fs::path& home) {
         const fs::path file = home / "new-document.txt";
         std::ofstream(file, std::ios::binary) << "a new document";
         b.Select(std::vector<bool>(b.Rows().rows.size(), false));
         p.Type("edFileName", rt::platform::AnsiPath(file)).Type("mmComment", "新文档").Click("btnSave");
         Expect(b.RunCommand("miNew"), "add");
       }},
      {"revise (ExecuteMenu N2)", 0,
       [](hostcore::Browser& b, rt::ScriptedPresenter& p, const fs::path& home) {
         Expect(b.ReadRows(), "list");
         SelectFirstRow(b);
         // The person edits the copy that the revision opened, then stores it.
         p.Then([home](rt::TForm&) {
           for (const fs::directory_entry& entry : fs::directory_iterator(home / "DocCache"))
             if (entry.is_regular_file() && entry.path().filename().string().rfind("~labdoc-", 0) != 0)
               std::ofstream(entry.path(), std::ios::binary | std::ios::app) << " revised";
         });
         p.Click("BtnSave");
         Expect(b.RunCommand("N2"), "revise");
       }},
  };
}

// The counts of every call on one engine: the console's start on a new
// home folder with the demo, in the file there or on the server.
std::vector<std::uint64_t> Count(const std::string& server, const fs::path& home) {
  fs::remove_all(home);
  const hostcore::HomeFolder folder = hostcore::MakeHomeFolder(home.string());
  rt::HostEnvironment env = rt::DefaultEnvironment();
  env.base_dir = folder.base_dir;
  env.sys_code = "LIS_DIRECTOR";
  env.user_id = "u01";
  env.user_name = "张三";
  env.computer_name = "LAB-PC1";
  rt::SetEnvironment(env);
  hostcore::OpenHome(folder, false, server);
  rt::ScriptedPresenter presenter;
  rt::Application().SetPresenter(&presenter);
  std::vector<std::uint64_t> counts;
  {
    hostcore::Plugin plugin("labdocs.dll");
    hostcore::Browser browser(plugin, rt::CurrentDataSession());
    Expect(browser.Open(browser.Tree().Find(kDirectory)), "open the directory");
    for (const Call& call : Calls()) {
      const std::uint64_t before = rt::CurrentDataSession().RoundTrips();
      call.run(browser, presenter, home);
      counts.push_back(rt::CurrentDataSession().RoundTrips() - before);
    }
  }
  rt::Application().SetPresenter(nullptr);
  rt::CloseSession();
  return counts;
}

}  // namespace

int main() {
  const char* server = std::getenv("LABDOCS_BENCH_SERVER");
  if (server == nullptr || *server == '\0') {
    std::fprintf(stderr, "round_trips: LABDOCS_BENCH_SERVER names no server\n");
    return 2;
  }
  // Opening a document starts no program.
  ::setenv("LABDOCS_OPEN_COMMAND", "true", 1);
  const fs::path base = fs::temp_directory_path() / ("labdocs-round-trips-" + std::to_string(::getpid()));
  try {
    const std::string schema = "round_trips_" + std::to_string(::getpid());
    {
      const std::unique_ptr<rt::DataSession> admin = rt::Connect(server);
      admin->ExecuteBound("CREATE SCHEMA " + schema, {});
    }
    const std::vector<std::uint64_t> sqlite = Count("", base / "sqlite");
    std::vector<std::uint64_t> postgres;
    try {
      postgres = Count(std::string(server) + " options='-csearch_path=" + schema + ",public'", base / "server");
    } catch (...) {
      rt::Connect(server)->ExecuteBound("DROP SCHEMA " + schema + " CASCADE", {});
      throw;
    }
    rt::Connect(server)->ExecuteBound("DROP SCHEMA " + schema + " CASCADE", {});
    const std::vector<Call> calls = Calls();
    bool within = true;
    std::printf("%-38s %8s %8s %6s\n", "call", "SQLite", "server", "goal");
    for (std::size_t i = 0; i < calls.size(); ++i) {
      const bool judged = calls[i].goal > 0;
      const bool met = !judged || postgres[i] <= static_cast<std::uint64_t>(calls[i].goal);
      within = within && met;
      std::printf("%-38s %8llu %8llu %6s%s\n", calls[i].what.c_str(), static_cast<unsigned long long>(sqlite[i]),
                  static_cast<unsigned long long>(postgres[i]), judged ? std::to_string(calls[i].goal).c_str() : "-",
                  met ? "" : "  over");
    }
    fs::remove_all(base);
    return within ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "round_trips: %s\n", error.what());
    fs::remove_all(base);
    return 2;
  }
}
