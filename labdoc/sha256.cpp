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

}  // namespace labdocs::labdoc
