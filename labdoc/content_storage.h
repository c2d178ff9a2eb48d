// Where the store keeps what differs between the engines, behind one
// interface bound to one session: the chunks of contents, the owners of
// pending contents and revisions, and the space that removed contents
// leave. One implementation per engine, chosen once by the session's kind
// (MakeContentStorage) where the store links its database
// (database_link.h): on SQLite (sqlite_storage.cpp) chunks lie in the
// content file (rt/data/content_file.h; those stored before it existed in
// the host database's own DB_FILE_CHUNK) and are read and written through
// SQLite's blob functions, owners hold lock files beside the database file,
// and free pages are given back to the file system; on a server
// (server_storage.cpp) chunks are bytea rows of the database's own table,
// owners hold liveness keys on their connections, and the server gives
// back space by itself. The document logic above asks no engine question.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "labdoc/content_chunks.h"
#include "runtime/data/session.h"
#include "runtime/file_lock.h"

namespace labdocs::labdoc {

class InputFile;

// Whether GiveBackFreePages may switch a database made before incremental
// vacuuming to it, rewriting the file.
enum class OldFile { Keep, Switch };

class ContentStorage {
 public:
  virtual ~ContentStorage() = default;
  ContentStorage(const ContentStorage&) = delete;
  ContentStorage& operator=(const ContentStorage&) = delete;

  rt::DataSession& Session() const { return session_; }

  // Inserts the chunks of one content (an engine's, for WriteChunks).
  class ChunkWriter {
   public:
    virtual ~ChunkWriter() = default;
    virtual void Insert(std::int64_t seq, const std::uint8_t* data, std::size_t size) = 0;
  };

  // Readies the session before each use by the store: SQLite attaches the
  // content file unless it is attached. Outside any transaction. Throws
  // rt::EDatabaseError.
  virtual void Ready() {}
  // The session is the store's own connection (database_link.h), whose
  // settings are the store's to choose: SQLite cuts its write-ahead log
  // back to 64 MiB after a large content went through it.
  virtual void TuneOwnConnection() {}

  // --- Contents.

  // Inserts the rest of a file as the chunks of a new pending content,
  // committing every kChunksPerTransaction chunks, and returns their size
  // and digest. Chunks that were left under the content's number before it
  // was given out (a content file copied apart from its database) are
  // removed first, in the first transaction. Throws rt::Exception when the
  // file cannot be read to its end or does not end at the size it had when
  // it was opened (it changed while being read), rt::EDatabaseError when an
  // insert or a commit fails, saying so when the disk (or the database's
  // size limit) is full; the chunks of earlier transactions then remain,
  // for the caller to remove.
  ContentSummary WriteChunks(std::int64_t content_id, InputFile& source);

  // Inserts the chunks of a content copied from another database under the
  // same number (a copy of a whole database): `read` hands the content's
  // bytes, as they come, to the sink it is given (another storage's
  // ReadChunks, which checks them), and they are cut into chunks of
  // kChunkSize as WriteChunks cuts a file's, committing every
  // kChunksPerTransaction chunks. Chunks left under the number are removed
  // first. Throws what `read` throws, and rt::EDatabaseError as WriteChunks
  // does; the chunks of earlier transactions then remain, for the caller to
  // remove.
  void CopyChunks(std::int64_t content_id, const std::function<void(const ChunkSink&)>& read);

  // Begins reading contents in the caller's read transaction, which must not
  // have read anything yet: chunks of the contents it then finds cannot be
  // removed before it ends. (SQLite: their removal is committed in the host
  // database first, and waits for this read to end in the content file. A
  // server: the transaction reads one snapshot of the database.)
  virtual void BeginContentRead() = 0;

  // Hands a content's chunks in order to `sink` and checks them against the
  // recorded size and digest (ChunkCheck): EDamagedContent, with `what`
  // naming the content, when they do not match.
  virtual void ReadChunks(std::int64_t content_id, const ContentSummary& recorded, const std::string& what,
                          const ChunkSink& sink) = 0;

  // Removes the chunks of a content whose row is gone.
  virtual void RemoveChunks(std::int64_t content_id) = 0;

  // An SQL expression, 1 when contents were removed whose chunks may remain
  // (SQLite's list of them, DB_FILE_REMOVED_CONTENT), else 0; a constant 0
  // where chunks go with their content (a server).
  virtual const char* RemovedContentsRemainSql() const { return "0"; }
  // Removes the chunks of the removed contents that the list holds.
  // Housekeeping: what fails is left listed for later.
  virtual void RemoveChunksOfRemovedContents() noexcept {}

  // --- Owners (owner_lock.h).

  // Whether owners hold liveness keys on their connections (a server)
  // rather than lock files in OwnerFolder.
  virtual bool OwnersHoldKeys() const = 0;
  // The folder of the owners' lock files (ANSI, ending in a separator);
  // empty where owners hold keys, and for a database without a file.
  virtual const std::string& OwnerFolder() const = 0;
  // Whether the owner named by a row's token has ended. An ended owner of a
  // lock file leaves its lock held by `lock` until the caller has removed
  // its rows and the file. False for a live owner and for a token that
  // cannot be examined.
  virtual bool OwnerHasEnded(std::string_view token, rt::FileLock& lock) = 0;

  // --- Space.

  // Gives the space that removed contents left back to the file system
  // now. SQLite: the free pages of both files, and a checkpoint of the
  // write-ahead log; a database made before incremental vacuuming is
  // switched to it when `old_file` says so and the connection is outside
  // any transaction. A server gives space back by itself. Housekeeping:
  // nothing is reported, and what fails (a busy database, another
  // connection's transaction) is left for another time.
  virtual void GiveBackFreePages(OldFile old_file) noexcept = 0;

 protected:
  explicit ContentStorage(rt::DataSession& session) : session_(session) {}

  // A writer of a content's chunks, made in the first transaction of its
  // chunks, which removes chunks left under the number where the engine may
  // hold such.
  virtual std::unique_ptr<ChunkWriter> StartChunks(std::int64_t content_id) = 0;
  // What to report instead of a failed insert's or commit's error when the
  // disk (or the database's size limit) is full, naming the file; nothing
  // for any other failure. Asked at once, before anything else runs on the
  // connection.
  virtual std::optional<std::string> NoRoomMessage(const rt::EDatabaseError&) { return std::nullopt; }

 private:
  rt::DataSession& session_;
};

// The storage of a session, chosen by its kind (rt::DataSession::Kind). A
// session that says SQLite must be SQLite's own connection (rt::sqlite::Database),
// not one that wraps it, and is readied (Ready). Throws rt::EDatabaseError.
std::unique_ptr<ContentStorage> MakeContentStorage(rt::DataSession& session);

}  // namespace labdocs::labdoc
