#include "runtime/data/dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/text/gbk.h"

namespace rt::dialect {
namespace {

// Translates a GBK text and gives the statements back in GBK.
std::vector<std::string> Split(const std::string& tsql) {
  std::vector<std::string> statements;
  for (const std::string& statement : Translate(gbk::ToUtf8(tsql))) statements.push_back(gbk::FromUtf8(statement));
  return statements;
}

using Statements = std::vector<std::string>;

TEST(Dialect, TokensGiveTheTextBack) {
  const std::string sql =
      gbk::ToUtf8("select 'it''s; select' as [a]]b], \"q\"\"\" -- select x\n/* delete */ f(x) ; 'open");
  std::string joined;
  for (const Token& token : Tokenize(sql)) joined += token.text;
  EXPECT_EQ(joined, sql);
  const auto tokens = Tokenize(sql);
  EXPECT_EQ(tokens[2].kind, TokenKind::String);
  EXPECT_EQ(tokens[2].text, "'it''s; select'");
  EXPECT_EQ(tokens.back().kind, TokenKind::String);  // unterminated: runs to the end
}

TEST(Dialect, NolockHintsAreDropped) {
  EXPECT_EQ(Split(" From RIS_DOC a(nolock),DB_FILE_STORAGE b(nolock) Where a.ID=1"),
            Statements{"From RIS_DOC a ,DB_FILE_STORAGE b  Where a.ID=1"});
  EXPECT_EQ(Split("select 1 from DB_FILE_RECORD c(NoLock) Where x=1"),
            Statements{"select 1 from DB_FILE_RECORD c  Where x=1"});
  EXPECT_EQ(Split("select 1 from Lab_List with ( NOLOCK ) where x=1"),
            Statements{"select 1 from Lab_List   where x=1"});
  EXPECT_EQ(Split("select 1 from [文档 表] (nolock)"), Statements{"select 1 from [文档 表]"});
  EXPECT_EQ(Split("select 1 from 乗表 (nolock)"), Statements{"select 1 from 乗表"});
}

TEST(Dialect, NolockElsewhereIsLeftAlone) {
  EXPECT_EQ(Split("select '(nolock)' from t"), Statements{"select '(nolock)' from t"});
  EXPECT_EQ(Split("select 1 from t where a in (1) (nolock)"), Statements{"select 1 from t where a in (1) (nolock)"});
  EXPECT_EQ(Split("with (nolock) select 1"), Statements{"with (nolock) select 1"});
  EXPECT_EQ(Split("select 1 from t(nolocks)"), Statements{"select 1 from t(nolocks)"});
}

TEST(Dialect, IsNullBecomesIfNull) {
  EXPECT_EQ(Split("Select IsNull(Max(ID),0)+1 From RIS_DOC"), Statements{"Select ifnull(Max(ID),0)+1 From RIS_DOC"});
  EXPECT_EQ(Split("select ISNULL (a, 'IsNull(') from t"), Statements{"select ifnull (a, 'IsNull(') from t"});
  EXPECT_EQ(Split("select [IsNull](a), IsNull from t"), Statements{"select [IsNull](a), IsNull from t"});
}

// For PostgreSQL the same statements come out, in its words for what
// differs.
TEST(Dialect, PostgresGetsItsOwnWordsForWhatDiffers) {
  const struct {
    const char* tsql;
    Statements statements;
  } cases[] = {
      {"Select IsNull(Max(ID),0)+1 From RIS_DOC(nolock)", {"Select COALESCE(Max(ID),0)+1 From RIS_DOC"}},
      {"Update RIS_DOC Set MODIFYTIME=GetDate() Where ID=1",
       {"Update RIS_DOC Set MODIFYTIME=LOCALTIMESTAMP(3) Where ID=1"}},
      {"select getdate ( ), 'GetDate()' from t", {"select LOCALTIMESTAMP(3), 'GetDate()' from t"}},
      {"select [文档 名称], [a]]b], `c\"d` from [乗表]", {"select \"文档 名称\", \"a]b\", \"c\"\"d\" from \"乗表\""}},
      {"delete from a where x=1 delete from b where y=2", {"delete from a where x=1", "delete from b where y=2"}},
  };
  for (const auto& c : cases) {
    Statements statements;
    for (const std::string& statement : Translate(gbk::ToUtf8(c.tsql), Engine::Postgres))
      statements.push_back(gbk::FromUtf8(statement));
    EXPECT_EQ(statements, c.statements) << c.tsql;
  }
}

TEST(Dialect, DirectoryDeletionBatchSplitsIntoItsFourStatements) {
  const std::string v = "12";
  const std::string batch =
      " delete from Lab_List where TV_ID = '" + v + "'" +
      " delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
      " delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='" + v + "')" +
      " delete from RIS_DOC where DocType= '" + v + "'";
  EXPECT_EQ(
      Split(batch),
      (Statements{"delete from Lab_List where TV_ID = '12'",
                  "delete from DB_FILE_RECORD where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='12')",
                  "delete from DB_FILE_STORAGE where LABDOC_ID in(select LABDOC_Id from RIS_DOC where DocType ='12')",
                  "delete from RIS_DOC where DocType= '12'"}));
}

TEST(Dialect, StatementKeywordsSplitOnlyWhereAStatementBegins) {
  EXPECT_EQ(Split("update t set a='x' where b=1 select * from t"),
            (Statements{"update t set a='x' where b=1", "select * from t"}));
  EXPECT_EQ(Split("insert into t(a) values(1) insert into t(a) values(2) select a from t"),
            (Statements{"insert into t(a) values(1)", "insert into t(a) values(2)", "select a from t"}));
  // INSERT ... SELECT is one statement; a further SELECT is the next one.
  EXPECT_EQ(Split("insert into t(a) select a from u select 1"),
            (Statements{"insert into t(a) select a from u", "select 1"}));
  EXPECT_EQ(Split("select a from t union select a from u union all select 1 except select 2 intersect select 3"),
            Statements{"select a from t union select a from u union all select 1 except select 2 intersect select 3"});
  EXPECT_EQ(Split("with x as (select 1 as a) insert into t(a) select a from x delete from x"),
            (Statements{"with x as (select 1 as a) insert into t(a) select a from x", "delete from x"}));
  EXPECT_EQ(Split("create view v as select 1 delete from t"),
            (Statements{"create view v as select 1", "delete from t"}));
  EXPECT_EQ(Split("insert into t(a) values(1) on conflict(a) do update set a=2"),
            Statements{"insert into t(a) values(1) on conflict(a) do update set a=2"});
  // A pragma's value is no statement.
  EXPECT_EQ(Split("PRAGMA journal_mode = DELETE select 1"), (Statements{"PRAGMA journal_mode = DELETE", "select 1"}));
}

TEST(Dialect, QuotesCommentsAndSemicolons) {
  EXPECT_EQ(Split("select 'a delete b' as [select] from \"update\" -- delete\n where x=1"),
            Statements{"select 'a delete b' as [select] from \"update\" -- delete\n where x=1"});
  EXPECT_EQ(Split("select 1; select 2 ;; /* select */ "), (Statements{"select 1", "select 2"}));
  EXPECT_EQ(Split("select '乗''s' as 名称 delete from t where n='億'"),
            (Statements{"select '乗''s' as 名称", "delete from t where n='億'"}));
  EXPECT_TRUE(Split("  \r\n -- nothing\n /* at all */ ").empty());
}

}  // namespace
}  // namespace rt::dialect
