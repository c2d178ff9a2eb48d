// A whole laboratory's database copied into another, empty one, of either
// engine: a home's SQLite file into a server's schema (a move to the
// server, a backup restored there), or a server's schema into a new home (a
// server's backup, a move back). Everything a person sees and the records
// keep goes across: the tree, the directories, the documents with every
// kept revision and who stored it, the audit rows; keys are kept, and each
// table's keys go on past the highest the source handed out, so that a
// number in a cache or an audit row never names another document. What
// belongs to running processes or to workstations stays behind: contents
// being stored, revisions in progress, the workstations' cache records.
#pragma once

#include "admin/progress.h"
#include "runtime/data/session.h"

namespace admin {

// Copies the source's database, as one snapshot read in one read
// transaction (stores may go on meanwhile), into the target, whose tables
// must be empty (ECopyRefused otherwise, nothing written). Each content's
// bytes are checked against its recorded size and digest as they are read
// (a damaged one refuses the copy); the rows go in by one transaction at
// the end. On any failure what was written is removed from the target
// again, and the error passes (rt::EDatabaseError, EDamagedContent,
// ECopyRefused). The target's check is the caller's.
void CopyDatabase(rt::DataSession& source, rt::DataSession& target, Progress& progress);

// Removes from a target what CopyDatabase put in it, for a copy that is
// refused after it was made (its check found faults). Raises
// rt::EDatabaseError.
void EmptyCopy(rt::DataSession& target);

}  // namespace admin
