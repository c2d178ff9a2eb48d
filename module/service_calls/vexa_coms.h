// The module's global automation objects. They outlive the exported calls
// and are released when the module unloads.
#pragma once

#include <memory>

namespace rt {
class AutomationObject;
}

namespace labdocs {

// The host's "Vexa.Common" object of the last form construction; empty
// before the first. Its UserParam values carry the current directory from
// one exported call to the next.
extern std::shared_ptr<rt::AutomationObject> CommonObject;

// The host's "Vexa.BaseInfo" object, created on first use and kept.
rt::AutomationObject& BaseInfoObject();

}  // namespace labdocs
