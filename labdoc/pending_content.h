// A content while it is being stored: a DB_FILE_CONTENT row with PENDING 1
// that no reader takes, its chunks committed a batch at a time, until one
// last transaction makes it a document's content. A store that fails
// removes its pending content; one that a process left behind when it ended
// is removed by the sweep when a store starts: the row names its owner
// (owner_lock.h), whose lock is held while the process stores.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "labdoc/content_chunks.h"
#include "labdoc/content_storage.h"
#include "labdoc/owner_lock.h"
#include "runtime/data/session.h"

namespace labdocs::labdoc {

class InputFile;

// A content being stored: its row and chunks are written in transactions of
// their own while it is pending, and it becomes a document's content in one
// last transaction (Finish). A pending content that is not finished is
// removed when the object goes, and the free pages it leaves are given back.
// The owner's lock is taken before the row goes in and dropped once the
// content is finished or removed.
class PendingContent {
 public:
  // Starts a pending content of a document (0: one that does not exist yet)
  // from a file of the given name, in the storage's session.
  PendingContent(ContentStorage& storage, std::int64_t doc_id, const std::string& source_name);
  ~PendingContent();
  PendingContent(const PendingContent&) = delete;
  PendingContent& operator=(const PendingContent&) = delete;

  // Stores the rest of the file as the content's chunks.
  void Write(InputFile& source);

  // In the last transaction, which this commits: makes the content the
  // document's current content, stamped now, and describes it in the
  // document's row. With `replacing`, only in place of that content: false,
  // changing nothing and committing nothing, when it is not the document's
  // current content (another one was made current meanwhile). A commit
  // whose outcome the connection could not learn (rt::ECommitUnknown: the
  // server went, or a standby took over) is settled: finished, it returns
  // true; still pending, the content is removed and it throws
  // EDatabaseError saying nothing was kept. Only when no server answers for
  // kSettleTime does the rt::ECommitUnknown go on, the content left as it
  // is: the document's, or the sweep's to remove.
  bool Finish(std::int64_t doc_id, rt::Transaction& transaction, std::optional<std::int64_t> replacing = std::nullopt);

  static constexpr std::chrono::seconds kSettleTime{15};

 private:
  // Whether the last transaction made the content the document's (true),
  // or the content is removed now, unfinished (false); nullopt when the
  // server could not be asked for kSettleTime.
  std::optional<bool> Settle(std::int64_t doc_id) noexcept;

  // Removes the content and its chunks and gives back their space; a
  // failure (a disk still full) leaves them to the sweep of abandoned
  // contents.
  void Discard() noexcept;

  ContentStorage& storage_;
  rt::DataSession& db_;
  OwnerLock owner_;
  std::int64_t id_ = 0;
  ContentSummary summary_;
  bool finished_ = false;
};

// Removes the pending contents that no live process stores: those whose
// owner has ended, and those without an owner (stored by older versions)
// whose storing began more than a day ago (a store takes seconds, not
// days); then the lock files that ended owners left, and the free pages.
// Finds them through the partial index of pending contents, so it reads
// nothing else when there are none. Housekeeping: a database that is busy
// is left for next time.
void SweepAbandonedContents(ContentStorage& storage);

}  // namespace labdocs::labdoc
