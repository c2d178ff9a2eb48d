// Files that the store keeps only while some work of a process lasts (the
// temporary copies of fetches, the lock files of pending contents' owners).
// The process holds each one's lock (rt::FileLock) from right after it has
// created the file until it has removed it; a process that ends in the
// middle leaves the file behind, unlocked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace labdocs::labdoc {

// How long (by its last-write time) a file is left alone before its lock is
// tried: a younger one may have just been created by a process that has not
// locked it yet.
inline constexpr std::int64_t kAbandonedAfterSeconds = 60;

// Removes the files of a folder (ANSI path ending in a separator) whose
// names match `pattern` (FindFirstFileA's wildcards) and pass `is_own_name`,
// that are at least kAbandonedAfterSeconds old and whose lock can be taken;
// the number removed. Never throws: a file that cannot be examined or
// removed is left for another time.
std::size_t RemoveAbandonedFiles(const std::string& ansi_dir, const char* pattern,
                                 bool (*is_own_name)(std::string_view name)) noexcept;

}  // namespace labdocs::labdoc
