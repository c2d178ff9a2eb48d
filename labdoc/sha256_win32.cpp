// SHA-256 by the system's CNG functions (bcrypt.dll).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <limits>

#include "labdoc/sha256.h"
#include "runtime/errors.h"

namespace labdocs::labdoc {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

struct Sha256::Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

void Sha256::ContextDeleter::operator()(Context* context) const {
  if (context->hash != nullptr) BCryptDestroyHash(context->hash);
  if (context->algorithm != nullptr) BCryptCloseAlgorithmProvider(context->algorithm, 0);
  delete context;
}

Sha256::Sha256() : context_(new Context) {
  if (!Succeeded(BCryptOpenAlgorithmProvider(&context_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !Succeeded(BCryptCreateHash(context_->algorithm, &context_->hash, nullptr, 0, nullptr, 0, 0)))
    throw rt::Exception("SHA-256 摘要无法初始化");
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (finished_) throw rt::Exception("SHA-256 摘要已经结束");
  // BCryptHashData takes at most a ULONG's worth at a time; the store hands
  // over pieces far smaller, but a caller may not.
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
    if (!Succeeded(BCryptHashData(context_->hash, bytes, piece, 0))) throw rt::Exception("SHA-256 摘要计算失败");
    bytes += piece;
    size -= piece;
  }
}

std::array<std::uint8_t, 32> Sha256::Finish() {
  std::array<std::uint8_t, 32> digest{};
  if (!Succeeded(BCryptFinishHash(context_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
    throw rt::Exception("SHA-256 摘要计算失败");
  return digest;
}

}  // namespace labdocs::labdoc
