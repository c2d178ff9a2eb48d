#include "bench/bench_data.h"

#include <openssl/sha.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "runtime/text/gbk.h"

namespace labdocs::bench {
namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

void Check(sqlite3* db, int code) {
  if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql) { Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

Statement Prepare(sqlite3* db, const std::string& gbk_sql) {
  const std::string sql = rt::gbk::ToUtf8(gbk_sql);
  sqlite3_stmt* statement = nullptr;
  Check(db, sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
  return Statement(statement);
}

// Binds the values in order (texts are UTF-8 already), runs the statement
// once and makes it ready for the next row.
class Insert {
 public:
  Insert(sqlite3* db, const std::string& sql) : db_(db), statement_(Prepare(db, sql)) {}
  Insert& Int(std::int64_t value) {
    Check(db_, sqlite3_bind_int64(statement_.get(), ++index_, value));
    return *this;
  }
  Insert& Text(const std::string& utf8) {
    Check(db_,
          sqlite3_bind_text(statement_.get(), ++index_, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Insert& Blob(const std::string& bytes) {
    Check(db_, sqlite3_bind_blob(statement_.get(), ++index_, bytes.data(), static_cast<int>(bytes.size()),
                                 SQLITE_TRANSIENT));
    return *this;
  }
  void Run() {
    Check(db_, sqlite3_step(statement_.get()));
    sqlite3_reset(statement_.get());
    index_ = 0;
  }

 private:
  sqlite3* db_;
  Statement statement_;
  int index_ = 0;
};

std::string HexSha256(const std::string& bytes) {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
  static const char* kHex = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (unsigned char byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 15]);
  }
  return hex;
}

// "2024-MM-DD HH:MM:SS.000", a different time for each n.
std::string Time(std::int64_t n, int month) {
  char text[32];
  std::snprintf(text, sizeof text, "2024-%02d-%02d %02lld:%02lld:%02lld.000", month, static_cast<int>(n % 28) + 1,
                static_cast<long long>(n / 3600 % 24), static_cast<long long>(n / 60 % 60),
                static_cast<long long>(n % 60));
  return text;
}

}  // namespace

std::string Texts::DirectoryName(std::int64_t tv_id) const { return rt::gbk::ToUtf8("目录 ") + std::to_string(tv_id); }

const Texts& GeneratedTexts() {
  static const Texts texts{rt::gbk::ToUtf8(kCategory), rt::gbk::ToUtf8("张三"), rt::gbk::ToUtf8("张三,李四"),
                           rt::gbk::ToUtf8("系统管理员")};
  return texts;
}

std::string Document::ModifyTime(int month) const { return Time(id, month); }

Document GeneratedDocument(std::int64_t n) {
  Document d;
  d.id = n;
  const std::string number = std::to_string(n);
  d.file_name = rt::gbk::ToUtf8("报告") + number + ".doc";
  d.bytes = "laboratory document " + number + "\n";
  d.sha256 = HexSha256(d.bytes);
  d.description = rt::gbk::ToUtf8("实验记录 第") + number;
  d.stored_time = Time(n, 1);
  return d;
}

Laboratory Plan(std::int64_t total) {
  Laboratory laboratory;
  laboratory.documents = total;
  std::int64_t left = total;
  std::int64_t next_id = 12;
  for (std::int64_t size : {1000, 10000, 100000}) {
    if (size * 2 > total) break;
    laboratory.measured.push_back({next_id++, size});
    left -= size;
  }
  laboratory.directories = laboratory.measured;
  while (left > 0) {
    const std::int64_t size = left < 1000 ? left : 1000;
    laboratory.directories.push_back({next_id++, size});
    left -= size;
  }
  return laboratory;
}

void Fill(sqlite3* db, const Laboratory& laboratory) {
  Exec(db, "BEGIN IMMEDIATE");
  try {
    const std::string& category = GeneratedTexts().category;
    {
      Insert node(db, "INSERT INTO Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode,DllName,Icon,SortNo) "
                      "VALUES(?,?,?,'LIS',?,'labdoc.ico',?)");
      node.Int(1).Text(rt::gbk::ToUtf8("文档管理")).Int(0).Text("").Int(1).Run();
      node.Int(2).Text(category).Int(1).Text("labdocs.dll").Int(2).Run();
    }
    Insert directory(db, "INSERT INTO Lab_List(TV_ID,TV_Name,DocType) VALUES(?,?,?)");
    Insert storage(db,
                   "INSERT INTO DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME,FILE_SIZE,SHA256) VALUES(?,?,?,?,?)");
    Insert content(db,
                   "INSERT INTO DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID,FILE_NAME,STOREDTIME,FILE_SIZE,SHA256,PENDING) "
                   "VALUES(?,?,?,?,?,?,0)");
    Insert chunk(db, "INSERT INTO content.DB_FILE_CHUNK(CONTENT_ID,SEQ,DATA) VALUES(?,0,?)");
    Insert document(
        db, "INSERT INTO RIS_DOC(ID,LABDOC_ID,DocType,DESCS,FstAuthor,Authors,UserId) VALUES(?,?,?,?,?,?,'admin')");
    Insert record(db, "INSERT INTO DB_FILE_RECORD(ID,FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,"
                      "USERNAME,MODIFYTIME) VALUES(?,'RIS_DOC',?,?,?,'LAB-PC01','admin',?,?)");
    const Texts& texts = GeneratedTexts();
    std::int64_t id = 0;
    std::int64_t record_id = 0;
    for (const Directory& folder : laboratory.directories) {
      directory.Int(folder.tv_id).Text(texts.DirectoryName(folder.tv_id)).Text(category).Run();
      const std::string doc_type = std::to_string(folder.tv_id);
      for (std::int64_t i = 0; i < folder.documents; ++i) {
        const Document d = GeneratedDocument(++id);
        const auto size = static_cast<std::int64_t>(d.bytes.size());
        storage.Int(id).Text(d.file_name).Text(d.stored_time).Int(size).Text(d.sha256).Run();
        content.Int(id).Int(id).Text(d.file_name).Text(d.stored_time).Int(size).Text(d.sha256).Run();
        chunk.Int(id).Blob(d.bytes).Run();
        document.Int(id).Int(id).Text(doc_type).Text(d.description).Text(texts.author).Text(texts.authors).Run();
        for (int month : {1, 2})
          record.Int(++record_id).Int(id).Int(id).Text(d.file_name).Text(texts.user).Text(d.ModifyTime(month)).Run();
      }
    }
    Exec(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::int64_t ReadAllRows(sqlite3* db, const std::string& sql_utf8) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql_utf8.c_str(), -1, &statement, nullptr);
  std::int64_t rows = 0;
  std::size_t bytes = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < sqlite3_column_count(statement); ++c) {
      sqlite3_column_text(statement, c);
      bytes += static_cast<std::size_t>(sqlite3_column_bytes(statement, c));
    }
  }
  sqlite3_finalize(statement);
  // The bytes read are what the reader would use.
  volatile std::size_t used = bytes;
  (void)used;
  return rows;
}

std::string ListQuery(std::int64_t directory) {
  return rt::gbk::ToUtf8(
      "Select a.ID,a.LABDOC_ID,'RIS_DOC' as FileTableName, a.ID as DISP_ID,a.LABDOC_ID As DISP_文件ID,"
      "b.FILE_NAME As DISP_名称,a.DESCS As DISP_描述, (select Max(ModifyTime) from DB_FILE_RECORD c "
      "Where FileTableName='RIS_DOC' and FileTableID=a.ID and c.LABDOC_ID=a.LABDOC_ID) as DISP_修改时间 "
      "From RIS_DOC a,DB_FILE_STORAGE b "
      "Where a.LABDOC_ID = b.LABDOC_ID and a.DocType='" +
      std::to_string(directory) + "' Order by a.ID");
}

}  // namespace labdocs::bench
