// SHA-256 digests of stored contents, computed piece by piece as the content
// streams past, by the system's own hash functions: OpenSSL's EVP interface
// (sha256_posix.cpp), the CNG functions of bcrypt.dll on Windows
// (sha256_win32.cpp).
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace labdocs::labdoc {

class Sha256 {
 public:
  // Throws rt::Exception when the digest cannot be set up.
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given so far, as 64 lower-case hexadecimal
  // digits. The object takes no more data afterwards.
  std::string HexDigest();

 private:
  // The system's part: the final digest's 32 bytes.
  std::array<std::uint8_t, 32> Finish();

  // The system's hash object, defined by each system's file.
  struct Context;
  struct ContextDeleter {
    void operator()(Context* context) const;
  };
  std::unique_ptr<Context, ContextDeleter> context_;
  bool finished_ = false;
};

// A digest computed on a thread of its own, beside the reading and writing
// of the bytes it is given. It owns the buffers the pieces are read into:
// up to `depth` pieces wait to be hashed while the caller fills the next
// one, so a hashing thread that falls behind for a moment (a busy machine)
// does not stall every hand-over.
class ParallelSha256 {
 public:
  // Buffers of piece_size bytes, depth + 1 of them. Throws rt::Exception
  // (or std::system_error) when it cannot start.
  explicit ParallelSha256(std::size_t piece_size, std::size_t depth = 2);
  // Finishes the pieces in hand, then stops the thread.
  ~ParallelSha256();
  ParallelSha256(const ParallelSha256&) = delete;
  ParallelSha256& operator=(const ParallelSha256&) = delete;

  std::size_t PieceSize() const { return piece_size_; }
  // The buffer for the next piece, once the piece it held before is hashed.
  std::uint8_t* Next();
  // Hands the first `size` bytes of the buffer that Next gave to the thread.
  // They are read until the buffer comes back from Next, depth calls later:
  // the caller may go on reading them (to write them elsewhere) until it
  // calls Next again. Raises an error of the thread's.
  void Submit(std::size_t size);
  // Waits for the pieces in hand; the digest as Sha256::HexDigest gives it.
  std::string HexDigest();

 private:
  struct Piece {
    std::size_t buffer;
    std::size_t size;
  };

  void Run();
  // Waits until `done` holds and raises an error of the thread's.
  template <class Done>
  void Wait(std::unique_lock<std::mutex>& lock, Done done);

  const std::size_t piece_size_;
  // Left uninitialised: a page of a buffer is touched only when a piece is
  // read into it (a small file touches a small part of one buffer).
  std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
  std::size_t next_ = 0;  // the buffer Next gives
  Sha256 sha_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;  // submitted, not hashed yet; the front is being hashed
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread worker_;  // last: it starts once everything else is there
};

}  // namespace labdocs::labdoc
