#include "runtime/ui/stdctrls.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"
#include "runtime/text/gbk.h"
#include "runtime/ui/form.h"

namespace rt {

RT_REGISTER_COMPONENT(TButton);
RT_REGISTER_COMPONENT(TEdit);
RT_REGISTER_COMPONENT(TMemo);
RT_REGISTER_COMPONENT(TComboBox);
RT_REGISTER_COMPONENT(TListView);
RT_REGISTER_COMPONENT(TLabel);
RT_REGISTER_COMPONENT(TBevel);
RT_REGISTER_COMPONENT(TPageControl);
RT_REGISTER_COMPONENT(TTabSheet);

TButton::TButton(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

void TButton::Click() {
  if (modal_result_ != 0)
    if (TForm* form = ParentForm()) form->SetModalResult(modal_result_);
  TWinControl::Click();
}

void TButton::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "ModalResult")) modal_result_ = PropInt(name, value);
  else TWinControl::SetProperty(name, value);
}

void TButton::DefaultKeyDown(Word& key, TShiftState) {
  if (key == VK_RETURN || key == VK_SPACE) Click();
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

void TEdit::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "ReadOnly")) read_only_ = PropBool(name, value);
  else TWinControl::SetProperty(name, value);
}

void TMemo::DefaultKeyDown(Word& key, TShiftState) {
  if (key == VK_RETURN && !ReadOnly()) SetText(Text() + "\r\n");
}

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

int TComboBox::ItemIndex() const { return items_.IndexOf(Text()); }

void TComboBox::SetItemIndex(int index) { SetText(index < 0 ? std::string() : items_[index]); }

TListView::TListView(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

void TListView::SetRows(RowSet rows) {
  rows_ = std::move(rows);
  ++rows_changed_;
  SetItemIndex(-1);
}

void TListView::SetItemIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= rows_.rows.size()) index = -1;
  if (index == item_index_) return;
  item_index_ = index;
  if (OnChange) OnChange(this);
}

void TListView::SetEvent(std::string_view event, TNotifyEvent handler) {
  if (gbk::SameText(event, "OnChange")) OnChange = std::move(handler);
  else TWinControl::SetEvent(event, std::move(handler));
}

void TListView::DefaultKeyDown(Word& key, TShiftState) {
  const int count = static_cast<int>(rows_.rows.size());
  if (count == 0) return;
  if (key == VK_DOWN) SetItemIndex(item_index_ < 0 ? 0 : std::min(item_index_ + 1, count - 1));
  else if (key == VK_UP) SetItemIndex(item_index_ < 0 ? 0 : std::max(item_index_ - 1, 0));
}

bool TBevel::AcceptsAppearance(std::string_view name) const {
  return gbk::SameText(name, "Style") || TGraphicControl::AcceptsAppearance(name);
}

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) { SetTabStop(true); }

void TPageControl::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "ActivePage")) {
    auto* page = dynamic_cast<TTabSheet*>(Owner() ? Owner()->FindComponent(PropText(name, value)) : nullptr);
    if (!page) throw Exception("No tab sheet " + PropText(name, value) + " for " + Name());
    active_page_ = page;
  } else {
    TWinControl::SetProperty(name, value);
  }
}

void TTabSheet::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "PageControl")) {
    TWinControl::SetProperty("Parent", value);
    if (auto* pages = dynamic_cast<TPageControl*>(Parent()); pages && !pages->ActivePage()) pages->SetActivePage(this);
  } else {
    TWinControl::SetProperty(name, value);
  }
}

}  // namespace rt
