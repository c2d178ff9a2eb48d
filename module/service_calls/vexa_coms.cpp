#include "module/service_calls/vexa_coms.h"

#include "runtime/ole/automation.h"

namespace labdocs {

std::shared_ptr<rt::AutomationObject> CommonObject;

namespace {
std::shared_ptr<rt::AutomationObject> base_info_object;
}

rt::AutomationObject& BaseInfoObject() {
  if (!base_info_object) base_info_object = rt::CreateOleObject("Vexa.BaseInfo");
  return *base_info_object;
}

}  // namespace labdocs
