#include "labdoc/cache_index.h"

#include <sqlite3.h>

#include "runtime/data/datetime_text.h"
#include "runtime/data/sqlite/util.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

// The index's format (PRAGMA user_version); 0 in a file just made. Version
// 1 did not name the database a record belongs to.
constexpr int kIndexVersion = 2;

// File names compare as Windows compares them (ASCII letters without regard
// to case), and so do workstations' names. A database's identity
// (rt::DataSession::Identity) compares byte for byte; '' is no database's,
// as in the records of version 1 and those that its code still writes.
constexpr const char* kTables = R"sql(
CREATE TABLE CACHED_COPY (
  FILE_NAME        TEXT COLLATE NOCASE PRIMARY KEY,
  LABDOC_ID        INTEGER NOT NULL,
  CONTENT_ID       INTEGER NOT NULL,
  FILE_SIZE        INTEGER NOT NULL,
  SHA256           TEXT NOT NULL,
  RECORDED_BY      TEXT COLLATE NOCASE NOT NULL,
  RECORDEDTIME     TEXT NOT NULL,
  DISK_DEVICE      INTEGER,
  DISK_FILE_NUMBER INTEGER,
  DISK_SIZE        INTEGER,
  DISK_MODIFIED_NS INTEGER,
  DISK_CHANGED_NS  INTEGER,
  FETCHED_FROM     TEXT NOT NULL DEFAULT ''
);
)sql";

// One row per workstation and database whose DB_FILE_CACHE rows were
// carried over.
constexpr const char* kCarriedOver = R"sql(
CREATE TABLE CARRIED_OVER (
  HOSTNAME     TEXT COLLATE NOCASE NOT NULL,
  CARRIED_FROM TEXT NOT NULL DEFAULT '',
  CARRIEDTIME  TEXT NOT NULL,
  PRIMARY KEY (HOSTNAME, CARRIED_FROM)
);
)sql";

// Version 1's records become no database's, and what it carried over is
// forgotten, as it did not say from which database: each workstation
// carries over again from each database it opens the index with, and takes
// back for that database the records that are still what its rows say.
constexpr const char* kFromVersion1 = R"sql(
ALTER TABLE CACHED_COPY ADD COLUMN FETCHED_FROM TEXT NOT NULL DEFAULT '';
DROP TABLE CARRIED_OVER;
)sql";

constexpr int kBusyTimeoutMs = 10'000;

// The five parts of what a copy is on its disk, in the order of the
// DISK_ columns.
constexpr std::int64_t rt::platform::FileIdentity::*kIdentityParts[] = {
    &rt::platform::FileIdentity::device, &rt::platform::FileIdentity::file_number, &rt::platform::FileIdentity::size,
    &rt::platform::FileIdentity::modified_ns, &rt::platform::FileIdentity::changed_ns};

