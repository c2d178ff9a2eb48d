#include "labdoc/sha256.h"

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

ParallelSha256::ParallelSha256() : worker_([this] { Run(); }) {}

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
    changed_.wait(lock, [this] { return pending_ || stopping_; });
    if (!pending_) return;  // stopping, and nothing in hand
    const std::uint8_t* data = data_;
    const std::size_t size = size_;
    lock.unlock();
    std::exception_ptr error;
    try {
      sha_.Update(data, size);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && !error_) error_ = error;
    pending_ = false;
    changed_.notify_all();
  }
}

void ParallelSha256::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !pending_; });
  if (error_) std::rethrow_exception(error_);
}

void ParallelSha256::Update(const std::uint8_t* data, std::size_t size) {
  std::unique_lock lock(mutex_);
  WaitIdle(lock);
  data_ = data;
  size_ = size;
  pending_ = true;
  lock.unlock();
  changed_.notify_all();
}

std::string ParallelSha256::HexDigest() {
  std::unique_lock lock(mutex_);
  WaitIdle(lock);
  return sha_.HexDigest();
}

}  // namespace labdocs::labdoc
