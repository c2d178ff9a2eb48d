#include "hostcore/form_title.h"

#include "runtime/services/sui_controls.h"
#include "runtime/ui/form.h"

namespace hostcore {

std::string FormTitle(rt::TForm& form) {
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* frame = dynamic_cast<rt::TsuiForm*>(form.Components(i)); frame && !frame->Caption().empty())
      return frame->Caption();
  return form.Caption();
}

}  // namespace hostcore
