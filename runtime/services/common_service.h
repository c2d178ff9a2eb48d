// The host's message service: warnings, information and questions, shown
// through the presenter. Every operation returns an automation status.
#pragma once

#include <string>

#include "runtime/ole/variant.h"
#include "runtime/ui/component.h"

namespace rt {

class TCommonService20 : public TComponent {
 public:
  RT_COMPONENT_CLASS(TCommonService20)
  using TComponent::TComponent;
  HRESULT Alert(const std::string& text);
  HRESULT Prompt(const std::string& text);
  // answer receives 1 for the affirmative button.
  HRESULT Confirm(const std::string& text, int buttons, int* answer);
};

}  // namespace rt
