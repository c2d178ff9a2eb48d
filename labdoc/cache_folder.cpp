#include "labdoc/cache_folder.h"

#include <chrono>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "labdoc/abandoned_files.h"
#include "labdoc/content_chunks.h"
#include "labdoc/random_token.h"
#include "labdoc/sha256.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/file_name.h"
#include "runtime/platform/sleep.h"

namespace labdocs::labdoc {
namespace {

// The prefix is one that no stored file name can have (rt::SafeFileName).
constexpr std::string_view kTemporaryPrefix = rt::kTemporaryFilePrefix;
constexpr std::string_view kTemporarySuffix = ".tmp";

// A name no other fetch, in this process or another, picks at the same time.
std::string TemporaryName() { return std::string(kTemporaryPrefix) + RandomToken() + std::string(kTemporarySuffix); }

}  // namespace

bool IsTemporaryName(std::string_view name) {
  return name.size() == kTemporaryPrefix.size() + kTokenLength + kTemporarySuffix.size() &&
         name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix &&
         name.substr(name.size() - kTemporarySuffix.size()) == kTemporarySuffix &&
         IsToken(name.substr(kTemporaryPrefix.size(), kTokenLength));
}

std::size_t RemoveAbandonedTemporaryFiles(const std::string& ansi_dir) noexcept {
  return RemoveAbandonedFiles(ansi_dir, "~labdoc-*.tmp", &IsTemporaryName);
}

CacheFolder::CacheFolder(std::string_view ansi_dir) : dir_(rt::IncludeTrailingPathDelimiter(ansi_dir)) {}

namespace {

// Hashes a file opened for reading, up to `limit` bytes: nothing when it is
// longer.
std::optional<ContentSummary> Summarize(InputFile& file, std::uint64_t limit) {
  // Pieces are hashed while the next ones are read.
  ParallelSha256 digest(kChunkSize);
  ContentSummary summary;
  for (;;) {
    const std::size_t n = file.Read(digest.Next(), kChunkSize);
    if (n == 0) break;
    summary.size += n;
    if (summary.size > limit) return std::nullopt;
    digest.Submit(n);
  }
  summary.sha256 = digest.HexDigest();
  return summary;
}

}  // namespace

bool HoldsContent(const std::string& ansi_path, std::uint64_t size, std::string_view sha256) {
  if (Examine(ansi_path) != FileKind::Regular) return false;
  InputFile file(ansi_path);
  if (file.SizeAtOpening() != size) return false;
  const std::optional<ContentSummary> summary = Summarize(file, size);
  return summary && summary->size == size && summary->sha256 == sha256;
}

std::optional<ContentSummary> SummaryOf(const std::string& ansi_path) {
  if (Examine(ansi_path) != FileKind::Regular) return std::nullopt;
  InputFile file(ansi_path);
  return Summarize(file, std::numeric_limits<std::uint64_t>::max());
}

AtomicFile::AtomicFile(std::string ansi_target)
    : target_(std::move(ansi_target)), temporary_(rt::ExtractFilePath(target_) + TemporaryName()) {
  // Locked while it is written: the sweep of abandoned temporary files
  // leaves it alone.
  if (lock_.Create(temporary_) != rt::FileLock::Outcome::Taken)
    throw rt::Exception("无法创建文件 " + temporary_ + " (错误 " + std::to_string(GetLastError()) + ")");
  try {
    file_.emplace(temporary_);
  } catch (...) {
    lock_.RemoveFile();
    throw;
  }
}

AtomicFile::~AtomicFile() {
  if (placed_) return;
  file_.reset();
  lock_.RemoveFile();
}

void AtomicFile::PutInPlace(const ContentSummary& content) {
  file_->Close();
  // Windows does not replace a file that another process has open: a
  // reader is given a few seconds to finish, unless the file already is
  // what would replace it.
  constexpr int kAttempts = 50;
  for (int attempt = 1; !MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING); ++attempt) {
    const DWORD error = GetLastError();
    const bool in_use = (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
                        Examine(target_) == FileKind::Regular;
    if (in_use && HoldsContent(target_, content.size, content.sha256)) {
      lock_.RemoveFile();
      break;
    }
    if (attempt == kAttempts || !in_use)
      throw rt::Exception("无法将取出的文件放到 " + target_ + " (错误 " + std::to_string(error) + ")");
    rt::platform::SleepFor(std::chrono::milliseconds(100));
  }
  placed_ = true;
  lock_.Release();
}

}  // namespace labdocs::labdoc
