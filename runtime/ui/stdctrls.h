// The standard controls: buttons, edits, memos, labels, combo boxes, list
// views, bevels, page controls and their sheets.
#pragma once

#include <cstdint>

#include "runtime/data/value.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/strings.h"

namespace rt {

class TButton : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TButton)
  explicit TButton(TComponent* owner);
  // The modal result the button gives its form when clicked (0: none).
  int ModalResult() const { return modal_result_; }
  void Click() override;
  void SetProperty(std::string_view name, const PropValue& value) override;

 protected:
  // Enter and Space press a focused button.
  void DefaultKeyDown(Word& key, TShiftState shift) override;

 private:
  int modal_result_ = 0;
};

class TEdit : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TEdit)
  explicit TEdit(TComponent* owner);
  bool ReadOnly() const { return read_only_; }
  void SetProperty(std::string_view name, const PropValue& value) override;

 private:
  bool read_only_ = false;
};

class TMemo : public TEdit {
 public:
  RT_COMPONENT_CLASS(TMemo)
  using TEdit::TEdit;

 protected:
  // Enter starts a new line.
  void DefaultKeyDown(Word& key, TShiftState shift) override;
};

class TComboBox : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TComboBox)
  explicit TComboBox(TComponent* owner);
  TStringList& Items() { return items_; }
  const TStringList& Items() const { return items_; }
  int ItemIndex() const;
  void SetItemIndex(int index);

 private:
  TStringList items_;
};

// A list of rows in columns (a report), of which one may be selected: the
// rows are a row set whose field names are the columns' captions (texts
// GBK). A presenter shows them and sets the selection a person makes.
class TListView : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TListView)
  explicit TListView(TComponent* owner);
  const RowSet& Rows() const { return rows_; }
  // Replaces the rows; the selection goes.
  void SetRows(RowSet rows);
  // Counts the changes of the rows, so that a presenter sees that they changed.
  std::uint64_t RowsChanged() const { return rows_changed_; }
  // The selected row's index, -1 for none.
  int ItemIndex() const { return item_index_; }
  // Selects a row (-1 or an index out of range: none) and runs OnChange
  // when the selection changed.
  void SetItemIndex(int index);
  TNotifyEvent OnChange;
  void SetEvent(std::string_view event, TNotifyEvent handler) override;

 protected:
  // Up and Down select the row before and after the selected one.
  void DefaultKeyDown(Word& key, TShiftState shift) override;

 private:
  RowSet rows_;
  std::uint64_t rows_changed_ = 0;
  int item_index_ = -1;
};

class TLabel : public TGraphicControl {
 public:
  RT_COMPONENT_CLASS(TLabel)
  using TGraphicControl::TGraphicControl;
};

class TBevel : public TGraphicControl {
 public:
  RT_COMPONENT_CLASS(TBevel)
  using TGraphicControl::TGraphicControl;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;
};

class TTabSheet;

class TPageControl : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TPageControl)
  explicit TPageControl(TComponent* owner);
  TTabSheet* ActivePage() const { return active_page_; }
  void SetActivePage(TTabSheet* page) { active_page_ = page; }
  void SetProperty(std::string_view name, const PropValue& value) override;

 private:
  TTabSheet* active_page_ = nullptr;
};

class TTabSheet : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TTabSheet)
  using TWinControl::TWinControl;
  // A sheet lies on its page control; the first sheet becomes the active one.
  void SetProperty(std::string_view name, const PropValue& value) override;
};

}  // namespace rt
