#include "runtime/data/client_dataset.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "runtime/data/packet.h"
#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TClientDataSet);

namespace {

constexpr std::int64_t kUnixEpochDay = 25'569;  // 1970-01-01 counted from 1899-12-30

// ---- Text conversions -------------------------------------------------------

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  text = gbk::Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseFloat(std::string_view text) {
  text = gbk::Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146'097 + static_cast<std::int64_t>(doe) - 719'468;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads exactly `digits` decimal digits at text[pos].
std::optional<unsigned> Digits(std::string_view text, std::size_t& pos, std::size_t digits) {
  if (pos + digits > text.size()) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  pos += digits;
  return value;
}

// "YYYY-MM-DD" or "YYYY/MM/DD", optionally followed by a blank or "T" and
// "HH:MM", ":SS", ".fff" (1 to 3 digits).
std::optional<DateTime> ParseDateTime(std::string_view text) {
  text = gbk::Trim(text);
  std::size_t pos = 0;
  const auto year = Digits(text, pos, 4);
  if (!year || pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return std::nullopt;
  const char separator = text[pos++];
  const auto month = Digits(text, pos, 2);
  if (!month || pos >= text.size() || text[pos++] != separator) return std::nullopt;
  const auto day = Digits(text, pos, 2);
  if (!day || *year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month))
    return std::nullopt;

  unsigned hour = 0, minute = 0, second = 0, ms = 0;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    const auto h = Digits(text, pos, 2);
    if (!h || pos >= text.size() || text[pos++] != ':') return std::nullopt;
    const auto m = Digits(text, pos, 2);
    if (!m) return std::nullopt;
    hour = *h;
    minute = *m;
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      const auto s = Digits(text, pos, 2);
      if (!s) return std::nullopt;
      second = *s;
      if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t digits = 0;
        while (pos < text.size() && digits < 3 && text[pos] >= '0' && text[pos] <= '9') {
          ms = ms * 10 + static_cast<unsigned>(text[pos++] - '0');
          ++digits;
        }
        if (digits == 0) return std::nullopt;
        for (; digits < 3; ++digits) ms *= 10;
      }
    }
    if (pos != text.size() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(*year, *month, *day) + kUnixEpochDay;
  const double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86'400'000.0;
  // Before 1899-12-30 the time of day counts away from zero.
  return DateTime{days < 0 ? static_cast<double>(days) - time : static_cast<double>(days) + time};
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

// ---- TField -------------------------------------------------------------------

const std::string& TField::FieldName() const { return dataset_->rows_.fields[static_cast<std::size_t>(index_)].name; }

FieldType TField::DataType() const { return dataset_->rows_.fields[static_cast<std::size_t>(index_)].type; }

const rt::Value& TField::Value() const { return dataset_->CellForRead(*this); }

bool TField::IsNull() const { return std::holds_alternative<std::monostate>(Value()); }

std::string TField::AsString() const { return ValueToText(Value()); }

std::int64_t TField::AsLargeInt() const {
  const rt::Value& value = Value();
  if (std::holds_alternative<std::monostate>(value)) return 0;
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
  if (const auto* f = std::get_if<double>(&value)) {
    // 2^63 is the first double past the range.
    if (std::isfinite(*f) && std::fabs(*f) < 9223372036854775808.0) return std::llround(*f);
    throw EConvertError(ValueToText(value) + " is not a valid integer value");
  }
  if (const auto* s = std::get_if<std::string>(&value)) {
    if (auto parsed = ParseInteger(*s)) return *parsed;
    throw EConvertError(Quoted(*s) + " is not a valid integer value");
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot be read as an integer");
}

int TField::AsInteger() const {
  const std::int64_t value = AsLargeInt();
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw EConvertError(std::to_string(value) + " is out of the integer range");
  return static_cast<int>(value);
}

double TField::AsFloat() const {
  const rt::Value& value = Value();
  if (std::holds_alternative<std::monostate>(value)) return 0;
  if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  if (const auto* f = std::get_if<double>(&value)) return *f;
  if (const auto* d = std::get_if<DateTime>(&value)) return d->days;
  if (const auto* s = std::get_if<std::string>(&value)) {
    if (auto parsed = ParseFloat(*s)) return *parsed;
    throw EConvertError(Quoted(*s) + " is not a valid floating point value");
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot be read as a number");
}

DateTime TField::AsDateTime() const {
  const rt::Value& value = Value();
  if (std::holds_alternative<std::monostate>(value)) return DateTime{};
  if (const auto* d = std::get_if<DateTime>(&value)) return *d;
  if (const auto* f = std::get_if<double>(&value)) return DateTime{*f};
  if (const auto* i = std::get_if<std::int64_t>(&value)) return DateTime{static_cast<double>(*i)};
  if (const auto* s = std::get_if<std::string>(&value)) {
    if (auto parsed = ParseDateTime(*s)) return *parsed;
    throw EConvertError(Quoted(*s) + " is not a valid date and time");
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot be read as a date-time");
}

void TField::SetValue(rt::Value value) { dataset_->CellForWrite(*this) = std::move(value); }

void TField::Clear() { SetValue(std::monostate{}); }

void TField::SetAsString(std::string_view text) {
  const FieldType type = DataType();
  if (type == FieldType::Text) return SetValue(std::string(text));
  if (type == FieldType::Blob) return SetValue(std::vector<std::uint8_t>(text.begin(), text.end()));
  if (gbk::Trim(text).empty()) return Clear();
  switch (type) {
    case FieldType::Integer:
      if (auto parsed = ParseInteger(text)) return SetValue(*parsed);
      throw EConvertError(Quoted(text) + " is not a valid integer value");
    case FieldType::Float:
      if (auto parsed = ParseFloat(text)) return SetValue(*parsed);
      throw EConvertError(Quoted(text) + " is not a valid floating point value");
    default:
      if (auto parsed = ParseDateTime(text)) return SetValue(*parsed);
      throw EConvertError(Quoted(text) + " is not a valid date and time");
  }
}

void TField::SetAsInteger(std::int64_t value) {
  switch (DataType()) {
    case FieldType::Integer: return SetValue(value);
    case FieldType::Float: return SetValue(static_cast<double>(value));
    case FieldType::Text: return SetValue(std::to_string(value));
    case FieldType::DateTime: return SetValue(DateTime{static_cast<double>(value)});
    case FieldType::Blob: break;
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot take an integer");
}

void TField::SetAsFloat(double value) {
  switch (DataType()) {
    case FieldType::Integer:
      if (std::isfinite(value) && std::fabs(value) < 9223372036854775808.0) return SetValue(std::llround(value));
      throw EConvertError(ValueToText(value) + " is not a valid integer value");
    case FieldType::Float: return SetValue(value);
    case FieldType::Text: return SetValue(ValueToText(value));
    case FieldType::DateTime: return SetValue(DateTime{value});
    case FieldType::Blob: break;
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot take a number");
}

void TField::SetAsDateTime(DateTime value) {
  switch (DataType()) {
    case FieldType::DateTime: return SetValue(value);
    case FieldType::Float: return SetValue(value.days);
    case FieldType::Text: return SetValue(ValueToText(value));
    case FieldType::Integer:
    case FieldType::Blob: break;
  }
  throw EConvertError("Field " + Quoted(FieldName()) + " cannot take a date-time");
}

// ---- TClientDataSet -----------------------------------------------------------

TClientDataSet::TClientDataSet(TComponent* owner) : TComponent(owner) {}

TClientDataSet::~TClientDataSet() = default;

void TClientDataSet::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "Active")) return SetActive(PropBool(name, value));
  TComponent::SetProperty(name, value);
}

void TClientDataSet::Fail(const std::string& message) const {
  throw EInvalidOperation(Name().empty() ? message : Name() + ": " + message);
}

void TClientDataSet::CheckActive() const {
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
}

void TClientDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) Post();
}

void TClientDataSet::SetActive(bool active) {
  if (active) Open();
  else Close();
}

void TClientDataSet::Open() {
  if (Active()) return;
  if (!has_data_) Fail("Cannot open the dataset: it holds no data packet");
  state_ = TDataSetState::dsBrowse;
  First();
}

void TClientDataSet::Close() {
  if (!Active()) return;
  Cancel();
  state_ = TDataSetState::dsInactive;
  current_ = 0;
  bof_ = eof_ = true;
}

OleVariant TClientDataSet::Data() const {
  if (!has_data_) return OleVariant();
  return OleVariant::FromBytes(EncodePacket(rows_));
}

void TClientDataSet::SetData(const VARIANT& data) {
  const bool no_data = data.vt == VT_EMPTY || data.vt == VT_NULL;
  if (no_data) {
    Close();
    rows_ = RowSet{};
    has_data_ = false;
    RebuildFields();
    return;
  }
  SetRows(VariantToPacket(data));
}

void TClientDataSet::SetRows(RowSet rows) {
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    if (rows.rows[i].size() != rows.fields.size())
      throw Exception("Row " + std::to_string(i + 1) + " has " + std::to_string(rows.rows[i].size()) + " values for " +
                      std::to_string(rows.fields.size()) + " fields");
  }
  Close();
  rows_ = std::move(rows);
  has_data_ = true;
  RebuildFields();
  Open();
}

void TClientDataSet::RebuildFields() {
  fields_.clear();
  for (std::size_t i = 0; i < rows_.fields.size(); ++i)
    fields_.push_back(std::make_unique<TField>(this, static_cast<int>(i)));
}

// ---- Cursor -----------------------------------------------------------------

void TClientDataSet::First() {
  CheckBrowseMode();
  current_ = 0;
  bof_ = true;
  eof_ = rows_.rows.empty();
}

void TClientDataSet::Last() {
  CheckBrowseMode();
  current_ = rows_.rows.empty() ? 0 : rows_.rows.size() - 1;
  eof_ = true;
  bof_ = rows_.rows.empty();
}

void TClientDataSet::Next() { MoveBy(1); }

void TClientDataSet::Prior() { MoveBy(-1); }

int TClientDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if ((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0) return 0;
  bof_ = eof_ = false;
  int moved = 0;
  if (distance > 0) {
    while (moved < distance) {
      if (current_ + 1 >= rows_.rows.size()) {
        eof_ = true;
        break;
      }
      ++current_;
      ++moved;
    }
  } else {
    while (moved > distance) {
      if (current_ == 0) {
        bof_ = true;
        break;
      }
      --current_;
      --moved;
    }
  }
  return moved;
}

int TClientDataSet::RecordCount() const { return Active() ? static_cast<int>(rows_.rows.size()) : 0; }

int TClientDataSet::RecNo() const { return IsEmpty() ? 0 : static_cast<int>(current_) + 1; }

void TClientDataSet::SetRecNo(int rec_no) {
  CheckBrowseMode();
  if (rec_no < 1 || static_cast<std::size_t>(rec_no) > rows_.rows.size())
    Fail("Record number " + std::to_string(rec_no) + " is out of range");
  current_ = static_cast<std::size_t>(rec_no) - 1;
  bof_ = eof_ = false;
}

// ---- Fields -----------------------------------------------------------------

TField& TClientDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount())
    throw Exception("Field index " + std::to_string(index) + " is out of range (" + std::to_string(FieldCount()) +
                    " fields)");
  return *fields_[static_cast<std::size_t>(index)];
}

