// A read-only query (DataSession::QueryReadOnly) on both engines: each way
// found around reading on the server is refused there (EWriteRefused), on
// SQLite it fails or only reads, and on neither does anything of the text
// take effect; what only reads still works, the plug-in's own queries among
// it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/data/postgres/schema.h"
#include "runtime/data/postgres/testing/test_server.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/test_folder.h"
#include "runtime/data/testing/test_database.h"

namespace rt::postgres {
namespace {

using Rows = std::vector<std::vector<Value>>;

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

// The host's schema with a document on the server (the test's own schema)
// and in an SQLite file, and a second session on the server for texts that
// would end or signal it. On the server as its superuser: what a read-only
// query refuses, it refuses to a login that may do everything else.
class ReadOnlyQueryTest : public testing::ServerTest {
 protected:
  std::string Login() const override { return rt::testing::kSuperuserLogin; }
  void SetUp() override {
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    schema::Prepare(db_->Link());
    sqlite_.emplace(folder_.File("labdocs.db"));
    for (DataSession* db : {static_cast<DataSession*>(&*db_), static_cast<DataSession*>(&*sqlite_)})
      db->Execute("Insert into RIS_DOC(ID,LABDOC_ID,DocType,DESCS) Values(1,1,'1','实验室安全手册;第一版') "
                  "Insert into DB_FILE_STORAGE(LABDOC_ID,FILE_NAME) Values(1,'手册.txt')");
    victim_.emplace(Conninfo());
    victim_pid_ = std::to_string(std::get<std::int64_t>(victim_->QueryBound("SELECT pg_backend_pid()", {}).rows[0][0]));
  }
  void TearDown() override {
    // What a text that got through left on the server beyond the schema.
    try {
      db_->Link().ExecuteText(
          "SELECT pg_drop_replication_slot(slot_name) FROM pg_replication_slots WHERE slot_name = '" + Name() + "'");
      db_->Link().ExecuteText("COPY (SELECT 1) TO PROGRAM 'rm -f " + Name() + "'");
    } catch (const EDatabaseError&) {
    }
  }

  // A name of the test's own for files and slots on the server.
  const std::string& Name() const { return schema_->Name(); }
  // A text with the test's values: {victim} the other session's process,
  // {name} Name().
  std::string Filled(const std::string& text) const {
    return Replaced(Replaced(text, "{victim}", victim_pid_), "{name}", Name());
  }

  // What a text could change on the server, its session included: the
  // rows, the key sequence, the session's locks, prepared statements,
  // cursors, channels and settings, the other session, a file in the
  // server's folder, replication slots and origins, large objects.
  std::string ServerState() {
    return std::get<std::string>(
        db_->QueryBound(Filled("SELECT concat_ws(' | ', "
                               "(SELECT string_agg(ID || ':' || DESCS, ',' ORDER BY ID) FROM RIS_DOC), "
                               "(SELECT last_value || '/' || is_called FROM ris_doc_id_seq), "
                               "(SELECT count(*) FROM pg_locks "
                               "WHERE locktype = 'advisory' AND pid = pg_backend_pid()), "
                               "(SELECT count(*) FROM pg_prepared_statements), (SELECT count(*) FROM pg_cursors), "
                               "(SELECT count(*) FROM pg_listening_channels()), current_setting('search_path'), "
                               "current_setting('transaction_read_only'), "
                               "(SELECT count(*) FROM pg_stat_activity WHERE pid = {victim}), "
                               "(pg_stat_file('{name}', true)).size IS NOT NULL, "
                               "(SELECT count(*) FROM pg_replication_slots WHERE slot_name = '{name}'), "
                               "(SELECT count(*) FROM pg_replication_origin WHERE roname = '{name}'), "
                               "(SELECT count(*) FROM pg_largeobject_metadata))"),
                        {})
            .rows.at(0)
            .at(0));
  }
  Rows SqliteState() { return sqlite_->Query("Select ID, DESCS From RIS_DOC Order by ID").rows; }

