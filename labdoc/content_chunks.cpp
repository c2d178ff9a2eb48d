#include "labdoc/content_chunks.h"

#include <sqlite3.h>

#include <vector>

#include "labdoc/local_file.h"
#include "labdoc/sha256.h"
#include "runtime/data/sqlite_util.h"

namespace labdocs::labdoc {

ContentSummary WriteChunks(sqlite3* db, std::int64_t content_id, InputFile& source) {
  constexpr const char* kInsert = "INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)";
  rt::sqlite::StatementPtr insert = rt::sqlite::Prepare(db, kInsert);
  std::vector<std::uint8_t> buffer(kChunkSize);
  Sha256 digest;
  ContentSummary summary;
  for (std::int64_t seq = 0;; ++seq) {
    const std::size_t n = source.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    digest.Update(buffer.data(), n);
    summary.size += n;
    if (summary.size > source.SizeAtOpening()) break;  // it grew: refused below
    if (sqlite3_bind_int64(insert.get(), 1, content_id) != SQLITE_OK ||
        sqlite3_bind_int64(insert.get(), 2, seq) != SQLITE_OK ||
        sqlite3_bind_blob64(insert.get(), 3, buffer.data(), n, SQLITE_STATIC) != SQLITE_OK ||
        sqlite3_step(insert.get()) != SQLITE_DONE) {
      rt::sqlite::ThrowError(db, kInsert);
    }
    sqlite3_reset(insert.get());
    if (n < buffer.size()) break;  // the end of the file
  }
  if (summary.size != source.SizeAtOpening())
    throw rt::Exception("文件 " + source.Path() + " 在读取时发生了变化(打开时 " +
                        std::to_string(source.SizeAtOpening()) + " 字节, 读到 " + std::to_string(summary.size) +
                        " 字节)");
  summary.sha256 = digest.HexDigest();
  return summary;
}

void ReadChunks(sqlite3* db, std::int64_t content_id, const ContentSummary& recorded, const std::string& what,
                const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  constexpr const char* kSelect = "SELECT SEQ, DATA FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ";
  rt::sqlite::StatementPtr select = rt::sqlite::Prepare(db, kSelect);
  if (sqlite3_bind_int64(select.get(), 1, content_id) != SQLITE_OK) rt::sqlite::ThrowError(db, kSelect);
  Sha256 digest;
  std::uint64_t total = 0;
  std::int64_t expected_seq = 0;
  int rc;
  while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
    if (sqlite3_column_int64(select.get(), 0) != expected_seq++)
      throw EDamagedContent(what + " 的存储内容已损坏: 缺少第 " + std::to_string(expected_seq - 1) + " 块");
    const void* data = sqlite3_column_blob(select.get(), 1);
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(select.get(), 1));
    if (data == nullptr && size > 0) rt::sqlite::ThrowError(db, kSelect);  // out of memory
    total += size;
    if (total > recorded.size) throw EDamagedContent(what + " 的存储内容已损坏: 超出记录的大小");
    digest.Update(data, size);
    sink(static_cast<const std::uint8_t*>(data), size);
  }
  if (rc != SQLITE_DONE) rt::sqlite::ThrowError(db, kSelect);
  if (total != recorded.size) throw EDamagedContent(what + " 的存储内容已损坏: 比记录的大小短");
  if (digest.HexDigest() != recorded.sha256)
    throw EDamagedContent(what + " 的存储内容已损坏: SHA-256 校验值不符");
}

}  // namespace labdocs::labdoc
