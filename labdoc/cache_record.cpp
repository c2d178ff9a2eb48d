#include "labdoc/cache_record.h"

#include <variant>

#include "runtime/data/datetime_text.h"

namespace labdocs::labdoc {
namespace {

std::int64_t IntegerOf(const rt::Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

rt::Value Stored(const std::optional<rt::platform::FileIdentity>& identity, std::int64_t rt::platform::FileIdentity::*part) {
  return identity ? rt::Value((*identity).*part) : rt::Value();
}

constexpr std::int64_t kSettleNs = 2'000'000'000;

}  // namespace

std::optional<rt::platform::FileIdentity> Settled(std::optional<rt::platform::FileIdentity> identity) {
  if (!identity) return std::nullopt;
  const std::int64_t now = rt::platform::FileClockNowNs();
  if (now - identity->modified_ns < kSettleNs || now - identity->changed_ns < kSettleNs) return std::nullopt;
  return identity;
}

std::optional<CachedCopy> CacheRecords::Find(rt::DataSession& db, std::string_view file_name) const {
  const rt::RowSet rows = db.QueryBound(
      "SELECT LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS,"
      " DISK_CHANGED_NS FROM DB_FILE_CACHE WHERE HOSTNAME = ? AND CACHE_DIR = ? AND FILE_NAME = ?",
      {host_, cache_dir_, std::string(file_name)});
  if (rows.rows.empty()) return std::nullopt;
  const std::vector<rt::Value>& row = rows.rows.front();
  CachedCopy copy;
  copy.doc_id = IntegerOf(row[0]);
  copy.content_id = IntegerOf(row[1]);
  copy.fetched_as.size = static_cast<std::uint64_t>(IntegerOf(row[2]));
  if (const auto* digest = std::get_if<std::string>(&row[3])) copy.fetched_as.sha256 = *digest;
  // All five parts or none: a row written in part is no identity.
  bool whole = true;
  for (std::size_t i = 4; i < 9; ++i) whole = whole && std::holds_alternative<std::int64_t>(row[i]);
  if (whole)
    copy.on_disk = rt::platform::FileIdentity{IntegerOf(row[4]), IntegerOf(row[5]), IntegerOf(row[6]),
                                              IntegerOf(row[7]), IntegerOf(row[8])};
  return copy;
}

void CacheRecords::Remember(rt::DataSession& db, std::string_view file_name, const CachedCopy& copy) const {
  if (Find(db, file_name) == copy) return;  // a fetch that reused its copy writes nothing
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  db.ExecuteBound(
      "INSERT INTO DB_FILE_CACHE(HOSTNAME, CACHE_DIR, FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256,"
      " FETCHEDTIME, DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS, DISK_CHANGED_NS)"
      " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
      " ON CONFLICT(HOSTNAME, CACHE_DIR, FILE_NAME) DO UPDATE SET LABDOC_ID = excluded.LABDOC_ID,"
      " CONTENT_ID = excluded.CONTENT_ID, FILE_SIZE = excluded.FILE_SIZE, SHA256 = excluded.SHA256,"
      " FETCHEDTIME = excluded.FETCHEDTIME, DISK_DEVICE = excluded.DISK_DEVICE,"
      " DISK_FILE_NUMBER = excluded.DISK_FILE_NUMBER, DISK_SIZE = excluded.DISK_SIZE,"
      " DISK_MODIFIED_NS = excluded.DISK_MODIFIED_NS, DISK_CHANGED_NS = excluded.DISK_CHANGED_NS",
      {host_, cache_dir_, std::string(file_name), copy.doc_id, copy.content_id,
       static_cast<std::int64_t>(copy.fetched_as.size), copy.fetched_as.sha256, rt::datetime::NowText(),
       Stored(copy.on_disk, &rt::platform::FileIdentity::device),
       Stored(copy.on_disk, &rt::platform::FileIdentity::file_number),
       Stored(copy.on_disk, &rt::platform::FileIdentity::size),
       Stored(copy.on_disk, &rt::platform::FileIdentity::modified_ns),
       Stored(copy.on_disk, &rt::platform::FileIdentity::changed_ns)});
  transaction.Commit();
}

}  // namespace labdocs::labdoc
