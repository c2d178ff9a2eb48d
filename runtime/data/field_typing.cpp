#include "runtime/data/field_typing.h"

#include <charconv>
#include <string>

#include "runtime/data/datetime_text.h"

namespace rt {
namespace {

bool Contains(const std::string& upper, std::string_view part) { return upper.find(part) != std::string::npos; }

constexpr ValueKinds kTexts = kStoredDateTimeText | kDateTimeText | kOtherText;

// The kinds of value each type takes without loss.
ValueKinds Fitting(FieldType type) {
  switch (type) {
    case FieldType::Integer: return kIntegerValue;
    case FieldType::Float: return kIntegerValue | kFloatValue;
    case FieldType::Text: return kIntegerValue | kFloatValue | kTexts | kBlobValue;
    case FieldType::DateTime: return kIntegerValue | kFloatValue | kStoredDateTimeText | kDateTimeText;
    case FieldType::Blob: return kTexts | kBlobValue;
  }
  return 0;
}

ValueKinds KindOf(const Value& value) {
  if (std::holds_alternative<std::int64_t>(value)) return kIntegerValue;
  if (std::holds_alternative<double>(value)) return kFloatValue;
  if (const auto* text = std::get_if<std::string>(&value)) return TextKind(*text);
  if (std::holds_alternative<std::vector<std::uint8_t>>(value)) return kBlobValue;
  return 0;
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
    if (const auto* text = std::get_if<std::string>(&value))
      return std::vector<std::uint8_t>(text->begin(), text->end());
  }
  return value;
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

ValueKind TextKind(std::string_view text, std::optional<DateTime>* date_time) {
  // Read once: datetime::IsStoredText is this shape and a date-time read.
  std::optional<DateTime> read = datetime::FromText(text);
  const bool stored_shape = (text.size() == 19 || text.size() == 23) && text[10] == ' ' &&
                            (text.size() == 19 || text[19] == '.');
  const ValueKind kind = !read ? kOtherText : stored_shape ? kStoredDateTimeText : kDateTimeText;
  if (date_time) *date_time = read;
  return kind;
}

FieldType ChooseFieldType(std::optional<FieldType> declared, ValueKinds kinds) {
  if (declared && (kinds & ~Fitting(*declared)) == 0) return *declared;
  // Otherwise the type the values share.
  if (kinds == kBlobValue) return FieldType::Blob;
  if (kinds == kStoredDateTimeText) return FieldType::DateTime;
  if (kinds == kIntegerValue) return FieldType::Integer;
  if (kinds != 0 && (kinds & ~(kIntegerValue | kFloatValue)) == 0) return FieldType::Float;
  return FieldType::Text;
}

void ApplyFieldTypes(RowSet& rows, const std::vector<std::optional<FieldType>>& declared) {
  for (std::size_t column = 0; column < rows.fields.size(); ++column) {
    ValueKinds kinds = 0;
    for (const auto& row : rows.rows) kinds |= KindOf(row[column]);
    const FieldType chosen = ChooseFieldType(column < declared.size() ? declared[column] : std::nullopt, kinds);
    rows.fields[column].type = chosen;
    for (auto& row : rows.rows) row[column] = Convert(std::move(row[column]), chosen);
  }
}

}  // namespace rt
