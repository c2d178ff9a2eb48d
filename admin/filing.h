// Filing a document that no list shows: its RIS_DOC record gets a
// directory, and its audit row the stamp of who filed it.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/data/session.h"
#include "runtime/errors.h"
#include "runtime/services/environment.h"

namespace admin {

// A filing that is not done, and why (GBK): no such record or directory,
// the document listed already, or not stored.
class EFilingRefused : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

struct Filed {
  std::string file_name;  // GBK
  std::string directory;  // the directory's TV_Name (GBK)
  std::int64_t labdoc_id = 0;
  bool audit_row_added = false;  // the record had no audit row: one was added
};

// In one transaction: sets the record's DocType to the directory's TV_ID,
// and stamps the record's audit row (DB_FILE_RECORD of RIS_DOC, the
// record's ID and document) with the workstation, the user's id and name
// and the time, as the plug-in stamps an edit; a record without one gets
// one. Raises EFilingRefused, or rt::EDatabaseError when the database fails
// (nothing is changed then).
Filed FileDocument(rt::DataSession& db, std::int64_t record_id, std::int64_t directory_id,
                   const rt::HostEnvironment& who);

}  // namespace admin
