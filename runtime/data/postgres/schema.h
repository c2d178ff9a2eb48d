// The host's schema on a PostgreSQL server: the tables, keys, indexes and
// triggers' effects of the SQLite schema (runtime/data/schema.h), made in
// one transaction and numbered in a version table of their own.
//
// What the server does its own way:
//   - texts that SQLite compares without regard to case are citext;
//   - numbers SQLite gives out itself (an INTEGER PRIMARY KEY left out of an
//     insert) come from identity columns;
//   - date-times are timestamp(3), local time, as SQLite's stored texts;
//   - chunks of contents are bytea rows of DB_FILE_CHUNK; deleting a
//     document deletes its contents but pending ones, and deleting a content
//     its chunks, by triggers as on SQLite.
#pragma once

#include "runtime/data/postgres/connection.h"

namespace rt::postgres::schema {

// The version this program makes. (The tables are those of SQLite's
// version 6 but for SQLite's content file: the server keeps the chunks in
// DB_FILE_CHUNK, and removing a content removes them at once.
// Version 2 keeps every identity past the keys given explicitly; version 3
// adds who stored each content and the revisions in progress.)
inline constexpr int kCurrentVersion = 3;

// The schema version of the connection's database (its current schema): 0
// when it has none.
int Version(Connection& connection);

// Gives an empty database the schema. Several workstations may start at
// once: one makes it, the others find it made. Throws EDatabaseError for a
// database with a newer version, and for one that holds tables but no
// version (another program's), which is left as it is.
void Prepare(Connection& connection);

}  // namespace rt::postgres::schema
