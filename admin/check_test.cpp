// The check on a console's demo home, on both engines: a clean database
// passes, and each kind of damage is named, by the document's directory and
// file name, and makes the exit code say so.
#include <gtest/gtest.h>

#include <functional>

#include "admin/exit_codes.h"
#include "admin/testing/demo_home.h"
#include "labdoc/content_storage.h"
#include "labdoc/owner_lock.h"
#include "runtime/sysutils.h"

namespace admin::testing {
namespace {

class CheckTest : public DemoHomeTest {};

INSTANTIATE_TEST_SUITE_P(Engines, CheckTest, ::testing::ValuesIn(rt::testing::BothEngines()), EngineName);

// A content being stored meanwhile by a live store (this test's process,
// which holds its owner) is no fault.
TEST_P(CheckTest, CleanDemoPassesWithItsRevisionsCounted) {
  const std::unique_ptr<labdocs::labdoc::ContentStorage> storage = labdocs::labdoc::MakeContentStorage(Db());
  labdocs::labdoc::OwnerLock live(*storage);
  ASSERT_FALSE(live.Token().empty());
  Db().ExecuteBound("INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, FILE_SIZE, PENDING, OWNER) "
                    "VALUES(0, ?, ?, 0, 1, ?)",
                    {std::string("正在存入.txt"), rt::Value(rt::Now()), live.Token()});

  const AdminRun quiet = Admin({"check"});
  EXPECT_EQ(quiet.exit_code, kExitOk) << quiet.out << quiet.err;
  EXPECT_EQ(quiet.LineStarting(u8"All is well"), u8"All is well: every content read whole, as recorded.");
  // Nine contents: the demo's seven, document 1's new one and document 8's;
  // document 1's first is kept.
  EXPECT_NE(quiet.LineStarting(u8"Documents: 8; contents: 9, "), "") << quiet.out;
  EXPECT_NE(quiet.out.find(u8"of which kept revisions: 1, 108 B"), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.LineStarting(u8"Contents being stored by running stores (left alone): 1"), "") << quiet.out;
  // No terminal and no --progress: nothing on standard error.
  EXPECT_EQ(quiet.err, "");

  const AdminRun shown = Admin({"check", "--progress"});
  EXPECT_EQ(shown.exit_code, kExitOk);
  EXPECT_NE(shown.err.find(u8"checking: 9/9 contents, 2.0 MiB of 2.0 MiB, "), std::string::npos) << shown.err;
  live.Drop(Db());
}

struct Damage {
  const char* name;
  std::function<void()> damage;
  std::string line;    // the start of the line that names the fault (UTF-8)
  std::string detail;  // a part of that line that says what was found
};

TEST_P(CheckTest, NamesEachFaultAndFails) {
  const auto exec = [this](std::string sql, std::vector<rt::Value> params = {}) {
    return [this, sql, params] { Db().ExecuteBound(sql, params); };
  };
  const Damage damages[] = {
      {"a byte flipped in a kept revision", [this] { FlipByte(KeptContent(kRevisedDocument), 0); },
       u8"damaged content: 2019年度 / 实验室安全手册.txt (document 1, content ", u8"SHA-256 校验值不符"},
      {"a byte flipped in a current content of GBK names", [this] { FlipByte(CurrentContent(kAddedDocument), 0); },
       std::string(u8"damaged content: ") + kAddedDirectoryName + " / " + kAddedFileName + u8" (document 8",
       u8"the current content: "},
      {"a chunk missing",
       [this] {
         Db().ExecuteBound("DELETE FROM " + Chunks() + " WHERE CONTENT_ID = ? AND SEQ = 1",
                           {CurrentContent(kRevisedDocument)});
       },
       u8"damaged content: 2019年度 / 实验室安全手册.txt (document 1", u8"缺少第 1 块"},
      {"a content short of its size",
       [this] {
         Db().ExecuteBound("DELETE FROM " + Chunks() + " WHERE CONTENT_ID = ? AND SEQ = 2",
                           {CurrentContent(kRevisedDocument)});
       },
       u8"damaged content: 2019年度 / 实验室安全手册.txt (document 1", u8"比记录的大小短"},
      {"a document without content", exec("DELETE FROM DB_FILE_CONTENT WHERE LABDOC_ID = 3"),
       u8"document without content: 2020年度 / 室内质控月报.txt (document 3", u8"has no current content"},
      {"a record without its document", exec("DELETE FROM DB_FILE_STORAGE WHERE LABDOC_ID = 4"),
       u8"record without document: 仪器操作规程 / 血球分析仪操作规程.txt (record 4, document 4",
       u8"which is not stored"},
      {"a stored document without a record", exec("DELETE FROM RIS_DOC WHERE ID = 5"),
       u8"document without record: (none) / 血清学检验新进展.txt (document 5", u8"named by no record"},
      {"a content without its document",
       exec("INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, FILE_SIZE, SHA256, PENDING) VALUES(99, ?, 0, ?, 0)",
            {std::string("孤立 亅.txt"),
             std::string("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855")}),
       u8"content without document: (none) / 孤立 亅.txt (content ", u8"of document 99, which is not stored"},
      {"a pending content whose store ended",
       [this] {
         rt::DataSession& db = Db();
         const std::unique_ptr<labdocs::labdoc::ContentStorage> storage = labdocs::labdoc::MakeContentStorage(db);
         labdocs::labdoc::OwnerLock ended(*storage);
         const std::string token = ended.Token();
         ended.Drop(db);
         db.ExecuteBound("INSERT INTO DB_FILE_CONTENT(LABDOC_ID, FILE_NAME, STOREDTIME, FILE_SIZE, PENDING, OWNER) "
                         "VALUES(0, ?, ?, 0, 1, ?)",
                         {std::string("淺析 草稿.txt"), rt::Value(rt::Now()), token});
       },
       u8"abandoned pending content: (none) / 淺析 草稿.txt (content ", u8"has ended"},
      {"a record with an empty DocType", exec("UPDATE RIS_DOC SET DocType = '' WHERE ID = 7"),
       u8"unlisted document: (none) / 内审检查表.txt (record 7, document 7: DocType '' names no directory",
       u8"labdocs-admin file 7 DIRECTORY_ID"},
      {"a record whose directory is gone", exec("DELETE FROM Lab_List WHERE TV_ID = 8"),
       std::string(u8"unlisted document: (none) / ") + kAddedFileName + u8" (record 8, document 8: DocType '8'",
       u8"labdocs-admin file 8 DIRECTORY_ID"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    if (&damage != &damages[0]) Remake();
    if (HasFatalFailure()) return;
    damage.damage();
    const AdminRun run = Admin({"check"});
    EXPECT_EQ(run.exit_code, kExitFaults) << run.out << run.err;
    const std::string line = run.LineStarting(damage.line);
    EXPECT_NE(line, "") << run.out;
    EXPECT_NE(line.find(damage.detail), std::string::npos) << line;
    EXPECT_NE(run.LineStarting("1 fault found."), "") << run.out;
  }
}

}  // namespace
}  // namespace admin::testing
