#include "labdoc/content_chunks.h"

#include <utility>

namespace labdocs::labdoc {

ChunkCheck::ChunkCheck(const ContentSummary& recorded, std::string what, const ChunkSink& sink)
    : recorded_(recorded), what_(std::move(what)), sink_(sink) {}

void ChunkCheck::Begin(std::int64_t seq, std::uint64_t length) {
  if (seq != next_seq_) Damaged("缺少第 " + std::to_string(next_seq_) + " 块");
  ++next_seq_;
  if (length > recorded_.size - total_) Damaged("超出记录的大小");
  total_ += length;
}

void ChunkCheck::NotBytes() const { Damaged("第 " + std::to_string(next_seq_ - 1) + " 块不是二进制数据"); }

void ChunkCheck::Take(std::size_t size) {
  digest_.Submit(size);
  // The digest reads the buffer meanwhile; it is not written to again
  // before later calls of Buffer.
  sink_(buffer_, size);
}

void ChunkCheck::End() {
  if (total_ != recorded_.size) Damaged("比记录的大小短");
  if (digest_.HexDigest() != recorded_.sha256) Damaged("SHA-256 校验值不符");
}

void ChunkCheck::Damaged(const std::string& how) const { throw EDamagedContent(what_ + " 的存储内容已损坏: " + how); }

}  // namespace labdocs::labdoc
