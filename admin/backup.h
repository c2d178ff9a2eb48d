// Copies of a laboratory's database taken as one snapshot while stores go
// on, and checked before they count as made: a home's database file and
// content file into a home folder of their own, a server's into a new home,
// a home's into a server's empty database.
#pragma once

#include <filesystem>
#include <string>

#include "admin/check.h"
#include "admin/progress.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/errors.h"

namespace admin {

// A copy that is not made, and why (GBK): a folder that is in use, or a
// copy that does not pass the check.
class ECopyRefused : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// The console's name of its home's database (console/home.h).
inline constexpr const char* kDatabaseFileName = "labdocs.db";

// Copies the database open as `source`, its content file attached, into the
// folder `home` (made when missing), which must hold neither a labdocs.db
// nor a file of the content file's name: both files from one read
// transaction that reads the content file first, as a fetch does (the
// order of the store's commits then keeps the pair whole), through SQLite's
// online backup, so stores go on meanwhile. The copy is written into a
// folder of its own inside `home`, checked there (Check), and only then
// renamed into place, the content file first; the copy's write-ahead log is
// folded into its file before. The contents that were being stored when
// the copy was taken are removed from it before the check, as a store's
// sweep removes them: their stores went on in the source only. Returns the
// copy's check. Raises ECopyRefused (nothing is left of the copy then), or
// rt::EDatabaseError when a database fails.
CheckResult CopyHome(rt::sqlite::Database& source, const std::filesystem::path& home, Progress& progress);

// Copies the session's database (a server's, or a home's), as one snapshot
// (CopyDatabase), into a new database in the folder `home`, as CopyHome
// makes its copy: a server's backup, or its move to a home. Raises as
// CopyHome does, and what CopyDatabase raises.
CheckResult CopyIntoNewHome(rt::DataSession& source, const std::filesystem::path& home, Progress& progress);

// Copies the session's database (a home's, or a backup's) into a server's
// empty database that the setting names (its tables made when missing, by
// a login that may), and checks it there; a copy that does not pass is
// removed again (ECopyRefused). Raises what CopyDatabase raises.
CheckResult CopyIntoServer(rt::DataSession& source, const std::string& setting, Progress& progress);

// Whether a fault of a copy's check is a document being added when the copy
// was taken: the store commits a new document before the plug-in commits
// its record, so a snapshot between the two holds the document without a
// record (the state a console that ended between them leaves, which the
// check names). Such a copy is still made, its faults named.
bool AddUnderway(const Fault& fault);
// The faults of a copy's check that refuse it: all but AddUnderway.
std::size_t RefusingFaults(const CheckResult& result);
// The faults, a line each, each line after a line break (GBK).
std::string FaultLines(const CheckResult& result);

}  // namespace admin
