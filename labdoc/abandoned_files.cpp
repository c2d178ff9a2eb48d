#include "labdoc/abandoned_files.h"

#include <memory>
#include <vector>

#include "runtime/file_lock.h"
#include "runtime/platform/platform.h"

namespace labdocs::labdoc {
namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct SearchCloser {
  void operator()(HANDLE search) const {
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
};

}  // namespace

std::size_t RemoveAbandonedFiles(const std::string& ansi_dir, const char* pattern,
                                 bool (*is_own_name)(std::string_view name)) noexcept {
  try {
    FILETIME now_time;
    GetSystemTimeAsFileTime(&now_time);
    const std::uint64_t now = Ticks(now_time);
    constexpr auto kAge = static_cast<std::uint64_t>(kAbandonedAfterSeconds) * 10'000'000;  // in FILETIME ticks
    std::vector<std::string> candidates;
    WIN32_FIND_DATAA data;
    const std::unique_ptr<void, SearchCloser> search(FindFirstFileA((ansi_dir + pattern).c_str(), &data));
    if (search.get() == INVALID_HANDLE_VALUE) return 0;
    do {
      const std::uint64_t written = Ticks(data.ftLastWriteTime);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && is_own_name(data.cFileName) && written <= now &&
          now - written >= kAge)
        candidates.emplace_back(data.cFileName);
    } while (FindNextFileA(search.get(), &data));

    std::size_t removed = 0;
    for (const std::string& name : candidates) {
      rt::FileLock lock;
      if (lock.TryTake(ansi_dir + name) == rt::FileLock::Outcome::Taken && lock.RemoveFile()) ++removed;
    }
    return removed;
  } catch (...) {
    return 0;
  }
}

}  // namespace labdocs::labdoc
