// A query's rows as a data packet (packet.h), encoded straight from the
// SQLite statement into the packet's byte array: no row set of values and
// strings in between, so a list costs little more memory than its packet.
#pragma once

#include "runtime/ole/variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace rt::sqlite {

// Steps a prepared statement that only reads to its end and returns its rows
// as a packet: the same bytes as EncodePacket of the row set that
// Database::Query makes of them (texts in GBK, fields typed as
// field_typing.h types them). A column's values are written in the type its
// values so far give it; when a later value changes that type, the statement
// runs again from its start with the column's type known. Throws
// EDatabaseError for a failing step or a text that is not UTF-8.
OleVariant StatementPacket(sqlite3* db, sqlite3_stmt* statement);

}  // namespace rt::sqlite
