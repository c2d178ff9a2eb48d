#include "labdoc/random_token.h"

#include <cstdint>
#include <random>

namespace labdocs::labdoc {

std::string RandomToken() {
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  std::uint64_t value = generator();
  for (std::size_t i = 0; i < kTokenLength; ++i, value >>= 4) token.push_back(kHex[value & 0x0F]);
  return token;
}

bool IsToken(std::string_view text) {
  if (text.size() != kTokenLength) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace labdocs::labdoc
