// Controls: components with a place on a form. A control has a parent, is
// visible and enabled or not, and windowed controls take part in the tab
// order and can hold the focus.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "runtime/ui/component.h"
#include "runtime/ui/messages.h"

namespace rt {

class TWinControl;
class TForm;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  // The form the control lies on (the control itself when it is a form).
  TForm* ParentForm();

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  // Visible, and every parent up to the form visible as well.
  bool Showing() const;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  virtual void SetBounds(int left, int top, int width, int height);

  // Caption and Text are one value, as the framework has it.
  const std::string& Caption() const { return text_; }
  const std::string& Text() const { return text_; }
  virtual void SetText(std::string text) { text_ = std::move(text); }
  void SetCaption(std::string text) { SetText(std::move(text)); }

  // Appearance settings a layout gave that have no behaviour of their own
  // (colours, fonts, anchors, styles); a presenter may read them.
  const std::map<std::string, PropValue, std::less<>>& Appearance() const { return appearance_; }
  const PropValue* AppearanceOf(std::string_view name) const;

  virtual void Click();
  TNotifyEvent OnClick;

  void SetProperty(std::string_view name, const PropValue& value) override;
  void SetEvent(std::string_view event, TNotifyEvent handler) override;

 protected:
  // Names of the appearance settings this class accepts, besides those of
  // its base classes.
  virtual bool AcceptsAppearance(std::string_view name) const;

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  bool visible_ = true;
  bool enabled_ = true;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string text_;
  std::map<std::string, PropValue, std::less<>> appearance_;
};

// A control without a window of its own: it never takes the focus.
class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const { return controls_.at(static_cast<std::size_t>(index)); }

  // Position among the windowed children of the parent that take part in
  // tab navigation; setting it moves the control there.
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool tab_stop) { tab_stop_ = tab_stop; }

  // It and every parent up to its form are visible and enabled, and it lies
  // on a form.
  bool CanFocus() const;
  // Raises EInvalidOperation when the control cannot take the focus.
  void SetFocus();
  bool Focused() const;

  // The control's window; made on first use, released with the control.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != 0; }

  // The windowed controls in tab order, depth first, as Tab visits them.
  void GetTabOrderList(std::vector<TWinControl*>& list) const;

  // A key pressed while the control has the focus: runs OnKeyDown, then the
  // control's own handling of the key.
  virtual void KeyDown(Word& key, TShiftState shift);
  TKeyEvent OnKeyDown;

  // A message sent or posted to the control's window.
  virtual void WndProc(TMessage& message);

  void SetProperty(std::string_view name, const PropValue& value) override;
  void SetKeyEvent(std::string_view event, TKeyEvent handler) override;

 protected:
  // The control's own reaction to a key the handlers left alone.
  virtual void DefaultKeyDown(Word& /*key*/, TShiftState /*shift*/) {}

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tab_list_;
  bool tab_stop_ = false;
  HWND handle_ = 0;
};

}  // namespace rt
