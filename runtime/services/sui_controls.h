// The host package's skinned controls: the frame that carries a form's title
// bar and style, buttons, page controls and tab sheets. They behave as the
// standard controls; the skin settings are appearance only.
#pragma once

#include "runtime/ui/stdctrls.h"

namespace rt {

// The skinned frame: a container with a title bar caption and a visual style.
class TsuiForm : public TWinControl {
 public:
  RT_COMPONENT_CLASS(TsuiForm)
  using TWinControl::TWinControl;
  // Caption is the title bar text.
  int UIStyle() const { return ui_style_; }
  void SetUIStyle(int style) { ui_style_ = style; }
  void SetProperty(std::string_view name, const PropValue& value) override;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;

 private:
  int ui_style_ = 0;
};

class TsuiButton : public TButton {
 public:
  RT_COMPONENT_CLASS(TsuiButton)
  using TButton::TButton;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;
};

class TsuiPageControl : public TPageControl {
 public:
  RT_COMPONENT_CLASS(TsuiPageControl)
  using TPageControl::TPageControl;

 protected:
  bool AcceptsAppearance(std::string_view name) const override;
};

class TsuiTabSheet : public TTabSheet {
 public:
  RT_COMPONENT_CLASS(TsuiTabSheet)
  using TTabSheet::TTabSheet;
};

// The visual styles a skinned frame knows by name.
int UIStyleFromName(std::string_view name);

}  // namespace rt
