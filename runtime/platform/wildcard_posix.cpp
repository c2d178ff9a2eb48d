// Windows file-name patterns on POSIX systems, where FindFirstFileA matches
// the names of a folder itself (on Windows the system does).
#include "runtime/platform/platform.h"

#include <string>
#include <string_view>

#include "runtime/platform/posix_internal.h"
#include "runtime/text/gbk.h"

namespace rt::platform::posix {

bool HasWildcard(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  std::string p = rt::gbk::UpperCase(pattern);
  std::string n = rt::gbk::UpperCase(name);
  std::size_t pi = 0, ni = 0;
  std::size_t star_p = std::string::npos, star_n = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star_p = ++pi;
      star_n = ni;
      continue;
    }
    std::size_t plen = pi < p.size() ? rt::gbk::CharLength(p, pi) : 0;
    std::size_t nlen = rt::gbk::CharLength(n, ni);
    if (pi < p.size() && p[pi] == '?' && plen == 1) {
      pi += 1;
      ni += nlen;
      continue;
    }
    if (pi < p.size() && plen == nlen && p.compare(pi, plen, n, ni, nlen) == 0) {
      pi += plen;
      ni += nlen;
      continue;
    }
    if (star_p == std::string::npos) return false;
    pi = star_p;
    star_n += rt::gbk::CharLength(n, star_n);
    ni = star_n;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace rt::platform::posix
