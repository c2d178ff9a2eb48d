#include "runtime/services/data_service.h"

#include <algorithm>
#include <functional>
#include <map>

#include "runtime/data/client_dataset.h"
#include "runtime/data/datetime_text.h"
#include "runtime/data/packet.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"
#include "runtime/ole/automation.h"
#include "runtime/ole/error_info.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"
#include "runtime/ui/controls.h"

namespace rt {

RT_REGISTER_COMPONENT(TDataService20);

namespace {

StatementMonitor& Monitor() {
  static StatementMonitor monitor;
  return monitor;
}

// Every statement the service runs passes here first.
DataSession& SessionFor(const std::string& sql) {
  if (Monitor()) Monitor()(sql);
  return CurrentDataSession();
}

// The controls inside a container, the container included, depth first.
void ForEachControl(TControl* control, const std::function<void(TControl&)>& visit) {
  visit(*control);
  if (auto* container = dynamic_cast<TWinControl*>(control))
    for (int i = 0; i < container->ControlCount(); ++i) ForEachControl(container->Controls(i), visit);
}

template <class T>
void ForEach(TWinControl* container, const std::function<void(T&)>& visit) {
  if (!container) throw Exception("No container control was given");
  ForEachControl(container, [&](TControl& c) {
    if (auto* typed = dynamic_cast<T*>(&c)) visit(*typed);
  });
}

// A name quoted, its ASCII letters in lower case: the name as every engine
// keeps a name that its statements wrote bare (the server folds such names
// to lower case; SQLite's names match without regard to case anyway).
std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return quoted + "\"";
}

// The values the container's saved controls give for the table, by column
// as the table declares it; a field the table does not have is an error.
std::vector<std::pair<std::string, Value>> SavedColumns(TWinControl* container, const std::string& table) {
  std::vector<std::string> columns = CurrentDataSession().TableColumns(table);
  if (columns.empty()) throw EDatabaseError("The table " + table + " does not exist");
  std::map<std::string, std::size_t> position;  // upper-cased column -> index in result
  std::vector<std::pair<std::string, Value>> saved;
  ForEach<DataAwareControl>(container, [&](DataAwareControl& control) {
    if (!control.CanSave() || !gbk::SameText(control.TableName(), table)) return;
    for (auto& [field, text] : control.SavedValues()) {
      auto column = std::find_if(columns.begin(), columns.end(),
                                 [&](const std::string& c) { return gbk::SameText(c, field); });
      if (column == columns.end()) throw EDatabaseError("The table " + table + " has no column " + field);
      Value value = text.empty() ? Value{} : Value{text};
      std::string key = gbk::UpperCase(*column);
      if (auto it = position.find(key); it != position.end()) {
        saved[it->second].second = std::move(value);
      } else {
        position[key] = saved.size();
        saved.emplace_back(*column, std::move(value));
      }
    }
  });
  return saved;
}

// Splits "'1'||'x'" into its values: each quoted value has its doubled
// quotes undone; a bare value stands as it is.
std::vector<std::string> SplitKeyValues(std::string_view text) {
  std::vector<std::string> values;
  std::size_t i = 0;
  while (true) {
    std::string value;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    if (i < text.size() && text[i] == '\'') {
      ++i;
      for (; i < text.size(); ++i) {
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') ++i;
          else break;
        }
        value += text[i];
      }
      if (i >= text.size()) throw EConvertError("Unterminated key value in " + std::string(text));
      ++i;
      std::size_t next = text.find("||", i);
      i = next == std::string_view::npos ? text.size() : next;
    } else {
      std::size_t next = text.find("||", i);
      value = std::string(gbk::Trim(text.substr(i, next == std::string_view::npos ? text.npos : next - i)));
      i = next == std::string_view::npos ? text.size() : next;
    }
    values.push_back(std::move(value));
    if (i >= text.size()) break;
    i += 2;
  }
  return values;
}

std::vector<std::string> SplitKeyFields(std::string_view text) {
  std::vector<std::string> fields;
  std::string rest = std::string(gbk::Trim(text)) + "||";
  std::size_t at;
  while ((at = rest.find("||")) != std::string::npos) {
    fields.push_back(rest.substr(0, at));
    rest.erase(0, at + 2);
  }
  return fields;
}

