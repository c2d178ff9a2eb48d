// SHA-256 by OpenSSL's EVP interface.
#include <openssl/evp.h>

#include "labdoc/sha256.h"
#include "runtime/errors.h"

namespace labdocs::labdoc {

struct Sha256::Context {
  EVP_MD_CTX* evp;
};

void Sha256::ContextDeleter::operator()(Context* context) const {
  EVP_MD_CTX_free(context->evp);
  delete context;
}

Sha256::Sha256() : context_(new Context{EVP_MD_CTX_new()}) {
  if (context_->evp == nullptr || EVP_DigestInit_ex(context_->evp, EVP_sha256(), nullptr) != 1)
    throw rt::Exception("SHA-256 摘要无法初始化");
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (finished_) throw rt::Exception("SHA-256 摘要已经结束");
  if (size > 0 && EVP_DigestUpdate(context_->evp, data, size) != 1) throw rt::Exception("SHA-256 摘要计算失败");
}

std::array<std::uint8_t, 32> Sha256::Finish() {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->evp, digest.data(), &length) != 1 || length != digest.size())
    throw rt::Exception("SHA-256 摘要计算失败");
  return digest;
}

}  // namespace labdocs::labdoc
