// A laboratory's people on its server, each with a login of their own
// (docs/database.md): a reader, such as an auditor, lists the documents and
// saves a copy of one, and is refused every change, which leaves the
// database as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "console/testing/console_run.h"
#include "runtime/data/session.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/testing/test_support.h"

namespace console {
namespace {

using testing::ConsoleRun;
using testing::RunConsole;
using testing::TempFolder;

class ConsoleLoginsTest : public ::testing::TestWithParam<rt::Engine> {
 protected:
  void SetUp() override {
#ifndef LABDOCS_CONSOLE_HAS_LABDOCS
    GTEST_SKIP() << "the plug-in labdocs is not part of this build";
#endif
    database_ = std::make_unique<rt::testing::TestDatabase>(GetParam(), std::string());
    ASSERT_FALSE(database_->Setting().empty());
    // A member of the staff starts the laboratory's database: the demo.
    const ConsoleRun seeded = RunAs(rt::testing::StaffLogin(1), "quit\n");
    ASSERT_EQ(seeded.exit_code, 0) << seeded.err;
  }
  ConsoleRun RunAs(const std::string& login, const std::string& script) {
    return RunConsole(folder_.Path() / login, script, {"--answer", "yes", "--database", database_->SettingAs(login)});
  }
  std::int64_t Count(const std::string& sql) {
    const std::unique_ptr<rt::DataSession> session = rt::Connect(database_->Setting(), rt::OpenMode::OpenExisting);
    return rt::testing::QueryInteger(*session, sql);
  }

  TempFolder folder_;
  std::unique_ptr<rt::testing::TestDatabase> database_;
};

std::vector<rt::Engine> Server() {
  std::vector<rt::Engine> engines = rt::testing::BothEngines();
  std::erase(engines, rt::Engine::Sqlite);
  return engines;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ConsoleLoginsTest);
INSTANTIATE_TEST_SUITE_P(Engines, ConsoleLoginsTest, ::testing::ValuesIn(Server()),
                         [](const ::testing::TestParamInfo<rt::Engine>& engine) {
                           return rt::testing::EngineName(engine.param);
                         });

TEST_P(ConsoleLoginsTest, AReaderListsTheDocuments) {
  const ConsoleRun run = RunAs(rt::testing::kReaderLogin, u8"open 文档管理明细/2019年度\nexpect rows 2\n"
                                                          u8"expect cell 1 名称 实验室安全手册.txt\n");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
}

// Saving a copy fetches the document into the reader's own cache folder:
// nothing of it may need a write to the database.
TEST_P(ConsoleLoginsTest, AReaderSavesACopyOfADocument) {
  const std::filesystem::path target = folder_.Path() / "copy";
  const ConsoleRun run = RunAs(rt::testing::kReaderLogin, u8"open 文档管理明细/2019年度\nselect 1\nrun 另存为\nfile " +
                                                              rt::testing::PathUtf8(target) + "\nexpect status 0\n");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  std::ifstream copy(folder_.Path() / "copy.txt", std::ios::binary);
  std::stringstream text;
  text << copy.rdbuf();
  EXPECT_FALSE(text.str().empty()) << run.out;
}

TEST_P(ConsoleLoginsTest, AReaderIsRefusedEveryChange) {
  const std::int64_t documents = Count("SELECT count(*) FROM RIS_DOC");
  const std::int64_t directories = Count("SELECT count(*) FROM Lab_List");
  const std::filesystem::path source = folder_.Path() / "new.txt";
  std::ofstream(source) << "a reader's document";
  struct Case {
    const char* what;
    std::string script;
  };
  for (const Case& c : {
           Case{"deleting a document", u8"open 文档管理明细/2019年度\nselect 1\nrun miDelete\n"},
           Case{"adding a document", u8"open 文档管理明细/2019年度\nrun miNew\ntype edFileName " +
                                         rt::testing::PathUtf8(source) + "\nclick btnSave\n"},
           Case{"copying a directory", u8"open 文档管理明细\nselect 1\nrun miCopyList\ntype cbCopyList 论文管理明细\n"
                                       u8"click BtnSave\n"},
       }) {
    SCOPED_TRACE(c.what);
    const ConsoleRun run = RunAs(rt::testing::kReaderLogin, c.script + "quit\n");
    EXPECT_NE(run.out.find("permission denied"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(Count("SELECT count(*) FROM RIS_DOC"), documents);
    EXPECT_EQ(Count("SELECT count(*) FROM Lab_List"), directories);
  }
}

}  // namespace
}  // namespace console