  rt::testing::TestFolder folder_;
  std::optional<rt::sqlite::Database> sqlite_;
  std::optional<Connection> victim_;
  std::string victim_pid_;
};

TEST_F(ReadOnlyQueryTest, EveryWayAroundReadingIsRefusedAndChangesNothing) {
  // clang-format off
  const char* const texts[] = {
      // Ending the read-only transaction, or making it writing, from inside.
      "Select 1; Commit; Delete From RIS_DOC",
      "Set Transaction Read Write; Delete From RIS_DOC; Commit",
      "Set Transaction Read Write; Select nextval('ris_doc_id_seq')",
      "Begin", "Start Transaction Read Write", "Commit", "End", "Rollback", "Abort", "Savepoint a", "Release a",
      "Prepare Transaction 'x'", "Set search_path To public", "Set Session Characteristics As Transaction Read Write",
      "Reset All", "Discard All",
      // Commands other than queries.
      "Copy (Select 1) To Program 'touch {name}'", "Do $$ Begin Perform pg_advisory_lock(7); End $$", "Call p()",
      "Lock Table RIS_DOC In Access Share Mode", "Listen ch", "Notify ch", "Prepare q As Select 1",
      "Declare c Cursor For Select 1", "Show search_path", "Analyze RIS_DOC", "Checkpoint",
      "Explain Analyze Select pg_advisory_lock(7)", "Explain (Analyze) Select 1", "Explain Analyse Select 1",
      "Explain Verbose Delete From RIS_DOC",
      // Writes and locks inside a query.
      "With d As (Delete From RIS_DOC Returning *) Select * From d", "Select * Into Temp t From RIS_DOC",
      "Select * From RIS_DOC For Update", "Select * From RIS_DOC For Share",
      // Functions with effects beyond the transaction.
      "Select pg_terminate_backend({victim}, 5000)", "Select pg_cancel_backend({victim})", "Select pg_reload_conf()",
      "Select pg_rotate_logfile()", "Select pg_switch_wal()", "Select pg_promote(false)",
      "Select pg_advisory_lock(7)", "Select pg_try_advisory_lock_shared(7)", "Select pg_advisory_xact_lock(7)",
      "Select set_config('search_path', 'public', false)", "Select pg_sleep(0)", "Select pg_sleep_for('0')",
      "Select nextval('ris_doc_id_seq')", "Select setval('ris_doc_id_seq', 100)",
      "Select pg_read_file('PG_VERSION')", "Select pg_read_binary_file('PG_VERSION')", "Select pg_ls_dir('.')",
      "Select * From pg_ls_waldir()", "Select pg_stat_file('PG_VERSION')", "Select lo_import('PG_VERSION')",
      "Select lo_from_bytea(0, 'x')", "Select lo_export(0, '{name}')", "Select lowrite(0, 'x')",
      "Select dblink_connect('dbname=labdocs')", "Select pg_create_physical_replication_slot('{name}')",
      "Select pg_drop_replication_slot('{name}')", "Select pg_replication_origin_create('{name}')",
      "Select pg_logical_emit_message(false, 'p', 'x')", "Select pg_notify('ch', 'x')", "Select txid_current()",
      "Select pg_current_xact_id()", "Select query_to_xml('select pg_advisory_lock(7)', true, true, '')",
      "Select setseed(0.5)", "Select pg_stat_reset()",
      // Other ways to the same functions.
      "Select * From pg_catalog.pg_terminate_backend({victim}, 5000)",
      "Select \"pg_terminate_backend\"({victim}, 5000)", "Select pg_catalog . \"pg_advisory_lock\" /* */ (7)",
      "Select U&\"\\0070g_advisory_lock\"(7)", "Select Cast(pg_try_advisory_lock(7) As text)",
      "Select (pg_try_advisory_lock(7))::text", "Select Row(pg_try_advisory_lock(7))",
      "Values (pg_try_advisory_lock(7))", "Select 1 Where Exists (Select pg_try_advisory_lock(7))",
      "(Select pg_try_advisory_lock(7))", "Select 1 as a; Select pg_try_advisory_lock(7)",
      // Texts that the server reads otherwise than the dialect's tokenizer:
      // the call is in a string or comment to one and not to the other.
      "Select E'\\'' , pg_try_advisory_lock(7) --'", "Select 1 /* /* */ ' */, pg_try_advisory_lock(7) --'",
      "Select 1 -- \r, pg_try_advisory_lock(7)", "Select $$'$$, pg_try_advisory_lock(7) --'",
      "Select 1#pg_try_advisory_lock(7)::int",
  };
  // clang-format on
  for (const char* text : texts) {
    const std::string filled = Filled(text);
    SCOPED_TRACE(filled);
    const std::string server_before = ServerState();
    const Rows sqlite_before = SqliteState();
    EXPECT_THROW(db_->QueryReadOnly(filled), EWriteRefused);
    EXPECT_EQ(ServerState(), server_before);
    // SQLite refuses or fails what would write, and reads what the server
    // would read otherwise as strings and comments.
    try {
      sqlite_->QueryReadOnly(filled);
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(SqliteState(), sqlite_before);
  }
  // Both sessions write again afterwards.
  EXPECT_EQ(db_->Execute("Update RIS_DOC Set DESCS='改' Where ID=1"), 1);
  EXPECT_EQ(sqlite_->Execute("Update RIS_DOC Set DESCS='改' Where ID=1"), 1);
}

TEST_F(ReadOnlyQueryTest, WhatOnlyReadsStillWorks) {
  struct Case {
    const char* text;
    Rows rows;
  };
  const Case cases[] = {
      // The documents view's list, as the plug-in asks for it.
      {"Select a.ID,a.LABDOC_ID,'RIS_DOC' as FileTableName, a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,"
       "b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述, (select Max(ModifyTime) from DB_FILE_RECORD c(nolock) Where "
       "FileTableName='RIS_DOC' and FileTableID=a.ID) as DISP_修改时间 From RIS_DOC a(nolock),DB_FILE_STORAGE b(nolock) "
       "Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='1' Order by a.ID",
       {{std::int64_t{1}, std::int64_t{1}, std::string("RIS_DOC"), std::int64_t{1}, std::int64_t{1},
         std::string("手册.txt"), std::string("实验室安全手册;第一版"), Value{}}}},
      {"Select count(*) From RIS_DOC a with (nolock) Where IsNull(a.DESCS, '') <> ''", {{std::int64_t{1}}}},
      {"With t as (Select ID From RIS_DOC) Select count(*) as 数量 From t", {{std::int64_t{1}}}},
      {"Select ID From RIS_DOC Union Select 2 Order by 1", {{std::int64_t{1}}, {std::int64_t{2}}}},
      {"Select count(*) From RIS_DOC Where DESCS = '实验室安全手册;第一版'", {{std::int64_t{1}}}},
      {"Select 'pg_sleep(1); commit' as t", {{std::string("pg_sleep(1); commit")}}},
      {"Select ID as nextvalue From RIS_DOC", {{std::int64_t{1}}}},
      // Several queries: the first gives the rows.
      {"Select 1 as a Select 2 as b", {{std::int64_t{1}}}},
      {"Select 3 as a; Select count(*) From RIS_DOC", {{std::int64_t{3}}}},
  };
  for (DataSession* db : {static_cast<DataSession*>(&*db_), static_cast<DataSession*>(&*sqlite_)}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(rt::testing::EngineName(db->Kind()) + ": " + c.text);
      EXPECT_EQ(db->QueryReadOnly(c.text).rows, c.rows);
    }
    // Inside a transaction that is open the query reads, and the
    // transaction writes on after it.
    Transaction transaction(*db);
    EXPECT_EQ(db->QueryReadOnly("Select count(*) From RIS_DOC").rows, (Rows{{std::int64_t{1}}}));
    EXPECT_EQ(db->Execute("Update RIS_DOC Set DESCS='改' Where ID=1"), 1);
    transaction.Commit();
  }
}

}  // namespace
}  // namespace rt::postgres
