// SHA-256 digests of stored contents, computed piece by piece as the content
// streams past, by the system's own hash functions: OpenSSL's EVP interface
// (sha256_posix.cpp), the CNG functions of bcrypt.dll on Windows
// (sha256_win32.cpp).
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
// of the bytes it is given: each piece is hashed while the caller goes on
// with its input and output. The caller keeps a piece's bytes unchanged
// until its next call (two buffers used in turn suffice). The object must be
// destroyed before the buffers it was given.
class ParallelSha256 {
 public:
  // Throws rt::Exception (or std::system_error) when it cannot start.
  ParallelSha256();
  // Finishes the piece in hand, then stops the thread.
  ~ParallelSha256();
  ParallelSha256(const ParallelSha256&) = delete;
  ParallelSha256& operator=(const ParallelSha256&) = delete;

  // Waits until the previous piece is hashed, then hands over this one.
  void Update(const std::uint8_t* data, std::size_t size);
  // Waits for the last piece; the digest as Sha256::HexDigest gives it.
  std::string HexDigest();

 private:
  void Run();
  // Waits until no piece is in hand and raises an error of the thread's.
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  Sha256 sha_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool pending_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread worker_;
};

}  // namespace labdocs::labdoc
