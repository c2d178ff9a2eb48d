// A stored content in the database: its bytes lie in DB_FILE_CHUNK rows of
// kChunkSize bytes each (the last one shorter), SEQ counting from 0, keyed by
// the content's id. Where those rows are and how they are read and written
// is the engine's (content_storage.h); this file holds what every engine
// shares: the chunks' size, what a content is recorded as, and the check of
// the bytes read against that record.
// Contents stream in and out one chunk at a time, so a file of any size
// passes through one chunk's worth of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "labdoc/sha256.h"
#include "runtime/errors.h"

namespace labdocs::labdoc {

inline constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// Chunks inserted per transaction while a content is stored: the content
// file's write lock and its rollback journal are held to this much at a
// time (a fetch waits at most this long to begin).
inline constexpr int kChunksPerTransaction = 64;

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

// Where the bytes of a content go as they are read.
using ChunkSink = std::function<void(const std::uint8_t*, std::size_t)>;

// Checks a content's chunks, read in the order of SEQ, against its recorded
// size and digest, and hands their bytes on to the sink. Each failure is an
// EDamagedContent with `what` naming the content in its message; the sink
// has then been given bytes that are not the content, which the caller
// discards.
class ChunkCheck {
 public:
  ChunkCheck(const ContentSummary& recorded, std::string what, const ChunkSink& sink);

  // The next chunk's SEQ and length in bytes, before its bytes: fails when
  // a chunk before it is missing or it runs past the recorded size.
  void Begin(std::int64_t seq, std::uint64_t length);
  // The chunk begun holds something other than bytes.
  [[noreturn]] void NotBytes() const;
  // A buffer of kChunkSize bytes for the chunk's next bytes; then Take says
  // how many went in, which go to the digest and the sink.
  std::uint8_t* Buffer() { return buffer_ = digest_.Next(); }
  void Take(std::size_t size);
  // After the last chunk: fails when the bytes stop short of the size or
  // their digest differs.
  void End();

 private:
  [[noreturn]] void Damaged(const std::string& how) const;

  const ContentSummary& recorded_;
  const std::string what_;
  const ChunkSink& sink_;
  ParallelSha256 digest_{kChunkSize};
  std::uint8_t* buffer_ = nullptr;  // the one Buffer gave last
  std::uint64_t total_ = 0;
  std::int64_t next_seq_ = 0;
};

}  // namespace labdocs::labdoc
