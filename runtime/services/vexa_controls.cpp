#include "runtime/services/vexa_controls.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TVexaEdit20);
RT_REGISTER_COMPONENT(TVexaMemo20);
RT_REGISTER_COMPONENT(TVexaLabel20);
RT_REGISTER_COMPONENT(TVexaField20);
RT_REGISTER_COMPONENT(TVexaComboBox20);

namespace {

bool Is(std::string_view a, std::string_view b) { return gbk::SameText(a, b); }

// Settings of the data-aware controls that only shape their look or the
// host's own validation, which the data service does not use.
bool IsDisplaySetting(std::string_view name) {
  static constexpr std::array<std::string_view, 9> kNames = {"U_DataType",   "U_Strict",    "U_DropDownList",
                                                             "U_MultSelect", "U_KeepValue", "U_EnterList",
                                                             "U_ShowErr",    "U_Lines",     "U_Skin"};
  return std::any_of(kNames.begin(), kNames.end(), [&](std::string_view n) { return Is(n, name); });
}

}  // namespace

bool DataAwareControl::SetBindingProperty(std::string_view name, const PropValue& value) {
  if (Is(name, "U_TableName")) table_name_ = PropText(name, value);
  else if (Is(name, "U_CanSave")) can_save_ = PropBool(name, value);
  else if (Is(name, "U_Null")) allow_null_ = PropBool(name, value);
  else return false;
  return true;
}

bool SingleFieldBinding::SetBindingProperty(std::string_view name, const PropValue& value) {
  if (Is(name, "U_FieldName") || Is(name, "U_FieldInter")) field_name_ = PropText(name, value);
  else return DataAwareControl::SetBindingProperty(name, value);
  return true;
}

std::vector<std::pair<std::string, std::string>> SingleFieldBinding::ValueOf(const std::string& text) const {
  if (!Bound()) return {};
  return {{field_name_, text}};
}

// ---- edits and memos ----

bool TVexaEdit20::RequiredEmpty() const { return Bound() && !AllowNull() && Showing() && gbk::Trim(Text()).empty(); }

void TVexaEdit20::ShowFieldValue(std::string_view field, const std::string& value) {
  if (Bound() && Is(field, FieldName())) SetText(value);
}

void TVexaEdit20::SetProperty(std::string_view name, const PropValue& value) {
  if (!SetBindingProperty(name, value) && !IsDisplaySetting(name)) TEdit::SetProperty(name, value);
}

bool TVexaMemo20::RequiredEmpty() const { return Bound() && !AllowNull() && Showing() && gbk::Trim(Text()).empty(); }

void TVexaMemo20::ShowFieldValue(std::string_view field, const std::string& value) {
  if (Bound() && Is(field, FieldName())) SetText(value);
}

void TVexaMemo20::SetProperty(std::string_view name, const PropValue& value) {
  if (!SetBindingProperty(name, value) && !IsDisplaySetting(name)) TMemo::SetProperty(name, value);
}

// ---- field holder ----

TVexaField20::TVexaField20(TComponent* owner) : TGraphicControl(owner) { SetVisible(false); }

void TVexaField20::SetValues(int index, std::string value) {
  if (index < 0 || index >= field_names_.Count())
    throw Exception("Field holder " + Name() + " has no field at index " + std::to_string(index));
  if (values_.size() < static_cast<std::size_t>(field_names_.Count()))
    values_.resize(static_cast<std::size_t>(field_names_.Count()));
  values_[static_cast<std::size_t>(index)] = std::move(value);
}

std::optional<std::string> TVexaField20::Value(std::string_view field) const {
  int index = field_names_.IndexOf(field);
  if (index < 0 || static_cast<std::size_t>(index) >= values_.size()) return std::nullopt;
  return values_[static_cast<std::size_t>(index)];
}

std::vector<std::pair<std::string, std::string>> TVexaField20::SavedValues() const {
  std::vector<std::pair<std::string, std::string>> saved;
  if (TableName().empty()) return saved;
  for (int i = 0; i < field_names_.Count(); ++i)
    if (static_cast<std::size_t>(i) < values_.size() && values_[static_cast<std::size_t>(i)])
      saved.emplace_back(field_names_[i], *values_[static_cast<std::size_t>(i)]);
  return saved;
}

void TVexaField20::ShowFieldValue(std::string_view field, const std::string& value) {
  int index = field_names_.IndexOf(field);
  if (index >= 0) SetValues(index, value);
}

void TVexaField20::SetProperty(std::string_view name, const PropValue& value) {
  if (Is(name, "U_FieldNames")) {
    field_names_.Clear();
    for (const std::string& field : PropList(name, value)) field_names_.Add(field);
    values_.clear();
  } else if (!SetBindingProperty(name, value)) {
    TGraphicControl::SetProperty(name, value);
  }
}

// ---- combo box ----

void TVexaComboBox20::SetEntries(std::vector<std::pair<std::string, std::string>> entries) {
  entries_ = std::move(entries);
  Items().Clear();
  for (const auto& entry : entries_) Items().Add(entry.second);
}

std::string TVexaComboBox20::Value() const {
  for (const auto& [code, display] : entries_)
    if (display == Text()) return code;
  return Text();
}

bool TVexaComboBox20::RequiredEmpty() const {
  return Bound() && !AllowNull() && Showing() && gbk::Trim(Value()).empty();
}

void TVexaComboBox20::ShowFieldValue(std::string_view field, const std::string& value) {
  if (!Bound() || !Is(field, FieldName())) return;
  for (const auto& [code, display] : entries_)
    if (code == value) {
      SetText(display);
      return;
    }
  SetText(value);
}

void TVexaComboBox20::SetProperty(std::string_view name, const PropValue& value) {
  if (!SetBindingProperty(name, value) && !IsDisplaySetting(name)) TComboBox::SetProperty(name, value);
}

bool TVexaComboBox20::AcceptsAppearance(std::string_view name) const {
  return Is(name, "SkinStyle") || TComboBox::AcceptsAppearance(name);
}

}  // namespace rt
