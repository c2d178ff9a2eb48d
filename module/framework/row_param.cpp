#include "module/framework/row_param.h"

#include "runtime/data/client_dataset.h"
#include "runtime/text/gbk.h"

namespace labdocs {

std::string RowParamText(rt::TClientDataSet& dataset) {
  if (!dataset.Active() || dataset.IsEmpty() || dataset.FieldCount() == 0) return {};
  if (dataset.RecordCount() == 1) dataset.First();
  return std::string(rt::gbk::Trim(dataset.Fields(0).AsString()));
}

}  // namespace labdocs
