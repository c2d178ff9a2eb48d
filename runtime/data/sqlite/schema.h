// The host database's tables. A new database file receives them; a file of
// an older schema version (PRAGMA user_version) is upgraded step by step.
#pragma once

struct sqlite3;

namespace rt::sqlite::schema {

// The schema version this host writes and understands.
constexpr int kCurrentVersion = 9;

// The schema version of the open database (its PRAGMA user_version).
// Throws rt::EDatabaseError.
int Version(sqlite3* db);

// Brings the open database to kCurrentVersion: an empty file gets every
// table (and write-ahead logging, so that the host and the document store
// may read while the other writes, and incremental vacuuming, so that the
// space of removed contents can be given back); an older version is
// upgraded; a current one is left untouched. Each step runs as one transaction, and a step that
// another connection finished meanwhile is not repeated. Throws
// rt::EDatabaseError, also for a file made by a newer host.
void Prepare(sqlite3* db);

}  // namespace rt::sqlite::schema
