// The host's database on a real PostgreSQL server: Transact-SQL texts all or
// nothing, nested in an open transaction as savepoints, read-only queries.
#include "runtime/data/postgres/database.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/sqlite/database.h"

namespace rt::postgres {
namespace {

// (A schema of the test's own: temporary tables would take writes in a
// read-only transaction.)
class PostgresDatabaseTest : public testing::ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (!HasFatalFailure()) db_->Execute("Create Table 文档 (ID integer primary key, 名称 text, 时间 timestamp)");
  }
  std::int64_t Count() { return std::get<std::int64_t>(db_->Query("Select count(*) From 文档").rows[0][0]); }
};

TEST_F(PostgresDatabaseTest, ATextIsAllOrNothing) {
  EXPECT_EQ(db_->Execute("Insert into 文档(ID,名称) Values(1,'乗表') Insert into 文档(ID,名称) Values(2,'淺')"), 2);
  EXPECT_THROW(db_->Execute("Insert into 文档(ID,名称) Values(3,'c') Insert into 文档(ID,名称) Values(1,'dup')"),
               EDatabaseError);
  EXPECT_EQ(Count(), 2);
  // Inside an open transaction a failing text takes back only itself.
  db_->Link().ExecuteText("BEGIN");
  db_->Execute("Insert into 文档(ID,名称) Values(4,'d')");
  EXPECT_THROW(db_->Execute("Insert into 文档(ID,名称) Values(5,'e') Insert into 文档(ID) Values(4)"), EDatabaseError);
  db_->Link().ExecuteText("COMMIT");
  EXPECT_EQ(Count(), 3);
}

TEST_F(PostgresDatabaseTest, TheDialectsWordsWork) {
  db_->Execute("Insert into 文档(ID,名称,时间) Values(1,'乗表',GetDate())");
  const RowSet rows = db_->Query(
      "Select IsNull(Max(ID),0)+1 as 下一个, IsNull(Max(名称),'') as 名称, Max(时间) as 时间 From 文档 a(nolock)");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0][0], Value{std::int64_t{2}});
  EXPECT_EQ(rows.rows[0][1], Value{std::string("乗表")});
  EXPECT_EQ(rows.fields[2].type, FieldType::DateTime);
  EXPECT_EQ(db_->TableColumns("文档"), (std::vector<std::string>{"id", "名称", "时间"}));
  // Fields are named as the statement writes them, as SQLite names them.
  std::vector<std::string> names;
  for (const FieldDef& field : db_->Query("Select ID, a.名称 as DISP_名称, \"MixedCase\" From 文档 a, "
                                          "(Select 1 as \"MixedCase\") b")
                                   .fields)
    names.push_back(field.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ID", "DISP_名称", "MixedCase"}));
  EXPECT_TRUE(db_->TableColumns("没有的表").empty());
}

TEST_F(PostgresDatabaseTest, AReadOnlyQueryRefusesEveryWrite) {
  db_->Execute("Insert into 文档(ID,名称) Values(1,'a')");
  for (const char* write : {"Insert into 文档(ID) Values(9)", "Update 文档 Set 名称='x'", "Delete From 文档",
                            "Create Table 新表(a integer)", "Select 1 Delete From 文档"}) {
    EXPECT_THROW(db_->QueryReadOnly(write), EWriteRefused) << write;
    EXPECT_EQ(db_->Query("Select 名称 From 文档").rows, (std::vector<std::vector<Value>>{{std::string("a")}})) << write;
  }
  EXPECT_EQ(db_->QueryReadOnly("Select count(*) From 文档").rows[0][0], Value{std::int64_t{1}});
  // The next text may write again.
  EXPECT_EQ(db_->Execute("Delete From 文档"), 1);
}

}  // namespace
}  // namespace rt::postgres
