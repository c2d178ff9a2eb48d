#include "labdoc/cache_record.h"

#include <variant>
#include <vector>

#include "labdoc/cache_index.h"
#include "labdoc/local_file.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

std::int64_t IntegerOf(const rt::Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

constexpr std::int64_t kSettleNs = 2'000'000'000;

// The records of a workstation's cache folder as DB_FILE_CACHE holds them.
std::vector<std::pair<std::string, IndexedCopy>> RecordsInDatabase(rt::DataSession& db, const std::string& host,
                                                                   const std::string& cache_dir) {
  std::vector<std::pair<std::string, IndexedCopy>> records;
  const std::vector<std::string> columns = db.TableColumns("DB_FILE_CACHE");
  if (columns.empty()) return records;
  // Version 4 of the schema recorded no identities on disk.
  bool identities = false;
  for (const std::string& column : columns) identities = identities || rt::gbk::UpperCase(column) == "DISK_DEVICE";
  rt::RowSet rows;
  try {
    rt::Transaction look(db, rt::Transaction::Kind::Deferred);
    rows = db.QueryBound(std::string("SELECT FILE_NAME, LABDOC_ID, CONTENT_ID, FILE_SIZE, SHA256, ") +
                             (identities ? "DISK_DEVICE, DISK_FILE_NUMBER, DISK_SIZE, DISK_MODIFIED_NS, DISK_CHANGED_NS"
                                         : "NULL, NULL, NULL, NULL, NULL") +
                             " FROM DB_FILE_CACHE WHERE HOSTNAME = ? AND CACHE_DIR = ?",
                         {host, cache_dir});
    look.Commit();
  } catch (const rt::EDatabaseError& error) {
    // SQLSTATE 42501: this login may not read the table.
    if (std::string_view(error.what()).find("SQLSTATE 42501") != std::string_view::npos) return records;
    throw;
  }
  for (const std::vector<rt::Value>& row : rows.rows) {
    const auto* name = std::get_if<std::string>(&row[0]);
    const auto* digest = std::get_if<std::string>(&row[4]);
    if (name == nullptr || digest == nullptr) continue;
    IndexedCopy record;
    record.recorded_by = host;
    record.copy.doc_id = IntegerOf(row[1]);
    record.copy.content_id = IntegerOf(row[2]);
    record.copy.fetched_as = {static_cast<std::uint64_t>(IntegerOf(row[3])), *digest};
    bool whole = true;
    for (std::size_t i = 5; i < 10; ++i) whole = whole && std::holds_alternative<std::int64_t>(row[i]);
    if (whole)
      record.copy.on_disk = rt::platform::FileIdentity{IntegerOf(row[5]), IntegerOf(row[6]), IntegerOf(row[7]),
                                                       IntegerOf(row[8]), IntegerOf(row[9])};
    records.emplace_back(*name, std::move(record));
  }
  return records;
}

}  // namespace

std::optional<rt::platform::FileIdentity> Settled(std::optional<rt::platform::FileIdentity> identity) {
  if (!identity) return std::nullopt;
  const std::int64_t now = rt::platform::FileClockNowNs();
  if (now - identity->modified_ns < kSettleNs || now - identity->changed_ns < kSettleNs) return std::nullopt;
  return identity;
}

std::optional<CachedCopy> CacheRecords::FindIn(CacheIndex& index, const std::string& database,
                                               std::string_view file_name) const {
  std::optional<IndexedCopy> record = index.Find(file_name);
  // Another database's numbers name other documents and contents.
  if (!record || record->fetched_from != database) return std::nullopt;
  if (rt::gbk::UpperCase(record->recorded_by) != rt::gbk::UpperCase(host_)) record->copy.on_disk.reset();
  return record->copy;
}

std::optional<CachedCopy> CacheRecords::Find(const rt::DataSession& db, std::string_view file_name) const {
  // A folder without an index has no copy the store put there; nothing is
  // made for a question.
  if (Examine(CacheIndex::PathIn(cache_dir_)) == FileKind::Missing) return std::nullopt;
  CacheIndex index(cache_dir_);
  return FindIn(index, db.Identity(), file_name);
}

bool CacheRecords::UnchangedSinceFetched(std::string_view file_name, const ContentSummary& there) const {
  if (Examine(CacheIndex::PathIn(cache_dir_)) == FileKind::Missing) return false;
  CacheIndex index(cache_dir_);
  const std::optional<IndexedCopy> record = index.Find(file_name);
  return record && record->copy.fetched_as == there;
}

void CacheRecords::Remember(const rt::DataSession& db, std::string_view file_name, const CachedCopy& copy) const {
  CacheIndex index(cache_dir_);
  const std::string database = db.Identity();
  if (FindIn(index, database, file_name) == copy) return;  // a fetch that reused its copy writes nothing
  index.Put(file_name, {copy, host_, database});
}

void CacheRecords::CarryOver(rt::DataSession& db) const noexcept {
  try {
    CacheIndex index(cache_dir_);
    const std::string database = db.Identity();
    if (index.CarriedOver(host_, database)) return;
    index.CarryOver(host_, database, RecordsInDatabase(db, host_, cache_dir_));
  } catch (...) {
  }
}

}  // namespace labdocs::labdoc