// "Vexa.DataCtrl": the automation object behind the data service.
class DataCtrlObject : public DispatchObject {
 public:
  DataCtrlObject() {
    DefineMethod("GetDateFieldValue", [](std::span<OleValue> args) -> OleValue {
      CheckArgCount(args.size(), 3);
      const std::string sql = OleValueToText(args[1]);
      RowSet rows = SessionFor(sql).Query(sql);
      if (rows.rows.empty()) return {};
      const std::string field = OleValueToText(args[0]);
      for (std::size_t i = 0; i < rows.fields.size(); ++i) {
        if (!gbk::SameText(rows.fields[i].name, field)) continue;
        const Value& value = rows.rows.front()[i];
        if (const auto* date = std::get_if<DateTime>(&value)) args[2] = *date;
        else if (const auto* text = std::get_if<std::string>(&value)) {
          auto parsed = datetime::FromText(*text);
          if (!parsed) throw EConvertError("'" + *text + "' is not a valid date and time");
          args[2] = *parsed;
        } else if (!std::holds_alternative<std::monostate>(value)) {
          throw EConvertError("The field " + field + " does not hold a date and time");
        }
        return {};
      }
      throw EDatabaseError("Field '" + field + "' not found");
    });
  }
};

const bool data_ctrl_registered = [] {
  RegisterOleClass("Vexa.DataCtrl", [] { return std::make_shared<DataCtrlObject>(); });
  return true;
}();

}  // namespace

void SetStatementMonitor(StatementMonitor monitor) { Monitor() = std::move(monitor); }

TDataService20::TDataService20(TComponent* owner) : TComponent(owner) {}

TDataService20::~TDataService20() = default;

HRESULT TDataService20::BeginTrans() {
  return GuardedCall([&] {
    if (transaction_) throw EDatabaseError("A transaction is open already");
    transaction_ = std::make_unique<Transaction>(CurrentDataSession(), Transaction::Kind::Immediate);
  });
}

HRESULT TDataService20::CommitTrans() {
  return GuardedCall([&] {
    if (!transaction_) throw EDatabaseError("No transaction is open");
    // A failing commit rolls the transaction back as it goes.
    std::unique_ptr<Transaction> committing = std::move(transaction_);
    committing->Commit();
  });
}

HRESULT TDataService20::RollbackTrans() {
  return GuardedCall([&] {
    if (!transaction_) throw EDatabaseError("No transaction is open");
    transaction_.reset();
  });
}

HRESULT TDataService20::ExecSQL(const std::string& sql, int* result) {
  if (!result) return E_POINTER;
  return GuardedCall([&] { *result = static_cast<int>(SessionFor(sql).Execute(sql)); });
}

HRESULT TDataService20::OpenSQL(const std::string& sql, VARIANT* data) {
  if (!data) return E_POINTER;
  return GuardedCall([&] { SessionFor(sql).QueryPacket(sql).Detach(data); });
}

HRESULT TDataService20::GetMaxID(const std::string& sql, int* id) {
  if (!id) return E_POINTER;
  return GuardedCall([&] {
    RowSet rows = SessionFor(sql).Query(sql);
    if (rows.rows.empty() || rows.rows.front().empty()) throw EDatabaseError("The query gave no number: " + sql);
    const Value& value = rows.rows.front().front();
    if (const auto* n = std::get_if<std::int64_t>(&value)) *id = static_cast<int>(*n);
    else if (const auto* f = std::get_if<double>(&value)) *id = static_cast<int>(*f);
    else throw EDatabaseError("The query gave no number: " + sql);
  });
}

HRESULT TDataService20::RecordExists(const std::string& table, const std::string& condition, int* exists) {
  if (!exists) return E_POINTER;
  return GuardedCall([&] {
    const std::string sql = "Select 1 From " + table + " Where " + condition;
    RowSet rows = SessionFor(sql).Query(sql);
    *exists = rows.rows.empty() ? 0 : 1;
  });
}

