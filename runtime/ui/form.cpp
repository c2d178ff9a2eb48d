#include "runtime/ui/form.h"

#include <algorithm>
#include <array>

#include "runtime/text/gbk.h"
#include "runtime/ui/application.h"

namespace rt {

TForm::TForm(TComponent* owner) : TWinControl(owner) { TControl::SetVisible(false); }

TForm::~TForm() = default;

void TForm::AfterConstruction() {
  if (!old_create_order_) DoCreate();
}

void TForm::BeforeDestruction() {
  if (created_ && !destroying_) {
    destroying_ = true;
    DoDestroy();
  }
}

void TForm::DoCreate() {
  created_ = true;
  try {
    if (OnCreate) OnCreate(this);
  } catch (const std::exception& e) {
    Application().HandleException(e);
  }
}

void TForm::DoDestroy() {
  try {
    if (OnDestroy) OnDestroy(this);
  } catch (const std::exception& e) {
    Application().HandleException(e);
  }
}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
}

// ---- layout ----

void TForm::PublishMethod(std::string name, TNotifyEvent handler) { methods_[std::move(name)] = std::move(handler); }

void TForm::PublishKeyMethod(std::string name, TKeyEvent handler) {
  key_methods_[std::move(name)] = std::move(handler);
}

void TForm::PublishMessage(UINT msg, TMessageHandler handler) { message_handlers_[msg] = std::move(handler); }

void TForm::BindEvents(TComponent& component, const std::vector<EventBinding>& events) {
  for (const EventBinding& binding : events) {
    if (auto it = methods_.find(binding.method); it != methods_.end()) component.SetEvent(binding.event, it->second);
    else if (auto kt = key_methods_.find(binding.method); kt != key_methods_.end())
      component.SetKeyEvent(binding.event, kt->second);
    else throw Exception("Method " + binding.method + " not found for " + binding.event + " of " + component.Name());
  }
}

void TForm::LoadLayout(const Layout& layout) {
  for (const Prop& p : layout.FormProps()) SetProperty(p.name, p.value);
  std::size_t bound = 0;  // fields bound to their components; names are unique
  for (const ComponentDecl& decl : layout.Components()) {
    TComponent* component = CreateComponent(decl.class_name, this);
    component->SetName(decl.name);
    // A control declared without a parent lies on the form itself.
    if (!decl.parent.empty()) component->SetProperty("Parent", decl.parent);
    else if (auto* control = dynamic_cast<TControl*>(component)) control->SetParent(this);
    for (const Prop& p : decl.props) component->SetProperty(p.name, p.value);
    if (auto it = fields_.find(decl.name); it != fields_.end()) {
      if (!it->second(component)) throw Exception("Component " + decl.name + " is not of the class its field expects");
      ++bound;
    }
    BindEvents(*component, decl.events);
  }
  BindEvents(*this, layout.FormEvents());
  if (bound < fields_.size()) {
    for (const auto& [name, setter] : fields_) {
      const auto& components = layout.Components();
      if (std::none_of(components.begin(), components.end(),
                       [&](const ComponentDecl& decl) { return gbk::SameText(decl.name, name); }))
        throw Exception("The layout of " + std::string(ClassName()) + " has no component " + name);
    }
  }
  if (old_create_order_) DoCreate();
}

bool TForm::AcceptsAppearance(std::string_view name) const {
  static constexpr std::array<std::string_view, 8> kNames = {
      "BorderStyle",          "BorderIcons",           "Position",   "Scaled", "PixelsPerInch",
      "Constraints.MinWidth", "Constraints.MinHeight", "WindowState"};
  return std::any_of(kNames.begin(), kNames.end(), [&](std::string_view n) { return gbk::SameText(n, name); }) ||
         TWinControl::AcceptsAppearance(name);
}

void TForm::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "Name")) {
    // Another live instance of the same form class keeps its name; this one
    // becomes name_1, name_2 and so on, as forms loaded twice do.
    std::string unique = PropText(name, value);
    for (int n = 1; Owner() && Owner()->FindComponent(unique) && Owner()->FindComponent(unique) != this; ++n)
      unique = PropText(name, value) + "_" + std::to_string(n);
    SetName(unique);
  } else if (gbk::SameText(name, "KeyPreview")) key_preview_ = PropBool(name, value);
  else if (gbk::SameText(name, "OldCreateOrder")) old_create_order_ = PropBool(name, value);
  else if (gbk::SameText(name, "ClientWidth")) {
    client_sized_ = true;
    SetBounds(Left(), Top(), PropInt(name, value), Height());
  } else if (gbk::SameText(name, "ClientHeight")) {
    client_sized_ = true;
    SetBounds(Left(), Top(), Width(), PropInt(name, value));
  } else TWinControl::SetProperty(name, value);
}

