// The result check: every host service and document-store call returns an
// automation status, and a negative one is raised at once as an error, with
// the reason the component left behind.
#pragma once

#include "runtime/ole/variant.h"

namespace labdocs {

void OleCheck(HRESULT status);

}  // namespace labdocs
