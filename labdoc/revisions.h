// Workstations sharing one database: the revisions in progress.
//
// A process that revises a document says so in DB_FILE_REVISING (who,
// where, since when) under an owner token that it holds while it revises
// (owner_lock.h). A row whose owner has ended (the process ended, or its
// server connection died) is no revision, and whoever finds it removes it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "labdoc/content_storage.h"
#include "labdoc/owner_lock.h"
#include "runtime/data/session.h"

namespace labdocs::labdoc {

class Revisions {
 public:
  Revisions() = default;
  Revisions(const Revisions&) = delete;
  Revisions& operator=(const Revisions&) = delete;

  // Records that this process revises the document (once: a second Begin
  // only looks) and returns the other live revisions of it, a line each
  // (GBK); empty when there are none. Works in the storage's session.
  // Throws rt::EDatabaseError.
  std::string Begin(ContentStorage& storage, std::int32_t doc_id);
  // Removes this process's revision of the document, if any. Housekeeping:
  // a row that cannot be removed now goes once its owner has ended.
  void End(ContentStorage& storage, std::int32_t doc_id) noexcept;
  // Ends every revision of this process.
  void EndAll(ContentStorage& storage) noexcept;
  bool Empty() const { return mine_.empty(); }
  // The token under which this process revises the document; empty when
  // it does not.
  std::string TokenOf(std::int32_t doc_id) const;

 private:
  // In one transaction: removes the rows of ended owners of the document,
  // records this process's revision under its token when `record`, and
  // describes the others.
  std::string RecordAndFindOthers(ContentStorage& storage, std::int32_t doc_id, const std::string& own_token,
                                  bool record);

  std::map<std::int32_t, std::unique_ptr<OwnerLock>> mine_;
};

// "<user> (<workstation>) ... <time>" as the notices name who did what when.
std::string Who(const rt::Value& user, const rt::Value& host);
std::string When(const rt::Value& time);

}  // namespace labdocs::labdoc
