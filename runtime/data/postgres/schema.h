// The host's schema on a PostgreSQL server: the tables, keys, indexes and
// triggers' effects of the SQLite schema (runtime/data/sqlite/schema.h), made in
// one transaction and numbered in a version table of their own.
//
// What the server does its own way:
//   - texts that SQLite compares without regard to case are citext (in the
//     schema public, where every laboratory's schema finds it);
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
// adds who stored each content and the revisions in progress; version 4
// changes no table: it grants the laboratory's roles their rights in a
// schema made at version 3 before there were such roles; version 5 adds
// the retention of revisions, SQLite's version 9.)
inline constexpr int kCurrentVersion = 5;

// The schema version of the connection's database (its current schema): 0
// when it has none.
int Version(Connection& connection);

// Readies a new connection: the extension citext, whose operators compare
// the texts without case, on its search path, also when it is installed
// in a schema that the path does not name (kept after a reconnect). Throws
// EDatabaseError when the login may not use that schema.
void FindCitext(Connection& connection);

// Gives an empty database the schema, or upgrades an older one, as one
// transaction, and grants the laboratory's group roles what they may do
// with the tables (docs/database.md: staff read and write, readers read).
// A database of the current version is only looked at: a staff or reader
// login needs no right to make anything. Several workstations may start at
// once: one makes it, the others find it made. Throws EDatabaseError for a
// database with a newer version, for one that holds tables but no version
// (another program's), which is left as it is, and, saying to ask the
// administrator, when the login may not make or upgrade it.
void Prepare(Connection& connection);

}  // namespace rt::postgres::schema
