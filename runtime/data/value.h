// Values, fields and row sets: what a data packet carries and what a client
// dataset holds. Text values are GBK.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace rt {

// A date-time as the system counts it: days since 1899-12-30, the fraction
// being the time of day (local time).
struct DateTime {
  double days = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

enum class FieldType : std::uint8_t { Integer = 1, Float = 2, Text = 3, DateTime = 4, Blob = 5 };

// One field value; std::monostate is NULL. Blob content is held as bytes in
// a std::vector<std::uint8_t>.
using Value = std::variant<std::monostate, std::int64_t, double, std::string, DateTime, std::vector<std::uint8_t>>;

struct FieldDef {
  std::string name;  // GBK
  FieldType type = FieldType::Text;
  friend bool operator==(const FieldDef&, const FieldDef&) = default;
};

// A row set: the fields and the rows of a query result or a selection.
struct RowSet {
  std::vector<FieldDef> fields;
  std::vector<std::vector<Value>> rows;
  friend bool operator==(const RowSet&, const RowSet&) = default;
};

// A value as text, the way a dataset field's AsString gives it: NULL is the
// empty text, numbers in decimal, date-times as "YYYY-MM-DD HH:MM:SS".
std::string ValueToText(const Value& value);

}  // namespace rt