void BindText(sqlite3_stmt* statement, int index, std::string_view gbk) {
  const std::string utf8 = rt::gbk::ToUtf8(gbk);
  if (sqlite3_bind_text(statement, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    rt::sqlite::ThrowError(sqlite3_db_handle(statement));
}

// A database's identity, bound as it is (UTF-8).
void BindIdentity(sqlite3_stmt* statement, int index, std::string_view identity) {
  if (sqlite3_bind_text(statement, index, identity.data(), static_cast<int>(identity.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    rt::sqlite::ThrowError(sqlite3_db_handle(statement));
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? rt::gbk::FromUtf8(text) : std::string();
}

// Binds a record's columns after the file name, in the order of the table.
void BindRecord(sqlite3_stmt* statement, const IndexedCopy& record) {
  const CachedCopy& copy = record.copy;
  sqlite3_bind_int64(statement, 2, copy.doc_id);
  sqlite3_bind_int64(statement, 3, copy.content_id);
  sqlite3_bind_int64(statement, 4, static_cast<std::int64_t>(copy.fetched_as.size));
  BindText(statement, 5, copy.fetched_as.sha256);
  BindText(statement, 6, record.recorded_by);
  BindText(statement, 7, rt::datetime::NowText());
  int index = 8;
  for (const auto part : kIdentityParts) {
    if (copy.on_disk) sqlite3_bind_int64(statement, index, (*copy.on_disk).*part);
    else sqlite3_bind_null(statement, index);
    ++index;
  }
  BindIdentity(statement, 13, record.fetched_from);
}

constexpr const char* kInsert =
    " INTO CACHED_COPY(FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, RECORDED_BY, RECORDEDTIME, DISK_DEVICE,"
    " DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS, DISK_CHANGED_NS, FETCHED_FROM)"
    " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// Gives a record of no database to the database whose DB_FILE_CACHE row
// says the same of the copy: version 1 carried it over from there.
constexpr const char* kClaim =
    "UPDATE CACHED_COPY SET FETCHED_FROM = ? WHERE FILE_NAME = ? AND FETCHED_FROM = '' AND LABDOC_ID = ?"
    " AND CONTENT_ID = ? AND FILE_SIZE = ? AND SHA256 = ?";

void Step(sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE) rt::sqlite::ThrowError(sqlite3_db_handle(statement));
}

bool HasCarriedOver(sqlite3* db, std::string_view host, std::string_view database) {
  rt::sqlite::StatementPtr find =
      rt::sqlite::Prepare(db, "SELECT 1 FROM CARRIED_OVER WHERE HOSTNAME = ? AND CARRIED_FROM = ?");
  BindText(find.get(), 1, host);
  BindIdentity(find.get(), 2, database);
  const int rc = sqlite3_step(find.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) rt::sqlite::ThrowError(db);
  return rc == SQLITE_ROW;
}

int UserVersion(sqlite3* db) {
  rt::sqlite::StatementPtr statement = rt::sqlite::Prepare(db, "PRAGMA user_version");
  if (sqlite3_step(statement.get()) != SQLITE_ROW) rt::sqlite::ThrowError(db);
  return sqlite3_column_int(statement.get(), 0);
}

// Runs an operation on the index and names the index in its failure.
template <class Operation>
auto Naming(const std::string& ansi_path, Operation&& operation) {
  try {
    return operation();
  } catch (const rt::Exception& error) {
    throw rt::Exception("文档缓存的索引 " + ansi_path + " 无法使用: " + error.what());
  }
}

}  // namespace

CacheIndex::CacheIndex(const std::string& ansi_dir) : path_(PathIn(ansi_dir)) {
  Naming(path_, [&] {
    const std::string native = rt::platform::SqliteFileName(path_);
    const int rc = sqlite3_open_v2(native.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    try {
      if (rc != SQLITE_OK) rt::sqlite::ThrowError(db_);
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      // Made by whichever process comes first; the others find it made.
      if (UserVersion(db_) < kIndexVersion) {
        rt::sqlite::ImmediateTransaction transaction(db_);
        const int version = UserVersion(db_);
        if (version < kIndexVersion) {
          rt::sqlite::Exec(db_, version == 0 ? kTables : kFromVersion1);
          rt::sqlite::Exec(db_, kCarriedOver);
          rt::sqlite::Exec(db_, "PRAGMA user_version = " + std::to_string(kIndexVersion));
        }
        transaction.Commit();
      }
    } catch (...) {
      sqlite3_close_v2(db_);
      throw;
    }
  });
}

CacheIndex::~CacheIndex() { sqlite3_close_v2(db_); }

std::optional<IndexedCopy> CacheIndex::Find(std::string_view file_name) {
  return Naming(path_, [&]() -> std::optional<IndexedCopy> {
    rt::sqlite::StatementPtr find = rt::sqlite::Prepare(
        db_, "SELECT LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, RECORDED_BY, DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE,"
             " DISK_MODIFIED_NS, DISK_CHANGED_NS, FETCHED_FROM FROM CACHED_COPY WHERE FILE_NAME = ?");
    BindText(find.get(), 1, file_name);
    const int rc = sqlite3_step(find.get());
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) rt::sqlite::ThrowError(db_);
    IndexedCopy record;
    record.copy.doc_id = sqlite3_column_int64(find.get(), 0);
    record.copy.content_id = sqlite3_column_int64(find.get(), 1);
    record.copy.fetched_as.size = static_cast<std::uint64_t>(sqlite3_column_int64(find.get(), 2));
    record.copy.fetched_as.sha256 = ColumnText(find.get(), 3);
    record.recorded_by = ColumnText(find.get(), 4);
    const auto* from = reinterpret_cast<const char*>(sqlite3_column_text(find.get(), 10));
    if (from != nullptr) record.fetched_from = from;
    // All five parts or none: a record written in part is no identity.
    bool whole = true;
    for (int column = 5; column < 10; ++column)
      whole = whole && sqlite3_column_type(find.get(), column) == SQLITE_INTEGER;
    if (whole) {
      rt::platform::FileIdentity identity;
      int column = 5;
      for (const auto part : kIdentityParts) identity.*part = sqlite3_column_int64(find.get(), column++);
      record.copy.on_disk = identity;
    }
    return record;
  });
}

void CacheIndex::Put(std::string_view file_name, const IndexedCopy& record) {
  Naming(path_, [&] {
    rt::sqlite::StatementPtr put = rt::sqlite::Prepare(db_, std::string("INSERT OR REPLACE") + kInsert);
    BindText(put.get(), 1, file_name);
    BindRecord(put.get(), record);
    Step(put.get());
  });
}

bool CacheIndex::CarriedOver(std::string_view host, std::string_view database) {
  return Naming(path_, [&] { return HasCarriedOver(db_, host, database); });
}

void CacheIndex::CarryOver(std::string_view host, std::string_view database,
                           const std::vector<std::pair<std::string, IndexedCopy>>& records) {
  Naming(path_, [&] {
    rt::sqlite::ImmediateTransaction transaction(db_);
    if (HasCarriedOver(db_, host, database)) return;  // by another process meanwhile
    rt::sqlite::StatementPtr claim = rt::sqlite::Prepare(db_, kClaim);
    rt::sqlite::StatementPtr add = rt::sqlite::Prepare(db_, std::string("INSERT OR IGNORE") + kInsert);
    for (auto [file_name, record] : records) {
      record.fetched_from = std::string(database);
      sqlite3_reset(claim.get());
      BindIdentity(claim.get(), 1, database);
      BindText(claim.get(), 2, file_name);
      sqlite3_bind_int64(claim.get(), 3, record.copy.doc_id);
      sqlite3_bind_int64(claim.get(), 4, record.copy.content_id);
      sqlite3_bind_int64(claim.get(), 5, static_cast<std::int64_t>(record.copy.fetched_as.size));
      BindText(claim.get(), 6, record.copy.fetched_as.sha256);
      Step(claim.get());
      sqlite3_reset(add.get());
      BindText(add.get(), 1, file_name);
      BindRecord(add.get(), record);
      Step(add.get());
    }
    rt::sqlite::StatementPtr done =
        rt::sqlite::Prepare(db_, "INSERT INTO CARRIED_OVER(HOSTNAME, CARRIED_FROM, CARRIEDTIME) VALUES(?, ?, ?)");
    BindText(done.get(), 1, host);
    BindIdentity(done.get(), 2, database);
    BindText(done.get(), 3, rt::datetime::NowText());
    Step(done.get());
    transaction.Commit();
  });
}

}  // namespace labdocs::labdoc
