// The title of a form as a person sees it, whichever host shows it.
#pragma once

#include <string>

namespace rt {
class TForm;
}

namespace hostcore {

// The caption of the form's skinned frame when it has one, else the form's
// own caption (GBK).
std::string FormTitle(rt::TForm& form);

}  // namespace hostcore
