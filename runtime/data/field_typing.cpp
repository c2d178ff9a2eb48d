#include "runtime/data/field_typing.h"

#include <charconv>
#include <string>

#include "runtime/data/datetime_text.h"

namespace rt {
namespace {

bool Contains(const std::string& upper, std::string_view part) { return upper.find(part) != std::string::npos; }

bool Fits(const Value& value, FieldType type) {
  if (std::holds_alternative<std::monostate>(value)) return true;
  const bool is_number = std::holds_alternative<std::int64_t>(value) || std::holds_alternative<double>(value);
  const auto* text = std::get_if<std::string>(&value);
  switch (type) {
    case FieldType::Integer: return std::holds_alternative<std::int64_t>(value);
    case FieldType::Float: return is_number;
    case FieldType::Text: return !std::holds_alternative<DateTime>(value);
    case FieldType::DateTime:
      return is_number || std::holds_alternative<DateTime>(value) || (text != nullptr && datetime::FromText(*text));
    case FieldType::Blob: return text != nullptr || std::holds_alternative<std::vector<std::uint8_t>>(value);
  }
  return false;
}

std::string NumberText(double number) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  return std::string(buffer, result.ptr);
}

// Converts a value that fits the type.
Value Convert(Value value, FieldType type) {
  if (std::holds_alternative<std::monostate>(value)) return value;
  if (type == FieldType::Float) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return static_cast<double>(*integer);
  } else if (type == FieldType::Text) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* number = std::get_if<double>(&value)) return NumberText(*number);
    if (const auto* blob = std::get_if<std::vector<std::uint8_t>>(&value))
      return std::string(blob->begin(), blob->end());
  } else if (type == FieldType::DateTime) {
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return DateTime{static_cast<double>(*integer)};
    if (const auto* number = std::get_if<double>(&value)) return DateTime{*number};
    if (const auto* text = std::get_if<std::string>(&value)) return *datetime::FromText(*text);
  } else if (type == FieldType::Blob) {
    if (const auto* text = std::get_if<std::string>(&value)) return std::vector<std::uint8_t>(text->begin(), text->end());
  }
  return value;
}

// The type that the values of column `column` share.
FieldType InferredType(const RowSet& rows, std::size_t column) {
  bool integers = false, doubles = false, texts = false, blobs = false, all_date_times = true;
  for (const auto& row : rows.rows) {
    const Value& value = row[column];
    if (std::holds_alternative<std::int64_t>(value)) integers = true;
    if (std::holds_alternative<double>(value)) doubles = true;
    if (std::holds_alternative<std::vector<std::uint8_t>>(value)) blobs = true;
    if (const auto* text = std::get_if<std::string>(&value)) {
      texts = true;
      all_date_times = all_date_times && datetime::IsStoredText(*text);
    }
  }
  if (blobs && !integers && !doubles && !texts) return FieldType::Blob;
  if (texts && !integers && !doubles && !blobs && all_date_times) return FieldType::DateTime;
  if (integers && !doubles && !texts && !blobs) return FieldType::Integer;
  if (doubles && !texts && !blobs) return FieldType::Float;
  return FieldType::Text;
}

}  // namespace

std::optional<FieldType> DeclaredFieldType(std::string_view declared_type) {
  std::string upper(declared_type);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (Contains(upper, "DATE") || Contains(upper, "TIME")) return FieldType::DateTime;
  if (Contains(upper, "INT")) return FieldType::Integer;
  if (Contains(upper, "CHAR") || Contains(upper, "CLOB") || Contains(upper, "TEXT")) return FieldType::Text;
  if (Contains(upper, "BLOB")) return FieldType::Blob;
  if (Contains(upper, "REAL") || Contains(upper, "FLOA") || Contains(upper, "DOUB")) return FieldType::Float;
  return std::nullopt;
}

void ApplyFieldTypes(RowSet& rows, const std::vector<std::optional<FieldType>>& declared) {
  for (std::size_t column = 0; column < rows.fields.size(); ++column) {
    std::optional<FieldType> type = column < declared.size() ? declared[column] : std::nullopt;
    if (type) {
      for (const auto& row : rows.rows)
        if (!Fits(row[column], *type)) {
          type.reset();
          break;
        }
    }
    const FieldType chosen = type ? *type : InferredType(rows, column);
    rows.fields[column].type = chosen;
    for (auto& row : rows.rows) row[column] = Convert(std::move(row[column]), chosen);
  }
}

}  // namespace rt
