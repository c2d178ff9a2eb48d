#include "runtime/services/common_service.h"

#include "runtime/ole/error_info.h"
#include "runtime/ui/application.h"

namespace rt {

RT_REGISTER_COMPONENT(TCommonService20);

HRESULT TCommonService20::Alert(const std::string& text) {
  return GuardedCall([&] { Application().GetPresenter().ShowMessage(MessageKind::Warning, text); });
}

HRESULT TCommonService20::Prompt(const std::string& text) {
  return GuardedCall([&] { Application().GetPresenter().ShowMessage(MessageKind::Information, text); });
}

HRESULT TCommonService20::Confirm(const std::string& text, int buttons, int* answer) {
  if (!answer) return E_POINTER;
  return GuardedCall([&] { *answer = Application().GetPresenter().Confirm(text, buttons); });
}

}  // namespace rt
