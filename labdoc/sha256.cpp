#include "labdoc/sha256.h"

#include <openssl/evp.h>

#include "runtime/errors.h"

namespace labdocs::labdoc {

void Sha256::ContextDeleter::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
    throw rt::Exception("SHA-256 摘要无法初始化");
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (finished_) throw rt::Exception("SHA-256 摘要已经结束");
  if (size > 0 && EVP_DigestUpdate(context_.get(), data, size) != 1) throw rt::Exception("SHA-256 摘要计算失败");
}

std::string Sha256::HexDigest() {
  if (finished_) throw rt::Exception("SHA-256 摘要已经结束");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) throw rt::Exception("SHA-256 摘要计算失败");
  finished_ = true;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0x0F]);
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
