// How long the laboratory keeps the revisions of its documents: one setting
// of the whole laboratory, kept in its database (DB_FILE_RETENTION), that
// the store applies to a document whenever it replaces the document's
// content, and the administration program to every document on request
// (`labdocs-admin prune`). Every revision is kept unless the laboratory
// says otherwise, as before there was a setting. The current content is
// never given up, nor are the revisions of a document that someone else
// is revising (a live row of DB_FILE_REVISING, revisions.h): they wait
// until the revision has ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "labdoc/content_storage.h"
#include "runtime/data/session.h"

namespace labdocs::labdoc {

struct Retention {
  enum class Kind { KeepAll, KeepLast, KeepDays };
  Kind kind = Kind::KeepAll;
  // KeepLast: the revisions each document keeps besides its current
  // content, the most recently replaced; KeepDays: how many days a
  // revision is kept after it was replaced (its REPLACEDTIME). Positive.
  std::int64_t count = 0;

  bool operator==(const Retention&) const = default;
};

// The setting the database holds; every revision is kept when its row
// says so or is missing. Throws rt::EDatabaseError.
Retention ReadRetention(rt::DataSession& db);

// Sets it, in the caller's transaction if there is one (one statement).
// Throws rt::EDatabaseError, on a
// server "SQLSTATE 42501" for a login that may not change it (only the
// laboratory's owner may: docs/database.md).
void WriteRetention(rt::DataSession& db, const Retention& retention);

// The setting as a person reads it (GBK): "保留全部版本", "保留最近 2 个版本",
// "保留 30 天内的版本".
std::string RetentionText(const Retention& retention);

// The database's setting so (ReadRetention, then RetentionText), as a list
// of a document's versions shows it. Throws rt::EDatabaseError.
std::string DescribeRetention(rt::DataSession& db);

// A revision that the setting gives up.
struct ExpiredRevision {
  std::int64_t content_id = 0;
  std::int64_t labdoc_id = 0;
  std::uint64_t size = 0;
};

// The revisions that the setting gives up, of one document (`doc_id`) or
// of all, read in the caller's transaction; none for KeepAll. The
// revisions of a document with a live revision by another owner than
// `own_token` (this process's own, which is storing) are left out. Throws
// rt::EDatabaseError.
std::vector<ExpiredRevision> ExpiredRevisions(ContentStorage& storage, const Retention& retention,
                                              std::optional<std::int64_t> doc_id, std::string_view own_token = {});

// What a pruning removed.
struct Pruned {
  std::uint64_t contents = 0;
  std::uint64_t bytes = 0;
};

// Removes the revisions that the database's setting gives up (of one
// document, or of all), with their chunks, in one transaction that reads
// the setting too, then gives their space back (GiveBackFreePages with
// `old_file`). Throws rt::EDatabaseError; nothing is removed then.
Pruned PruneRevisions(ContentStorage& storage, std::optional<std::int64_t> doc_id, std::string_view own_token,
                      OldFile old_file);

}  // namespace labdocs::labdoc