TField* TClientDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_)
    if (gbk::SameText(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField& TClientDataSet::FieldByName(std::string_view name) const {
  if (TField* field = FindField(name)) return *field;
  const std::string message = "Field " + Quoted(name) + " not found";
  throw Exception(Name().empty() ? message : Name() + ": " + message);
}

const rt::Value& TClientDataSet::CellForRead(const TField& field) const {
  if (!Active()) Fail("Cannot read field " + Quoted(field.FieldName()) + ": the dataset is closed");
  if (rows_.rows.empty()) Fail("Cannot read field " + Quoted(field.FieldName()) + ": the dataset has no record");
  return rows_.rows[current_][static_cast<std::size_t>(field.Index())];
}

rt::Value& TClientDataSet::CellForWrite(const TField& field) {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert)
    Fail("Cannot set field " + Quoted(field.FieldName()) + ": the dataset is not in edit or insert mode");
  return rows_.rows[current_][static_cast<std::size_t>(field.Index())];
}

// ---- Changing rows ------------------------------------------------------------

void TClientDataSet::Edit() {
  CheckActive();
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
  if (rows_.rows.empty()) return Append();
  saved_row_ = rows_.rows[current_];
  state_ = TDataSetState::dsEdit;
}

void TClientDataSet::Append() {
  CheckBrowseMode();
  rows_.rows.emplace_back(rows_.fields.size());
  current_ = rows_.rows.size() - 1;
  bof_ = eof_ = false;
  state_ = TDataSetState::dsInsert;
}

void TClientDataSet::Post() {
  CheckActive();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert)
    Fail("Cannot post: the dataset is not in edit or insert mode");
  saved_row_.clear();
  state_ = TDataSetState::dsBrowse;
}

void TClientDataSet::Cancel() {
  if (state_ == TDataSetState::dsEdit) {
    rows_.rows[current_] = std::move(saved_row_);
  } else if (state_ == TDataSetState::dsInsert) {
    rows_.rows.erase(rows_.rows.begin() + static_cast<std::ptrdiff_t>(current_));
    current_ = rows_.rows.empty() ? 0 : rows_.rows.size() - 1;
    bof_ = eof_ = rows_.rows.empty();
  } else {
    return;
  }
  saved_row_.clear();
  state_ = TDataSetState::dsBrowse;
}

void TClientDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) return Cancel();
  if (state_ == TDataSetState::dsEdit) Cancel();
  if (rows_.rows.empty()) Fail("Cannot delete: the dataset has no record");
  rows_.rows.erase(rows_.rows.begin() + static_cast<std::ptrdiff_t>(current_));
  if (current_ >= rows_.rows.size() && current_ > 0) --current_;
  bof_ = eof_ = rows_.rows.empty();
}

}  // namespace rt
