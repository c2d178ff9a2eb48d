// The index of a cache folder: a small SQLite file in the folder itself
// that holds the records of the copies there (cache_record.h). It belongs
// to the workstations that fetch into the folder, which can always write
// it, so fetching a document needs nothing but read rights in the shared
// database. SQLite makes every change atomic and serialises the processes
// that change it at once (a rollback journal, which works on a network
// share too; each change is one statement or one transaction, waiting up
// to 10 s for another process's).
//
// The index's name, "~labdoc-index.db", and its journal's begin with the
// prefix of the store's own files: rt::SafeFileName gives every stored
// name with that prefix (in any case) a leading '_', so no copy is ever
// fetched over the index, and it is not a temporary copy's name
// (IsTemporaryName), so no sweep removes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "labdoc/cache_record.h"

struct sqlite3;

namespace labdocs::labdoc {

inline constexpr std::string_view kCacheIndexName = "~labdoc-index.db";

// A copy's record as the index holds it.
struct IndexedCopy {
  CachedCopy copy;
  // The workstation that recorded it (GBK). What a copy is on its disk
  // (CachedCopy::on_disk) is as that workstation saw it: device numbers
  // are its own.
  std::string recorded_by;
  // The database the copy was fetched from (rt::DataSession::Identity);
  // empty in a record made before records named their database: it is no
  // database's.
  std::string fetched_from;
};

// One connection to a folder's index, for the length of one operation: the
// folder may be removed between operations, and nothing holds its files
// open meanwhile.
class CacheIndex {
 public:
  // Opens the index of the folder (ANSI path ending in a separator),
  // making it when it is missing. Throws rt::Exception naming the index
  // when it cannot be opened or made.
  explicit CacheIndex(const std::string& ansi_dir);
  ~CacheIndex();
  CacheIndex(const CacheIndex&) = delete;
  CacheIndex& operator=(const CacheIndex&) = delete;

  // The index's ANSI path in a folder (ANSI path ending in a separator).
  static std::string PathIn(const std::string& ansi_dir) { return ansi_dir + std::string(kCacheIndexName); }

  // The record of a copy by its file name (GBK, compared without regard to
  // ASCII case, as the file system does on Windows); nothing when there is
  // none. Throws rt::Exception.
  std::optional<IndexedCopy> Find(std::string_view file_name);
  // Records a copy at a file name, replacing its record. Throws
  // rt::Exception.
  void Put(std::string_view file_name, const IndexedCopy& record);

  // Whether the records that a workstation kept in a database (its
  // identity) before have been carried over into this index. Throws
  // rt::Exception.
  bool CarriedOver(std::string_view host, std::string_view database);
  // In one transaction, unless it was done meanwhile: gives the records
  // to that database, adds those of file names the index has none of (a
  // record made here is newer than any in the database), takes for the
  // database a record of no database that says the same as its row, and
  // notes that the workstation's records there have been carried over.
  // Throws rt::Exception.
  void CarryOver(std::string_view host, std::string_view database,
                 const std::vector<std::pair<std::string, IndexedCopy>>& records);

 private:
  std::string path_;  // ANSI, for messages
  sqlite3* db_ = nullptr;
};

}  // namespace labdocs::labdoc
