// The retention of revisions as an administrator sets and applies it, on
// both engines: shown and set by `retention` (on a server by the
// laboratory's owner only), applied by each store and by `prune`, reported
// but never applied by `check`, which stays clean.
#include <gtest/gtest.h>

#include "admin/exit_codes.h"
#include "admin/testing/demo_home.h"
#include "runtime/sysutils.h"

namespace admin::testing {
namespace {

class RetentionTest : public DemoHomeTest {
 protected:
  // Runs the program as the laboratory's owner (on SQLite: as anyone).
  AdminRun AsOwner(std::vector<std::string> arguments) {
    if (server_) arguments.insert(arguments.begin(), {"--database", server_->SettingAs(rt::testing::kOwnerLogin)});
    return Admin(arguments);
  }
  std::int64_t Revisions(std::int64_t labdoc_id) {
    return rt::testing::QueryInteger(Db(), "SELECT count(*) FROM DB_FILE_CONTENT WHERE REPLACEDTIME IS NOT NULL AND "
                                           "LABDOC_ID = " +
                                               std::to_string(labdoc_id));
  }
};

INSTANTIATE_TEST_SUITE_P(Engines, RetentionTest, ::testing::ValuesIn(rt::testing::BothEngines()), EngineName);

// "last 2": after five more contents document 1 keeps its current content
// and two revisions, whose chunks alone remain, and the check is clean.
TEST_P(RetentionTest, EachStoreKeepsWhatTheSettingSaysAndTheCheckStaysClean) {
  const AdminRun shown = Admin({"retention"});
  EXPECT_EQ(shown.exit_code, kExitOk) << shown.err;
  EXPECT_EQ(shown.LineStarting(u8"Revisions kept"), u8"Revisions kept: every revision (保留全部版本).");

  const AdminRun set = AsOwner({"retention", "last", "2"});
  ASSERT_EQ(set.exit_code, kExitOk) << set.out << set.err;
  EXPECT_EQ(set.LineStarting(u8"Revisions kept"),
            u8"Revisions kept: the last 2 revisions of each document (保留最近 2 个版本).");
  const std::int64_t first = KeptContent(kRevisedDocument);
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(Store("实验室安全手册.txt", "第 " + std::to_string(i) + " 版", kRevisedDocument), kRevisedDocument);
  EXPECT_EQ(Revisions(kRevisedDocument), 2);
  EXPECT_EQ(rt::testing::QueryInteger(Db(), "SELECT count(*) FROM " + Chunks() +
                                                " WHERE CONTENT_ID = " + std::to_string(first)),
            0);

  const AdminRun check = Admin({"check"});
  EXPECT_EQ(check.exit_code, kExitOk) << check.out << check.err;
  EXPECT_NE(check.out.find(u8"of which kept revisions: 2, "), std::string::npos) << check.out;
  EXPECT_EQ(check.LineStarting(u8"The setting gives up"), "") << check.out;
  EXPECT_NE(check.LineStarting(u8"All is well"), "") << check.out;
}

// "days 30": a revision replaced 40 days ago is given up: the check reports
// it and leaves it, prune removes it; nothing of the rest goes.
TEST_P(RetentionTest, PruneRemovesWhatTheCheckOnlyReports) {
  const std::int64_t old = KeptContent(kRevisedDocument);
  Db().ExecuteBound("UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE CONTENT_ID = ?",
                    {rt::Value(rt::DateTime{rt::Now().days - 40}), old});
  const AdminRun set = AsOwner({"retention", "days", "30"});
  ASSERT_EQ(set.exit_code, kExitOk) << set.out << set.err;
  const char* const gives_up = u8"The setting gives up 1 revision, 108 B kept now";
  EXPECT_NE(set.LineStarting(gives_up), "") << set.out;

  const AdminRun check = Admin({"check"});
  EXPECT_EQ(check.exit_code, kExitOk) << check.out << check.err;
  EXPECT_NE(check.LineStarting(gives_up), "") << check.out;
  EXPECT_EQ(Revisions(kRevisedDocument), 1) << "the check only reads";

  const AdminRun pruned = Admin({"prune"});
  ASSERT_EQ(pruned.exit_code, kExitOk) << pruned.out << pruned.err;
  EXPECT_EQ(pruned.LineStarting(u8"Removed"), u8"Removed 1 revision, 108 B; their space is given back.");
  EXPECT_EQ(Revisions(kRevisedDocument), 0);
  EXPECT_EQ(rt::testing::QueryInteger(Db(), "SELECT count(*) FROM " + Chunks() +
                                                " WHERE CONTENT_ID = " + std::to_string(old)),
            0);
  const AdminRun clean = Admin({"check"});
  EXPECT_EQ(clean.exit_code, kExitOk) << clean.out << clean.err;
  EXPECT_NE(clean.out.find(u8"Documents: 8; contents: 8, "), std::string::npos) << clean.out;
  EXPECT_EQ(clean.LineStarting(u8"The setting gives up"), "") << clean.out;
}

// On a server the staff and the readers read the setting and cannot change
// it; a reader cannot prune what it gives up either.
TEST_P(RetentionTest, OnlyTheLaboratorysOwnerChangesTheSetting) {
  if (!server_) GTEST_SKIP() << "a file has no logins";
  Db().ExecuteBound("UPDATE DB_FILE_CONTENT SET REPLACEDTIME = ? WHERE CONTENT_ID = ?",
                    {rt::Value(rt::DateTime{rt::Now().days - 40}), KeptContent(kRevisedDocument)});
  ASSERT_EQ(AsOwner({"retention", "days", "30"}).exit_code, kExitOk);
  for (const std::string& login : {rt::testing::StaffLogin(1), std::string(rt::testing::kReaderLogin)}) {
    SCOPED_TRACE(login);
    const std::string setting = server_->SettingAs(login);
    const AdminRun shown = Admin({"--database", setting, "retention"});
    EXPECT_EQ(shown.exit_code, kExitOk) << shown.err;
    EXPECT_NE(shown.LineStarting(u8"Revisions kept: the revisions replaced in the last 30 days"), "") << shown.out;
    const AdminRun refused = Admin({"--database", setting, "retention", "keep-all"});
    EXPECT_EQ(refused.exit_code, kExitRefused) << refused.out << refused.err;
    EXPECT_NE(refused.err.find(u8"only the laboratory's owner may"), std::string::npos) << refused.err;
  }
  const AdminRun prune = Admin({"--database", server_->SettingAs(rt::testing::kReaderLogin), "prune"});
  EXPECT_EQ(prune.exit_code, kExitRefused) << prune.out << prune.err;
  EXPECT_EQ(Revisions(kRevisedDocument), 1);
  EXPECT_EQ(rt::testing::QueryInteger(Db(), "SELECT KEEP_DAYS FROM DB_FILE_RETENTION"), 30);
}

}  // namespace
}  // namespace admin::testing
