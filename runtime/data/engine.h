// The engines that can hold the host's database: an SQLite file
// (runtime/data/sqlite/) or a laboratory's PostgreSQL server
// (runtime/data/postgres/). A session says which it speaks to
// (DataSession::Kind, session.h), and the dialect layer translates a
// Transact-SQL text for one of them (dialect.h).
#pragma once

namespace rt {

enum class Engine { Sqlite, Postgres };

}  // namespace rt