HRESULT TDataService20::InitControls(TWinControl* container, int* result) {
  if (!result) return E_POINTER;
  return GuardedCall([&] {
    int filled = 0;
    ForEach<TVexaComboBox20>(container, [&](TVexaComboBox20& combo) {
      std::string sql = std::string(gbk::Trim(combo.GetSQLList().Text()));
      if (sql.empty()) return;
      RowSet rows = SessionFor(sql).Query(sql);
      int code = -1, name = -1;
      for (std::size_t i = 0; i < rows.fields.size(); ++i) {
        if (gbk::SameText(rows.fields[i].name, "Code")) code = static_cast<int>(i);
        if (gbk::SameText(rows.fields[i].name, "DispName")) name = static_cast<int>(i);
      }
      if (code < 0) throw EDatabaseError("The list query of " + combo.Name() + " has no column Code");
      if (name < 0) name = code;
      std::vector<std::pair<std::string, std::string>> entries;
      for (const auto& row : rows.rows)
        entries.emplace_back(ValueToText(row[static_cast<std::size_t>(code)]),
                             ValueToText(row[static_cast<std::size_t>(name)]));
      combo.SetEntries(std::move(entries));
      ++filled;
    });
    *result = filled;
  });
}

HRESULT TDataService20::NullControlExists(TWinControl* container, int* result) {
  if (!result) return E_POINTER;
  return GuardedCall([&] {
    std::string missing;
    ForEach<DataAwareControl>(container, [&](DataAwareControl& control) {
      if (missing.empty() && control.RequiredEmpty()) missing = dynamic_cast<TComponent&>(control).Name();
    });
    *result = missing.empty() ? 0 : 1;
    if (!missing.empty()) Application().GetPresenter().ShowMessage(MessageKind::Warning, "必填项不能为空：" + missing);
  });
}

HRESULT TDataService20::SaveInsertListData(TWinControl* container, const std::string& table, const std::string&,
                                           const std::string&, int* result) {
  if (!result) return E_POINTER;
  return GuardedCall([&] {
    auto columns = SavedColumns(container, table);
    *result = 0;
    if (columns.empty()) return;
    std::string names, marks;
    std::vector<Value> values;
    for (auto& [column, value] : columns) {
      names += (names.empty() ? "" : ",") + QuoteIdentifier(gbk::ToUtf8(column));
      marks += marks.empty() ? "?" : ",?";
      values.push_back(std::move(value));
    }
    std::string sql = "INSERT INTO " + QuoteIdentifier(gbk::ToUtf8(table)) + " (" + names + ") VALUES (" + marks + ")";
    *result = CurrentDataSession().ExecuteBound(sql, values) == 1 ? 1 : 0;
  });
}

HRESULT TDataService20::SaveUpdateListData(TWinControl* container, const std::string& table,
                                           const std::string& key_fields, const std::string& key_values,
                                           const std::string&, int* result) {
  if (!result) return E_POINTER;
  return GuardedCall([&] {
    std::vector<std::string> keys = SplitKeyFields(key_fields);
    std::vector<std::string> values = SplitKeyValues(key_values);
    if (keys.size() != values.size())
      throw EConvertError("The key values " + key_values + " do not match the key fields " + key_fields);
    auto columns = SavedColumns(container, table);
    *result = 0;
    if (columns.empty()) return;
    std::string sets, where;
    std::vector<Value> params;
    for (auto& [column, value] : columns) {
      sets += (sets.empty() ? "" : ",") + QuoteIdentifier(gbk::ToUtf8(column)) + "=?";
      params.push_back(std::move(value));
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
      where += (where.empty() ? "" : " AND ") + QuoteIdentifier(gbk::ToUtf8(keys[i])) + "=?";
      params.emplace_back(values[i]);
    }
    std::string sql = "UPDATE " + QuoteIdentifier(gbk::ToUtf8(table)) + " SET " + sets + " WHERE " + where;
    *result = CurrentDataSession().ExecuteBound(sql, params) == 1 ? 1 : 0;
  });
}

HRESULT TDataService20::ListDataSetToControls(TClientDataSet* dataset, TWinControl* container, const std::string& table,
                                              int, int, int* result) {
  if (!result || !dataset) return E_POINTER;
  return GuardedCall([&] {
    if (dataset->IsEmpty()) throw Exception("The dataset holds no record to show");
    ForEach<DataAwareControl>(container, [&](DataAwareControl& control) {
      if (!gbk::SameText(control.TableName(), table)) return;
      for (int i = 0; i < dataset->FieldCount(); ++i)
        control.ShowFieldValue(dataset->Fields(i).FieldName(), dataset->Fields(i).AsString());
    });
    *result = 1;
  });
}

std::shared_ptr<AutomationObject> TDataService20::AutoObject() {
  if (!auto_object_) auto_object_ = CreateOleObject("Vexa.DataCtrl");
  return auto_object_;
}

}  // namespace rt
