// SHA-256 digests of stored contents, computed piece by piece as the content
// streams past, by OpenSSL's EVP interface.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct evp_md_ctx_st;

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
  struct ContextDeleter {
    void operator()(evp_md_ctx_st* context) const;
  };
  std::unique_ptr<evp_md_ctx_st, ContextDeleter> context_;
  bool finished_ = false;
};

}  // namespace labdocs::labdoc