void TForm::SetEvent(std::string_view event, TNotifyEvent handler) {
  if (gbk::SameText(event, "OnCreate")) OnCreate = std::move(handler);
  else if (gbk::SameText(event, "OnDestroy")) OnDestroy = std::move(handler);
  else if (gbk::SameText(event, "OnShow")) OnShow = std::move(handler);
  else if (gbk::SameText(event, "OnHide")) OnHide = std::move(handler);
  else TWinControl::SetEvent(event, std::move(handler));
}

// ---- focus ----

void TForm::SetActiveControl(TWinControl* control) {
  if (control && control->ParentForm() != this) throw EInvalidOperation("The control does not lie on this form");
  active_control_ = control;
}

void TForm::SelectNext(TWinControl* current, bool forward) {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return;
  const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(list.size());
  auto at = std::find(list.begin(), list.end(), current);
  // Without a current control the search starts just before the first
  // (forward) or just after the last (backward) one.
  std::ptrdiff_t start = at == list.end() ? (forward ? n - 1 : 0) : at - list.begin();
  for (std::ptrdiff_t step = 1; step <= n; ++step) {
    std::ptrdiff_t i = ((start + (forward ? step : -step)) % n + n) % n;
    TWinControl* candidate = list[static_cast<std::size_t>(i)];
    if (candidate != current && candidate->TabStop() && candidate->CanFocus()) {
      candidate->SetFocus();
      return;
    }
  }
}

void TForm::ControlDestroying(TControl* control) {
  if (active_control_ == control) active_control_ = nullptr;
}

// ---- showing ----

void TForm::SetVisible(bool visible) {
  if (visible == Visible()) return;
  TWinControl::SetVisible(visible);
  if (visible) {
    try {
      DoShow();
    } catch (const std::exception& e) {
      Application().HandleException(e);
    }
    if (Application().HasPresenter()) Application().GetPresenter().FormShown(*this);
  } else {
    if (OnHide) OnHide(this);
    if (Application().HasPresenter()) Application().GetPresenter().FormHidden(*this);
  }
}

int TForm::ShowModal() {
  if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  Presenter& presenter = Application().GetPresenter();
  modal_result_ = mrNone;
  modal_ = true;
  struct EndModal {
    TForm& form;
    ~EndModal() {
      form.modal_ = false;
      try {
        form.Hide();
      } catch (...) {
      }
    }
  } end_modal{*this};
  Show();
  while (modal_result_ == mrNone) {
    bool more_input = true;
    try {
      more_input = presenter.Interact(*this);
    } catch (const std::exception& e) {
      Application().HandleException(e);
    }
    Application().ProcessMessages();
    // With no further input the form is closed as by its close button.
    if (!more_input && modal_result_ == mrNone) Close();
  }
  if (modal_result_ == mrOk) Application().FormConfirmed();
  return modal_result_;
}

void TForm::Close() {
  if (modal_) modal_result_ = mrCancel;
  else Hide();
}

// ---- keys ----

void TForm::DispatchKey(Word key, TShiftState shift) {
  HandleKey(active_control_ ? active_control_ : this, key, shift);
}

void TForm::HandleKey(TWinControl* target, Word key, TShiftState shift) {
  // Tab is a dialog key: the form moves the focus before any key handler
  // sees it.
  if (key == VK_TAB) {
    SelectNext(active_control_, (shift & ssShift) == 0);
    return;
  }
  if (key_preview_ && target != this && OnKeyDown) OnKeyDown(this, key, shift);
  if (key != 0) target->KeyDown(key, shift);
}

void TForm::WndProc(TMessage& message) {
  if (auto it = message_handlers_.find(message.msg); it != message_handlers_.end()) {
    it->second(message);
    return;
  }
  if (message.msg == WM_KEYDOWN) {
    // A key message for the form's own window, handled with the modifier
    // keys as they are held at this moment.
    HandleKey(this, static_cast<Word>(message.wparam), Application().KeyboardState());
    return;
  }
  TWinControl::WndProc(message);
}

LPARAM TForm::Perform(UINT msg, WPARAM wparam, LPARAM lparam) {
  TMessage message{msg, wparam, lparam, 0};
  WndProc(message);
  return message.result;
}

// ---- sizing ----

MINMAXINFO TForm::DefaultMinMaxInfo() const {
  constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
  MINMAXINFO info;
  info.ptMaxSize = {kScreenWidth, kScreenHeight};
  info.ptMaxPosition = {0, 0};
  info.ptMinTrackSize = {136, 39};
  info.ptMaxTrackSize = {kScreenWidth + 12, kScreenHeight + 12};
  return info;
}

void TForm::SetBounds(int left, int top, int width, int height) {
  MINMAXINFO info = DefaultMinMaxInfo();
  Perform(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  width = std::clamp(width, info.ptMinTrackSize.x, std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
  height = std::clamp(height, info.ptMinTrackSize.y, std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
  TWinControl::SetBounds(left, top, width, height);
}

void TForm::Maximize() {
  MINMAXINFO info = DefaultMinMaxInfo();
  Perform(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  TWinControl::SetBounds(info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxSize.x, info.ptMaxSize.y);
}

}  // namespace rt
