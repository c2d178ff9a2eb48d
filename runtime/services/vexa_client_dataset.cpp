#include "runtime/services/vexa_client_dataset.h"

#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TVexaClientDataSet20);

void TVexaClientDataSet20::SetProperty(std::string_view name, const PropValue& value) {
  if (gbk::SameText(name, "U_ServerClassName")) server_class_name_ = PropText(name, value);
  else if (gbk::SameText(name, "U_OpenType")) open_type_ = PropText(name, value);
  else if (gbk::SameText(name, "U_FetchDataMode")) fetch_data_mode_ = PropText(name, value);
  else TClientDataSet::SetProperty(name, value);
}

}  // namespace rt
