// A stored content in the database: its bytes lie in DB_FILE_CHUNK rows of
// kChunkSize bytes each (the last one shorter), SEQ counting from 0, keyed by
// the content's id. In an SQLite database they are in its content file
// (rt/data/content_file.h; contents stored before it existed in the host
// database's own DB_FILE_CHUNK), read and written through SQLite's blob
// functions; on a server they are bytea rows of the database's own table.
// This file and owner_lock.cpp are the places of the store that know the
// difference.
// Contents stream in and out one chunk at a time, so a file of any size
// passes through one chunk's worth of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "runtime/data/database.h"
#include "runtime/errors.h"

namespace labdocs::labdoc {

class InputFile;

inline constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// A content's size in bytes and its SHA-256 digest (lower-case hexadecimal).
struct ContentSummary {
  std::uint64_t size = 0;
  std::string sha256;

  bool operator==(const ContentSummary&) const = default;
};

// Stored content that does not match its recorded size and digest.
class EDamagedContent : public rt::Exception {
 public:
  using rt::Exception::Exception;
};

// Chunks inserted per transaction while a content is stored: the content
// file's write lock and its rollback journal are held to this much at a
// time (a fetch waits at most this long to begin).
inline constexpr int kChunksPerTransaction = 64;

// Inserts the rest of a file as the chunks of a content, committing every
// kChunksPerTransaction chunks, and returns their size and digest. Throws
// rt::Exception when the file cannot be read to its end or does not end at
// the size it had when it was opened (it changed while being read),
// rt::EDatabaseError when an insert or a commit fails; the chunks of earlier
// transactions then remain, for the caller to remove.
ContentSummary WriteChunks(rt::DataSession& db, std::int64_t content_id, InputFile& source);

// Begins reading contents in the caller's read transaction, which must not
// have read anything yet: chunks of the contents it then finds cannot be
// removed before it ends. (SQLite: their removal is committed in the host
// database first, and waits for this read to end in the content file. A
// server: the transaction reads one snapshot of the database.)
void BeginContentRead(rt::DataSession& db);

// Removes the chunks of a content whose row is gone.
void RemoveChunks(rt::DataSession& db, std::int64_t content_id);

// Hands a content's chunks in order to `sink` and checks them against the
// recorded size and digest: EDamagedContent (with `what` naming the content
// in its message) when a chunk is missing or out of place, the bytes run
// past or stop short of the size, or the digest differs. The sink has then
// been given bytes that are not the content, which the caller discards.
void ReadChunks(rt::DataSession& db, std::int64_t content_id, const ContentSummary& recorded, const std::string& what,
                const std::function<void(const std::uint8_t*, std::size_t)>& sink);

}  // namespace labdocs::labdoc
