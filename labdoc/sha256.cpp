#include "labdoc/sha256.h"

#include <algorithm>
#include <array>

#include "runtime/errors.h"

namespace labdocs::labdoc {

std::string Sha256::HexDigest() {
  if (finished_) throw rt::Exception("SHA-256 摘要已经结束");
  const std::array<std::uint8_t, 32> digest = Finish();
  finished_ = true;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    hex.push_back(kHex[byte >> 4]);
    hex.push_back(kHex[byte & 0x0F]);
  }
  return hex;
}

namespace {

std::vector<std::unique_ptr<std::uint8_t[]>> UninitialisedBuffers(std::size_t count, std::size_t size) {
  std::vector<std::unique_ptr<std::uint8_t[]>> buffers;
  for (std::size_t i = 0; i < count; ++i) buffers.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(size));
  return buffers;
}

}  // namespace

ParallelSha256::ParallelSha256(std::size_t piece_size, std::size_t depth)
    : piece_size_(piece_size), buffers_(UninitialisedBuffers(depth + 1, piece_size)), worker_([this] { Run(); }) {}

ParallelSha256::~ParallelSha256() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void ParallelSha256::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and nothing in hand
    const Piece piece = queue_.front();
    lock.unlock();
    std::exception_ptr error;
    try {
      sha_.Update(buffers_[piece.buffer].get(), piece.size);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && !error_) error_ = error;
    queue_.pop_front();
    changed_.notify_all();
  }
}

template <class Done>
void ParallelSha256::Wait(std::unique_lock<std::mutex>& lock, Done done) {
  changed_.wait(lock, done);
  if (error_) std::rethrow_exception(error_);
}

std::uint8_t* ParallelSha256::Next() {
  std::unique_lock lock(mutex_);
  // The oldest buffer: free once no waiting piece is in it.
  Wait(lock, [this] {
    return std::none_of(queue_.begin(), queue_.end(), [this](const Piece& piece) { return piece.buffer == next_; });
  });
  return buffers_[next_].get();
}

void ParallelSha256::Submit(std::size_t size) {
  std::unique_lock lock(mutex_);
  if (error_) std::rethrow_exception(error_);
  queue_.push_back({next_, size});
  next_ = (next_ + 1) % buffers_.size();
  lock.unlock();
  changed_.notify_all();
}

std::string ParallelSha256::HexDigest() {
  std::unique_lock lock(mutex_);
  Wait(lock, [this] { return queue_.empty(); });
  return sha_.HexDigest();
}

}  // namespace labdocs::labdoc
