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

// The kinds of value SQLite gives, as far as they decide a field's type; a
// column's values make a set of them (NULL adds nothing).
enum ValueKind : unsigned {
  kIntegerValue = 1,
  kFloatValue = 2,
  kStoredDateTimeText = 4,  // datetime::IsStoredText
  kDateTimeText = 8,        // another text that datetime::FromText reads
  kOtherText = 16,
  kBlobValue = 32,
};
using ValueKinds = unsigned;

// The kind of a text value (GBK or UTF-8: a date-time is ASCII either way);
// date_time, when given, receives the date-time the text names, if any.
ValueKind TextKind(std::string_view text, std::optional<DateTime>* date_time = nullptr);

// The type of a field declared so (or not at all) whose values were of these
// kinds: as ApplyFieldTypes below chooses it.
FieldType ChooseFieldType(std::optional<FieldType> declared, ValueKinds kinds);

// Gives each field its type and converts its values to it. `rows` holds the
// values as SQLite gave them (integers, doubles, GBK texts, blobs); field i
// takes declared[i] when every value fits it, else the type its values
// share: integers -> Integer, integers and doubles -> Float, blobs -> Blob,
// texts that are all stored date-times ("YYYY-MM-DD HH:MM:SS[.fff]", as
// Max() of a date-time column gives) -> DateTime, any other mix -> Text. A
// field with only NULLs is Text unless declared otherwise.
void ApplyFieldTypes(RowSet& rows, const std::vector<std::optional<FieldType>>& declared);

}  // namespace rt
