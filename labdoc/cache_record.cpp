#include "labdoc/cache_record.h"

#include <variant>

#include "runtime/data/datetime_text.h"

namespace labdocs::labdoc {
namespace {

std::int64_t IntegerOf(const rt::Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

}  // namespace

std::optional<CachedCopy> CacheRecords::Find(rt::Database& db, std::string_view file_name) const {
  const rt::RowSet rows = db.QueryBound(
      "SELECT LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256 FROM DB_FILE_CACHE"
      " WHERE HOSTNAME = ? AND CACHE_DIR = ? AND FILE_NAME = ?",
      {host_, cache_dir_, std::string(file_name)});
  if (rows.rows.empty()) return std::nullopt;
  const std::vector<rt::Value>& row = rows.rows.front();
  CachedCopy copy;
  copy.doc_id = IntegerOf(row[0]);
  copy.content_id = IntegerOf(row[1]);
  copy.fetched_as.size = static_cast<std::uint64_t>(IntegerOf(row[2]));
  if (const auto* digest = std::get_if<std::string>(&row[3])) copy.fetched_as.sha256 = *digest;
  return copy;
}

void CacheRecords::Remember(rt::Database& db, std::string_view file_name, const CachedCopy& copy) const {
  if (Find(db, file_name) == copy) return;  // a fetch that reused its copy writes nothing
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  db.ExecuteBound(
      "INSERT OR REPLACE INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256,"
      " FETCHEDTIME) VALUES(?, ?, ?, ?, ?, ?, ?, ?)",
      {host_, cache_dir_, std::string(file_name), copy.doc_id, copy.content_id,
       static_cast<std::int64_t>(copy.fetched_as.size), copy.fetched_as.sha256, rt::datetime::NowText()});
  transaction.Commit();
}

}  // namespace labdocs::labdoc
