#include "labdoc/cache_folder.h"

#include <random>
#include <vector>

#include "labdoc/content_chunks.h"
#include "labdoc/sha256.h"
#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace labdocs::labdoc {
namespace {

// A name no other fetch, in this process or another, picks at the same time.
std::string TemporaryName() {
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }()};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = "~labdoc-";
  std::uint64_t value = generator();
  for (int i = 0; i < 16; ++i, value >>= 4) name.push_back(kHex[value & 0x0F]);
  return name + ".tmp";
}

}  // namespace

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
  file_.emplace(temporary_);
}

AtomicFile::~AtomicFile() {
  if (placed_) return;
  file_.reset();
  RemoveFileQuietly(temporary_);
}

void AtomicFile::PutInPlace() {
  file_->Close();
  if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw rt::Exception("无法将取出的文件放到 " + target_ + " (错误 " + std::to_string(GetLastError()) + ")");
  placed_ = true;
}

}  // namespace labdocs::labdoc
