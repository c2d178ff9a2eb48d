// The host package's data-aware controls. Each is bound to a table and a
// field (the field holder to a list of fields); the data service reads them
// to insert and update rows and fills them from a dataset.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ui/stdctrls.h"
#include "runtime/ui/strings.h"

namespace rt {

// What the data service needs of a data-aware control.
class DataAwareControl {
 public:
  virtual ~DataAwareControl() = default;

  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string table) { table_name_ = std::move(table); }
  // Takes part in inserts and updates.
  bool CanSave() const { return can_save_; }
  // May be left empty.
  bool AllowNull() const { return allow_null_; }

  // The (field, value) pairs the control contributes to a saved row.
  virtual std::vector<std::pair<std::string, std::string>> SavedValues() const = 0;
  // The control must not be empty and is.
  virtual bool RequiredEmpty() const = 0;
  // Shows a field's value when the control is bound to that field.
  virtual void ShowFieldValue(std::string_view field, const std::string& value) = 0;

 protected:
  // Handles the binding properties shared by all data-aware controls.
  bool SetBindingProperty(std::string_view name, const PropValue& value);

 private:
  std::string table_name_;
  bool can_save_ = true;
  bool allow_null_ = true;
};

// A data-aware control holding one field's value as its text.
class SingleFieldBinding : public DataAwareControl {
 public:
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(std::string field) { field_name_ = std::move(field); }

 protected:
  bool SetBindingProperty(std::string_view name, const PropValue& value);
  std::vector<std::pair<std::string, std::string>> ValueOf(const std::string& text) const;
  bool Bound() const { return !TableName().empty() && !field_name_.empty(); }

 private:
  std::string field_name_;
};

class TVexaEdit20 : public TEdit, public SingleFieldBinding {
 public:
  RT_COMPONENT_CLASS(TVexaEdit20)
  using TEdit::TEdit;
  std::vector<std::pair<std::string, std::string>> SavedValues() const override { return ValueOf(Text()); }
  bool RequiredEmpty() const override;
  void ShowFieldValue(std::string_view field, const std::string& value) override;
  void SetProperty(std::string_view name, const PropValue& value) override;
};

class TVexaMemo20 : public TMemo, public SingleFieldBinding {
 public:
  RT_COMPONENT_CLASS(TVexaMemo20)
  using TMemo::TMemo;
  std::vector<std::pair<std::string, std::string>> SavedValues() const override { return ValueOf(Text()); }
  bool RequiredEmpty() const override;
  void ShowFieldValue(std::string_view field, const std::string& value) override;
  void SetProperty(std::string_view name, const PropValue& value) override;
};

class TVexaLabel20 : public TLabel {
 public:
  RT_COMPONENT_CLASS(TVexaLabel20)
  using TLabel::TLabel;
};

// An invisible holder of a list of field names with one value per name; it
// takes part in inserts like a bound control. Values never set are left out.
class TVexaField20 : public TGraphicControl, public DataAwareControl {
 public:
  RT_COMPONENT_CLASS(TVexaField20)
  explicit TVexaField20(TComponent* owner);
  // The field-name list; a caller may append names.
  TStringList& GetFFieldName() { return field_names_; }
  void SetValues(int index, std::string value);
  std::optional<std::string> Value(std::string_view field) const;

  std::vector<std::pair<std::string, std::string>> SavedValues() const override;
  bool RequiredEmpty() const override { return false; }
  void ShowFieldValue(std::string_view field, const std::string& value) override;
  void SetProperty(std::string_view name, const PropValue& value) override;

 private:
  TStringList field_names_;
  std::vector<std::optional<std::string>> values_;
};

// A combo box filled from a query whose columns are Code and DispName; its
// value is the chosen entry's code, or the typed text when it matches no
// entry.
class TVexaComboBox20 : public TComboBox, public SingleFieldBinding {
 public:
  RT_COMPONENT_CLASS(TVexaComboBox20)
  using TComboBox::TComboBox;
  TStringList& GetSQLList() { return sql_list_; }
  // Replaces the entries: codes and display names, pairwise.
  void SetEntries(std::vector<std::pair<std::string, std::string>> entries);
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }
  std::string Value() const;

  std::vector<std::pair<std::string, std::string>> SavedValues() const override { return ValueOf(Value()); }
  bool RequiredEmpty() const override;
  void ShowFieldValue(std::string_view field, const std::string& value) override;
  void SetProperty(std::string_view name, const PropValue& value) override;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;

 private:
  TStringList sql_list_;
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace rt
