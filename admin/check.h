// The check of a whole database: every stored content read and verified,
// and the rows that tie documents, contents, records and directories
// together checked against each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "admin/progress.h"
#include "labdoc/retention.h"
#include "runtime/data/session.h"

namespace admin {

// Something wrong, named as a person finds the document: the directory
// whose list shows it (or "(none)") and the document's file name.
struct Fault {
  std::string kind;       // what is wrong (English): "damaged content", "unlisted document"...
  std::string directory;  // GBK
  std::string file_name;  // GBK
  std::string detail;     // GBK: the numbers that identify it, and what was found
};

struct CheckResult {
  std::vector<Fault> faults;
  std::uint64_t documents = 0;
  std::uint64_t contents = 0, bytes = 0;            // every finished content, kept ones too
  std::uint64_t kept_contents = 0, kept_bytes = 0;  // the kept revisions alone
  std::uint64_t pending_live = 0;                   // contents that running stores are storing
  // The laboratory's retention of revisions, and the kept revisions it
  // gives up (labdocs-admin prune removes them): no fault, the check only
  // reads.
  labdocs::labdoc::Retention retention;
  std::uint64_t expired_contents = 0, expired_bytes = 0;
};

// Checks the session's database (opened by OpenDatabase). The catalog is
// read in one snapshot; each content is then read in a read transaction of
// its own, as a fetch reads it, so that stores are never held up for longer
// than one content. Raises rt::EDatabaseError when the database fails.
CheckResult Check(rt::DataSession& db, Progress& progress);

}  // namespace admin
