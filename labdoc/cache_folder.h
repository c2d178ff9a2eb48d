// The folder that documents are fetched into: each document lies there under
// its stored file name. A copy is written beside its place under a temporary
// name and renamed over that place once it is whole and verified, so no
// reader ever sees a half-written file, and two processes fetching the same
// document at once each put a whole copy there, the later replacing the
// earlier. A copy is locked while it is written (rt::FileLock); one that a
// process ending in the middle left behind is removed when a store starts.
// Beside the copies lies the folder's index of them (cache_index.h), under
// a name that neither a copy nor a temporary file can have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "labdoc/content_chunks.h"
#include "labdoc/local_file.h"
#include "runtime/file_lock.h"

namespace labdocs::labdoc {

// True for the name of a copy being written: "~labdoc-", 16 hexadecimal
// digits, ".tmp".
bool IsTemporaryName(std::string_view name);

// Removes the temporary files in a folder (ANSI path ending in a separator)
// that no live process writes (abandoned_files.h); the number removed.
std::size_t RemoveAbandonedTemporaryFiles(const std::string& ansi_dir) noexcept;

class CacheFolder {
 public:
  // The folder's ANSI path; a separator is added when it lacks one.
  explicit CacheFolder(std::string_view ansi_dir);
  const std::string& Dir() const { return dir_; }
  // The path of a plain file name inside the folder.
  std::string PathOf(std::string_view file_name) const { return dir_ + std::string(file_name); }

 private:
  std::string dir_;
};

// True when a regular file at the path has exactly this size and this
// SHA-256 digest (lower-case hexadecimal). The digest is computed only when
// the size matches. Throws rt::Exception when the file exists but cannot be
// read.
bool HoldsContent(const std::string& ansi_path, std::uint64_t size, std::string_view sha256);

// The size and SHA-256 digest of the regular file at the path; nothing when
// there is none. Throws rt::Exception when it cannot be read.
std::optional<ContentSummary> SummaryOf(const std::string& ansi_path);

// A file that appears at its path only whole: written under a temporary name
// in the same folder, then renamed over the path.
class AtomicFile {
 public:
  // Creates and locks the temporary file; throws rt::Exception when it
  // cannot.
  explicit AtomicFile(std::string ansi_target);
  // Removes the temporary file unless it was put in place.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t size) { file_->Write(data, size); }
  // Closes the temporary file and renames it over the target, replacing
  // what is there. Throws rt::Exception when either fails (the temporary
  // file is then removed). When the target cannot be replaced because
  // another process has it open (Windows), a target that already holds
  // `content` (another fetch of the same content put it there) is kept in
  // place of the temporary file.
  void PutInPlace(const ContentSummary& content);
  const std::string& TemporaryPath() const { return temporary_; }
  // Closes the temporary file and keeps it (locked) as a file of its own
  // until the object goes, never put in place: a content read out to be
  // read back. Its path. Throws rt::Exception when closing fails.
  const std::string& CloseToReadBack() {
    file_->Close();
    return temporary_;
  }

 private:
  std::string target_;
  std::string temporary_;
  rt::FileLock lock_;
  std::optional<OutputFile> file_;
  bool placed_ = false;
};

}  // namespace labdocs::labdoc
