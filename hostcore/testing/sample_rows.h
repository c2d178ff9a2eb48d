// For tests: a directory's documents as the plug-in lists them, with display
// columns whose prefix has either letter case, a display column named like
// a key column, a text with a line break, a null, and a backslash between
// Chinese characters.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/data/value.h"

namespace hostcore::testing {

inline rt::RowSet SampleDocumentRows() {
  rt::RowSet rows;
  rows.fields = {{"ID", rt::FieldType::Integer},
                 {"DISP_名称", rt::FieldType::Text},
                 {"disp_描述", rt::FieldType::Text},
                 {"DISP_ID", rt::FieldType::Integer}};
  rows.rows = {{std::int64_t{1}, std::string("实验室安全手册.txt"), std::string("a"), std::int64_t{1}},
               {std::int64_t{2}, std::string("ab.csv"), std::string("第 2 版\r\n附录"), std::int64_t{10}},
               {std::int64_t{3}, std::string("表\\碶"), rt::Value(), std::int64_t{100}}};
  return rows;
}

}  // namespace hostcore::testing
