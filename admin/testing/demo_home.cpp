#include "admin/testing/demo_home.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "labdoc/content_chunks.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/data/testing/test_database.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/testing/test_support.h"

namespace admin::testing {
namespace {

std::int64_t Integer(rt::DataSession& db, const std::string& sql, const std::vector<rt::Value>& params) {
  const rt::RowSet rows = db.QueryBound(sql, params);
  if (rows.rows.empty() || !std::holds_alternative<std::int64_t>(rows.rows[0][0]))
    throw std::runtime_error("no number from " + sql);
  return std::get<std::int64_t>(rows.rows[0][0]);
}

}  // namespace

std::string AdminRun::LineStarting(const std::string& start) const {
  std::stringstream stream(out);
  for (std::string line; std::getline(stream, line);)
    if (line.rfind(start, 0) == 0) return line;
  return {};
}

std::string EngineName(const ::testing::TestParamInfo<rt::Engine>& engine) {
  return rt::testing::EngineName(engine.param);
}

void DemoHomeTest::MakeHome() {
  folder_ = std::make_unique<console::testing::TempFolder>();
  server_.reset();
  database_options_.clear();
  if (GetParam() == rt::Engine::Postgres) {
    server_ = std::make_unique<rt::testing::TestDatabase>(GetParam(), std::string());
    ASSERT_FALSE(server_->Setting().empty());
    database_options_ = {"--database", server_->Setting()};
  }
  // The console makes the demo, as it makes it for a person.
  const console::testing::ConsoleRun made = Console("");
  ASSERT_EQ(made.exit_code, 0) << made.err;
  if (server_) rt::OpenSession(server_->Setting());
  else rt::OpenSession(rt::testing::PathUtf8(folder_->Home() / "labdocs.db"), rt::OpenMode::OpenExisting);
  if (rt::sqlite::Database* sqlite = rt::sqlite::AsSqlite(Db())) sqlite->AttachContentFile();

  library_ = LoadLibraryA(labdocs::kDocStoreLibrary);
  ASSERT_NE(library_, nullptr);
  store_ = labdocs::ResolveDocStoreApi(library_);
  ASSERT_TRUE(store_.HasRequired());
  const std::string cache = rt::platform::AnsiPath(folder_->Path() / "cache") + "/";
  std::int32_t reserved = 0;
  ASSERT_EQ(store_.InitLabDoc(cache.c_str(), &reserved), S_OK);

  // Three chunks (the last one short) replace document 1's content, which
  // is kept.
  std::string revised(2 * labdocs::labdoc::kChunkSize + 12345, '\0');
  for (std::size_t i = 0; i < revised.size(); ++i) revised[i] = static_cast<char>((i * 7919) >> 3);
  ASSERT_EQ(Store("实验室安全手册.txt", revised, kRevisedDocument), kRevisedDocument);
  // A document of a directory of its own.
  ASSERT_EQ(Store("淺析報告 倉庫[亅]乗.txt", "淺析報告\r\n第一章\r\n", 0), kAddedDocument);
  rt::Transaction transaction(Db());
  Db().ExecuteBound("INSERT INTO Lab_List(TV_ID, TV_Name, DocType) VALUES(?, ?, ?)",
                    {kAddedDirectory, std::string("設備 億[乗]"), std::string("文档管理明细")});
  Db().ExecuteBound("INSERT INTO RIS_DOC(ID, LABDOC_ID, DocType, DESCS, UserId) VALUES(?, ?, ?, ?, ?)",
                    {kAddedDocument, kAddedDocument, std::to_string(kAddedDirectory), std::string("淺析; 報告"),
                     std::string("admin")});
  Db().ExecuteBound(
      "INSERT INTO DB_FILE_RECORD(FileTableName, FileTableID, LABDOC_ID, SRCFILENAME, HOSTNAME, USERID, USERNAME, "
      "MODIFYTIME) VALUES('RIS_DOC', ?, ?, ?, ?, ?, ?, ?)",
      {kAddedDocument, kAddedDocument, std::string("淺析報告 倉庫[亅]乗.txt"), std::string("LAB-PC01"),
       std::string("admin"), std::string("系统管理员"), rt::Value(rt::DateTime{45000.5})});
  transaction.Commit();
}

void DemoHomeTest::LeaveHome() {
  if (library_ != nullptr) {
    if (store_.FreeLabDoc) store_.FreeLabDoc();
    FreeLibrary(library_);
    library_ = nullptr;
  }
  rt::CloseSession();
}

std::int32_t DemoHomeTest::Store(const std::string& gbk_name, const std::string& bytes, std::int32_t update) {
  const std::filesystem::path file = folder_->Path() / rt::platform::NativePath(gbk_name);
  std::ofstream(file, std::ios::binary) << bytes;
  const std::string path = rt::platform::AnsiPath(file);
  std::uint8_t ok = 0;
  if (update != 0) return store_.UpdateLabDoc(update, path.c_str(), &ok) == S_OK && ok ? update : 0;
  std::int32_t id = 0;
  return store_.SaveLabDoc(path.c_str(), &id, &ok) == S_OK && ok ? id : 0;
}

AdminRun DemoHomeTest::Admin(const std::vector<std::string>& arguments) {
  static int counter = 0;
  const std::string stem = "admin" + std::to_string(++counter);
  rt::testing::ProcessOptions options;
  options.standard_output = folder_->Path() / (stem + ".out");
  options.standard_error = folder_->Path() / (stem + ".err");
  std::vector<std::string> all = {"--home", rt::testing::PathUtf8(folder_->Home())};
  all.insert(all.end(), database_options_.begin(), database_options_.end());
  all.insert(all.end(), arguments.begin(), arguments.end());
  AdminRun run;
  run.exit_code = rt::testing::RunProcess(rt::testing::BuiltProgram("labdocs-admin"), all, options);
  run.out = console::testing::ReadAll(options.standard_output);
  run.err = console::testing::ReadAll(options.standard_error);
  return run;
}

console::testing::ConsoleRun DemoHomeTest::Console(const std::string& script) {
  return console::testing::RunConsole(folder_->Home(), script, database_options_);
}

std::string DemoHomeTest::Chunks() const { return server_ ? "DB_FILE_CHUNK" : "content.DB_FILE_CHUNK"; }

std::int64_t DemoHomeTest::CurrentContent(std::int64_t labdoc_id) {
  return Integer(Db(),
                 "SELECT CONTENT_ID FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? AND PENDING = 0 AND "
                 "REPLACEDTIME IS NULL",
                 {labdoc_id});
}

std::int64_t DemoHomeTest::KeptContent(std::int64_t labdoc_id) {
  return Integer(Db(),
                 "SELECT min(CONTENT_ID) FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? AND PENDING = 0 AND "
                 "REPLACEDTIME IS NOT NULL",
                 {labdoc_id});
}

void DemoHomeTest::FlipByte(std::int64_t content_id, std::int64_t seq) {
  std::optional<std::vector<std::uint8_t>> bytes =
      Db().QueryBytes("SELECT DATA FROM " + Chunks() + " WHERE CONTENT_ID = ? AND SEQ = ?", {content_id, seq});
  ASSERT_TRUE(bytes && !bytes->empty());
  (*bytes)[bytes->size() / 2] ^= 0x01;
  ASSERT_EQ(Db().ExecuteBound("UPDATE " + Chunks() + " SET DATA = ? WHERE CONTENT_ID = ? AND SEQ = ?",
                              {*bytes, content_id, seq}),
            1);
}

}  // namespace admin::testing
