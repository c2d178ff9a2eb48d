// Filing a document that no list shows, on both engines: the list of the
// chosen directory shows it then, its audit row says who filed it, and
// nothing changes when the filing is refused.
#include <gtest/gtest.h>

#include "admin/exit_codes.h"
#include "admin/testing/demo_home.h"
#include "runtime/sysutils.h"

namespace admin::testing {
namespace {

class FilingTest : public DemoHomeTest {
 protected:
  // The record's DocType.
  std::string DocType(std::int64_t record) {
    return rt::ValueToText(Db().QueryBound("SELECT DocType FROM RIS_DOC WHERE ID = ?", {record}).rows.at(0).at(0));
  }
  rt::RowSet AuditRows(std::int64_t record) {
    return Db().QueryBound("SELECT HOSTNAME, USERID, USERNAME, MODIFYTIME, LABDOC_ID, SRCFILENAME FROM DB_FILE_RECORD "
                           "WHERE FileTableName = 'RIS_DOC' AND FileTableID = ?",
                           {record});
  }
};

INSTANTIATE_TEST_SUITE_P(Engines, FilingTest, ::testing::ValuesIn(rt::testing::BothEngines()), EngineName);

TEST_P(FilingTest, FilesAnUnlistedDocumentAndStampsItsAuditRow) {
  struct Case {
    const char* name;
    const char* orphaning;  // makes record 8 unlisted
    bool audit_row;         // whether it keeps its audit row
  };
  const Case cases[] = {
      {"empty DocType, its audit row kept", "UPDATE RIS_DOC SET DocType = '' WHERE ID = 8", true},
      {"its directory gone, no audit row", "DELETE FROM Lab_List WHERE TV_ID = 8", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (&c != &cases[0]) Remake();
    if (HasFatalFailure()) return;
    Db().ExecuteBound(c.orphaning, {});
    if (!c.audit_row)
      Db().ExecuteBound("DELETE FROM DB_FILE_RECORD WHERE FileTableName = 'RIS_DOC' AND FileTableID = 8", {});
    ASSERT_EQ(Admin({"check"}).exit_code, kExitFaults);

    const double before = rt::Now().days;
    const AdminRun filed =
        Admin({"file", "8", "1", "--user-id", "u07", "--user-name", u8"张亅乗", "--computer", u8"化验室-淺7"});
    ASSERT_EQ(filed.exit_code, kExitOk) << filed.out << filed.err;
    EXPECT_EQ(filed.LineStarting(u8"Filed "),
              std::string(u8"Filed ") + kAddedFileName + u8" (record 8, document 8) into 2019年度 (directory 1); " +
                  (c.audit_row ? u8"its audit row was stamped" : u8"its audit row was added") +
                  u8" by 张亅乗 (u07) at 化验室-淺7.");

    EXPECT_EQ(DocType(8), "1");
    const rt::RowSet audit = AuditRows(8);
    ASSERT_EQ(audit.rows.size(), 1u);
    EXPECT_EQ(rt::ValueToText(audit.rows[0][0]), "化验室-淺7");
    EXPECT_EQ(rt::ValueToText(audit.rows[0][1]), "u07");
    EXPECT_EQ(rt::ValueToText(audit.rows[0][2]), "张亅乗");
    ASSERT_TRUE(std::holds_alternative<rt::DateTime>(audit.rows[0][3]));
    EXPECT_GE(std::get<rt::DateTime>(audit.rows[0][3]).days, before - 1.0 / 86400);
    EXPECT_EQ(rt::ValueToText(audit.rows[0][4]), "8");
    EXPECT_EQ(rt::ValueToText(audit.rows[0][5]), "淺析報告 倉庫[亅]乗.txt");

    // The directory's list shows it now, as the console shows a list.
    const console::testing::ConsoleRun list = Console(u8"open 文档管理明细/2019年度\nexpect rows 3\n");
    EXPECT_EQ(list.exit_code, 0) << list.out << list.err;
    EXPECT_NE(list.out.find(kAddedFileName), std::string::npos) << list.out;
    const AdminRun check = Admin({"check"});
    EXPECT_EQ(check.exit_code, kExitOk) << check.out;
  }
}

TEST_P(FilingTest, RefusesWhatItCannotFileAndChangesNothing) {
  Db().ExecuteBound("UPDATE RIS_DOC SET DocType = '' WHERE ID = 8", {});
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;  // on standard error (UTF-8)
  };
  const Case cases[] = {
      {"a listed document",
       {"file", "1", "2"},
       u8"labdocs-admin: 实验室安全手册.txt (record 1) is listed already, in 2019年度 (directory 1)."},
      {"a directory that is not there", {"file", "8", "99"}, u8"labdocs-admin: There is no directory 99 (Lab_List)."},
      {"a record that is not there", {"file", "99", "1"}, u8"labdocs-admin: There is no document record 99 (RIS_DOC)."},
  };
  const rt::RowSet audit_before = AuditRows(8);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AdminRun run = Admin(c.arguments);
    EXPECT_EQ(run.exit_code, kExitRefused);
    EXPECT_EQ(run.err, c.message + "\n");
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(DocType(1), "1");
  EXPECT_EQ(DocType(8), "");
  EXPECT_EQ(AuditRows(8), audit_before);
  EXPECT_EQ(AuditRows(1).rows.size(), 1u);
}

}  // namespace
}  // namespace admin::testing
