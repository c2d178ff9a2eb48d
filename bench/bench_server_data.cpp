#include "bench/bench_server_data.h"

#include <libpq-fe.h>

#include <memory>
#include <stdexcept>

#include "runtime/data/session.h"
#include "runtime/text/gbk.h"

namespace labdocs::bench {
namespace {

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;

void Run(PGconn* conn, const std::string& sql) {
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  const std::string error = PQresultErrorMessage(result);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw std::runtime_error(error);
}

// One COPY of tab-separated rows (texts in UTF-8 with no tab, newline or
// backslash but for those written as COPY's escapes).
class Copy {
 public:
  Copy(PGconn* conn, const std::string& into) : conn_(conn) {
    PGresult* result = PQexec(conn, ("COPY " + into + " FROM STDIN").c_str());
    const bool ready = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    if (!ready) throw std::runtime_error(PQerrorMessage(conn));
  }
  void Row(const std::string& line) {
    buffer_ += line;
    buffer_ += '\n';
    if (buffer_.size() > (1 << 20)) Flush();
  }
  void End() {
    Flush();
    if (PQputCopyEnd(conn_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(conn_));
    PGresult* result = PQgetResult(conn_);
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    while ((result = PQgetResult(conn_)) != nullptr) PQclear(result);
    if (!done) throw std::runtime_error(PQerrorMessage(conn_));
  }

 private:
  void Flush() {
    if (!buffer_.empty() && PQputCopyData(conn_, buffer_.data(), static_cast<int>(buffer_.size())) != 1)
      throw std::runtime_error(PQerrorMessage(conn_));
    buffer_.clear();
  }
  PGconn* conn_;
  std::string buffer_;
};

std::string Hex(const std::string& bytes) {
  static const char* kHex = "0123456789abcdef";
  std::string hex = "\\\\x";  // COPY's escape of bytea's \x
  for (unsigned char c : bytes) {
    hex.push_back(kHex[c >> 4]);
    hex.push_back(kHex[c & 15]);
  }
  return hex;
}

}  // namespace

std::string FillServerSchema(const std::string& conninfo, const std::string& schema, const Laboratory& laboratory) {
  Connection conn(PQconnectdb(conninfo.c_str()), &PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn.get()));
  Run(conn.get(), "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
  Run(conn.get(), "CREATE SCHEMA " + schema);
  const std::string setting = conninfo + " options='-csearch_path=" + schema + ",public'";
  rt::Connect(setting);  // the host's tables, as a host makes them
  Run(conn.get(), "SET search_path TO " + schema + ", public");
  Run(conn.get(), "SET client_encoding TO 'UTF8'");
  Run(conn.get(), "BEGIN");
  const Texts& texts = GeneratedTexts();
  const std::string& category = texts.category;
  // clang-format off
  Run(conn.get(), "INSERT INTO Pacs_MMCTreeViewConfig(TV_ID,TV_Name,Parent,SubSysCode,DllName,Icon,SortNo) VALUES"
                  "(1,'" + rt::gbk::ToUtf8("文档管理") + "',0,'LIS','','labdoc.ico',1),"
                  "(2,'" + category + "',1,'LIS','labdocs.dll','labdoc.ico',2)");
  // clang-format on
  {
    Copy lists(conn.get(), "Lab_List(TV_ID,TV_Name,DocType)");
    for (const Directory& folder : laboratory.directories)
      lists.Row(std::to_string(folder.tv_id) + "\t" + texts.DirectoryName(folder.tv_id) + "\t" + category);
    lists.End();
  }
  Copy storage(conn.get(), "DB_FILE_STORAGE(LABDOC_ID,FILE_NAME,STOREDTIME,FILE_SIZE,SHA256)");
  std::vector<std::string> contents, chunks, documents, records;
  std::int64_t id = 0, record_id = 0;
  for (const Directory& folder : laboratory.directories) {
    for (std::int64_t i = 0; i < folder.documents; ++i) {
      const Document d = GeneratedDocument(++id);
      const std::string n = std::to_string(id), size = std::to_string(d.bytes.size());
      storage.Row(n + "\t" + d.file_name + "\t" + d.stored_time + "\t" + size + "\t" + d.sha256);
      contents.push_back(n + "\t" + n + "\t" + d.file_name + "\t" + d.stored_time + "\t" + size + "\t" + d.sha256 +
                         "\t0");
      chunks.push_back(n + "\t0\t" + Hex(d.bytes));
      documents.push_back(n + "\t" + n + "\t" + std::to_string(folder.tv_id) + "\t" + d.description + "\t" +
                          texts.author + "\t" + texts.authors + "\tadmin");
      for (int month : {1, 2})
        records.push_back(std::to_string(++record_id) + "\tRIS_DOC\t" + n + "\t" + n + "\t" + d.file_name +
                          "\tLAB-PC01\tadmin\t" + texts.user + "\t" + d.ModifyTime(month));
    }
  }
  storage.End();
  const auto copy_all = [&](const std::string& into, const std::vector<std::string>& rows) {
    Copy copy(conn.get(), into);
    for (const std::string& row : rows) copy.Row(row);
    copy.End();
  };
  copy_all("DB_FILE_CONTENT(CONTENT_ID,LABDOC_ID,FILE_NAME,STOREDTIME,FILE_SIZE,SHA256,PENDING)", contents);
  copy_all("DB_FILE_CHUNK(CONTENT_ID,SEQ,DATA)", chunks);
  copy_all("RIS_DOC(ID,LABDOC_ID,DocType,DESCS,FstAuthor,Authors,UserId)", documents);
  copy_all("DB_FILE_RECORD(ID,FileTableName,FileTableID,LABDOC_ID,SRCFILENAME,HOSTNAME,USERID,USERNAME,MODIFYTIME)",
           records);
  Run(conn.get(), "COMMIT");
  Run(conn.get(), "ANALYZE");
  return setting;
}

}  // namespace labdocs::bench
