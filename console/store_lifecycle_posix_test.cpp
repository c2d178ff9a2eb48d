// The document store's life in a host process, as the loader sees it: each
// call of the plug-in builds a form, which loads LAB_DOC, starts it, and
// releases and unloads it when it is freed (module/framework/
// doc_store_binding.cpp). The console runs scripts with glibc's loader
// trace on (LD_DEBUG=files), which writes "calling init: FILE" each time a
// library is loaded and its initialisers run, and "calling fini: FILE" each
// time it is unloaded: LAB_DOC must come and go exactly once for every
// plug-in call (InitViewData, InitRightMenu and ExecuteMenu alike, one that
// shows a form or a dialog included) and never for what the console does
// alone (the tree, a category's rows, SQL). (The console's first start on a
// new home folder stores the demo's documents through the store: once more,
// outside any plug-in call.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/testing/console_run.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::TempFolder;

// How many lines of the loader's trace say `what` (for instance "calling
// init: ") of the document store's library.
int TraceLines(const ConsoleRun& run, const std::string& what) {
  int count = 0;
  std::size_t at = 0;
  while ((at = run.err.find(what, at)) != std::string::npos) {
    const std::size_t end = run.err.find('\n', at);
    const std::string line = run.err.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.find("/LAB_DOC.so") != std::string::npos) ++count;
    at += what.size();
  }
  return count;
}

TEST(StoreLifecycleTest, TheStoreIsLoadedAndUnloadedOnceForEachPluginCall) {
#if !defined(LABDOCS_CONSOLE_HAS_LABDOCS) || !defined(LABDOCS_CONSOLE_HAS_LABDOC)
  GTEST_SKIP() << "the plug-in and the document store are not part of this build";
#endif
#if !defined(__GLIBC__)
  GTEST_SKIP() << "the loader's trace (LD_DEBUG) is glibc's";
#endif
  struct Case {
    const char* what;
    std::string script;
    int plugin_calls;
  };
  const std::vector<Case> cases = {
      {"the console alone: the tree, a category's own rows, SQL", u8"tree\nopen 文档管理明细\nsql SELECT 1\nenv\n", 0},
      {"a directory's list, read twice (InitViewData)", u8"open 文档管理明细/2019年度\nlist\n", 2},
      {"two context menus (InitRightMenu)", u8"open 文档管理明细\nselect 4\nmenu\nselect 1\nmenu\n", 2},
      {"a menu, and its command showing a form that is cancelled (InitRightMenu, ExecuteMenu)",
       u8"open 文档管理明细\nselect 1\nrun 新增文档...\nexpect title 实验文件属性 - 新增实验文件\nkey escape\n"
       "expect status 0\n",
       2},
      {"a list, and a command showing a file dialog (InitViewData, ExecuteMenu)",
       u8"open 文档管理明细/2019年度\nselect 2\nexec miSaveAs\nfile cancel\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    rt::testing::TestDatabase database(rt::testing::EngineUnderTest(),
                                       rt::testing::PathUtf8(folder.Home() / "labdocs.db"));
    const std::vector<std::string> options = testing::DatabaseOptions(database);
    // The first start, which stores the demo's documents through the store,
    // is not traced.
    ASSERT_EQ(testing::RunConsole(folder.Home(), "", options).exit_code, 0);
    const ConsoleRun run = testing::RunConsole(folder.Home(), c.script, options, {"LD_DEBUG=files"});
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    // The trace is there at all: the plug-in itself is loaded once.
    ASSERT_NE(run.err.find("calling init: "), std::string::npos) << run.err;
    EXPECT_EQ(TraceLines(run, "calling init: "), c.plugin_calls) << run.out;
    EXPECT_EQ(TraceLines(run, "calling fini: "), c.plugin_calls) << run.out;
  }
}

}  // namespace
}  // namespace console
