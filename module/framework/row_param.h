// The row parameter: the parameter text in the first column of a dataset's
// current row.
#pragma once

#include <string>

namespace rt {
class TClientDataSet;
}

namespace labdocs {

// The first column of the current row, as text, trimmed; the empty text when
// the dataset is not open or holds no rows. A dataset of exactly one record
// is first moved to that record; with more the current one is read.
std::string RowParamText(rt::TClientDataSet& dataset);

}  // namespace labdocs
