// The demo that a new home folder receives: a small laboratory's documents.
//
//   文档管理                       the root of the documents' part of the tree
//     文档管理明细                 categories, served by the plug-in
//       2019年度, 2020年度, 仪器操作规程, 2021年度 "内审" 资料; 待归档
//     论文管理明细
//       2019年论文, 2020年论文 (empty)
//     质量管理明细
//       质量手册
//
// and seven documents with audit rows. Their files are stored through the
// document store (LAB_DOC, loaded by name, as the plug-in loads it); when
// the store cannot be loaded, only the DB_FILE_STORAGE rows that list the
// documents are written, and the documents have no content to open.
#pragma once

#include <string>
#include <vector>

namespace rt {
class DataSession;
}

namespace hostcore {

// Fills an empty database; base_dir is the home folder (GBK, ending in
// '/'), whose icon folder receives the icons the tree names. Adds what a
// person should know to notes. Raises rt::Exception.
void FillDemoData(rt::DataSession& database, const std::string& base_dir, std::vector<std::string>& notes);

}  // namespace hostcore
