#include "labdoc/cache_folder.h"

#include <vector>

#include "labdoc/abandoned_files.h"
#include "labdoc/content_chunks.h"
#include "labdoc/random_token.h"
#include "labdoc/sha256.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

constexpr std::string_view kTemporaryPrefix = "~labdoc-";
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

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (std::size_t i = 0; i < name.size(); i += rt::gbk::CharLength(name, i)) {
    if (rt::gbk::CharLength(name, i) == 2) continue;
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || rt::gbk::IsLeadByte(c)) return false;  // a stray lead byte is no character
    if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return true;
}

CacheFolder::CacheFolder(std::string_view ansi_dir) : dir_(rt::IncludeTrailingPathDelimiter(ansi_dir)) {}

bool HoldsContent(const std::string& ansi_path, std::uint64_t size, std::string_view sha256) {
  if (Examine(ansi_path) != FileKind::Regular) return false;
  InputFile file(ansi_path);
  if (file.SizeAtOpening() != size) return false;
  // Two buffers in turn: one is hashed while the other is read into.
  std::vector<std::uint8_t> buffers[2] = {std::vector<std::uint8_t>(kChunkSize), std::vector<std::uint8_t>(kChunkSize)};
  ParallelSha256 digest;  // after the buffers: it stops before they go
  std::uint64_t total = 0;
  for (std::size_t turn = 0;; turn ^= 1) {
    const std::size_t n = file.Read(buffers[turn].data(), buffers[turn].size());
    if (n == 0) break;
    total += n;
    if (total > size) return false;
    digest.Update(buffers[turn].data(), n);
  }
  return total == size && digest.HexDigest() == sha256;
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

void AtomicFile::PutInPlace() {
  file_->Close();
  if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw rt::Exception("无法将取出的文件放到 " + target_ + " (错误 " + std::to_string(GetLastError()) + ")");
  placed_ = true;
  lock_.Release();
}

}  // namespace labdocs::labdoc
