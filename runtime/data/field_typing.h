// The field types of a query result. SQLite types values, not columns; a
// data packet types its fields. A column read straight from a table takes
// its declared type, an expression column the type its values share.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "runtime/data/value.h"

namespace rt {

// The field type a declared column type stands for, by SQLite's affinity
// rules, with DATE/TIME types as date-times: nothing for an expression
// column (no declared type) or a type that decides nothing by itself
// (NUMERIC, DECIMAL, none).
std::optional<FieldType> DeclaredFieldType(std::string_view declared_type);

// Gives each field its type and converts its values to it. `rows` holds the
// values as SQLite gave them (integers, doubles, GBK texts, blobs); field i
// takes declared[i] when every value fits it, else the type its values
// share: integers -> Integer, integers and doubles -> Float, blobs -> Blob,
// texts that are all stored date-times ("YYYY-MM-DD HH:MM:SS[.fff]", as
// Max() of a date-time column gives) -> DateTime, any other mix -> Text. A
// field with only NULLs is Text unless declared otherwise.
void ApplyFieldTypes(RowSet& rows, const std::vector<std::optional<FieldType>>& declared);

}  // namespace rt
