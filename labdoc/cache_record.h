// What the store remembers of each copy it put into a cache folder: the
// document and the content it was fetched as, with that content's size and
// digest. Recorded in the folder's own index (cache_index.h), keyed by the
// copy's file name, so two documents whose files share a name never pass
// for each other, and a copy whose content differs from what it was fetched
// as is known to hold edits that were not stored yet. Each record names the
// database it was fetched from (rt::DataSession::Identity): one folder may
// serve several databases, whose numbers mean other documents, and a record
// of another database is none. What a workstation knows of its cache
// copies belongs with them, not in the shared database: fetching writes
// nothing there, and needs read rights only. Versions before kept the
// records in the database (DB_FILE_CACHE); they are carried over into the
// index once for each database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "labdoc/content_chunks.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/platform/identity.h"

namespace labdocs::labdoc {

// A file in the cache folder that a fetch must not replace: it holds edits
// that were not stored, or the store did not put it there.
class EUnstoredEdits : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

struct CachedCopy {
  std::int64_t doc_id = 0;
  std::int64_t content_id = 0;
  ContentSummary fetched_as;
  // What the copy was on its disk when it was known to hold fetched_as, if
  // that was recorded (see Settled).
  std::optional<rt::platform::FileIdentity> on_disk;

  bool operator==(const CachedCopy&) const = default;
};

// The identity of a copy that holds its content as far as it may be
// trusted later: only once its last change is old enough that a change in
// the same tick of the file system's clock (2 s on the coarsest) would have
// come after it, and so would show in its times. Nothing otherwise.
std::optional<rt::platform::FileIdentity> Settled(std::optional<rt::platform::FileIdentity> identity);

class CacheIndex;

class CacheRecords {
 public:
  // The records of one cache folder (ANSI path ending in a separator) as
  // the workstation named `host` (GBK) reads and writes them.
  CacheRecords(std::string host, std::string cache_dir) : host_(std::move(host)), cache_dir_(std::move(cache_dir)) {}

  // The record of the copy of that file name fetched from the database;
  // nothing when the store has not put a copy there from it. What the copy
  // was on its disk comes only from a record of this workstation: another
  // one that shares the folder sees other device numbers. Throws
  // rt::Exception when the index cannot be read.
  std::optional<CachedCopy> Find(const rt::DataSession& db, std::string_view file_name) const;
  // Records the copy now at that file name as fetched from the database,
  // unless it is recorded so already. Throws rt::Exception when the index
  // cannot be written.
  void Remember(const rt::DataSession& db, std::string_view file_name, const CachedCopy& copy) const;
  // Whether the copy at that file name holds exactly what the store fetched
  // there, from whichever database: the database it came from keeps those
  // bytes, so replacing the copy loses nothing. Throws rt::Exception.
  bool UnchangedSinceFetched(std::string_view file_name, const ContentSummary& there) const;

  // Carries this workstation's records of the folder over from the
  // database's DB_FILE_CACHE, where earlier versions kept them, into the
  // index as that database's: once per database, noted in the index. The
  // rows are only read (older versions on other workstations may still use
  // them); a record the index has already is kept, and one of no database
  // that says what the row says becomes this database's. A database
  // without the table, or that refuses this login to read it, has nothing
  // to carry over. Housekeeping: any
  // other failure leaves it for the next store that starts.
  void CarryOver(rt::DataSession& db) const noexcept;

 private:
  std::optional<CachedCopy> FindIn(CacheIndex& index, const std::string& database, std::string_view file_name) const;

  std::string host_;
  std::string cache_dir_;
};

}  // namespace labdocs::labdoc
