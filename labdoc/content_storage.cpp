#include "labdoc/content_storage.h"

#include <algorithm>
#include <vector>

#include "labdoc/local_file.h"
#include "labdoc/server_storage.h"
#include "labdoc/sqlite_storage.h"

namespace labdocs::labdoc {

ContentSummary ContentStorage::WriteChunks(std::int64_t content_id, InputFile& source) {
  // Deferred: on SQLite only the content file is written, and only its lock
  // is taken.
  constexpr auto kKind = rt::Transaction::Kind::Deferred;
  // Outside the try: a failure is told before anything else runs on the
  // connection (the transaction's rollback).
  std::unique_ptr<rt::Transaction> transaction;
  std::unique_ptr<ChunkWriter> writer;
  try {
    transaction = std::make_unique<rt::Transaction>(session_, kKind);
    writer = StartChunks(content_id);
    ParallelSha256 digest(kChunkSize);
    ContentSummary summary;
    for (std::int64_t seq = 0;; ++seq) {
      std::uint8_t* buffer = digest.Next();
      const std::size_t n = source.Read(buffer, kChunkSize);
      if (n == 0) break;
      digest.Submit(n);
      summary.size += n;
      if (summary.size > source.SizeAtOpening()) break;  // it grew: refused below
      writer->Insert(seq, buffer, n);
      if (n < kChunkSize) break;  // the end of the file
      if ((seq + 1) % kChunksPerTransaction == 0) {
        transaction->Commit();
        transaction = std::make_unique<rt::Transaction>(session_, kKind);
      }
    }
    if (summary.size != source.SizeAtOpening())
      throw rt::Exception("文件 " + source.Path() + " 在读取时发生了变化(打开时 " +
                          std::to_string(source.SizeAtOpening()) + " 字节, 读到 " + std::to_string(summary.size) +
                          " 字节)");
    summary.sha256 = digest.HexDigest();
    transaction->Commit();
    return summary;
  } catch (const rt::EDatabaseError& error) {
    if (std::optional<std::string> no_room = NoRoomMessage(error)) throw rt::EDatabaseError(*no_room);
    throw;
  }
}

void ContentStorage::CopyChunks(std::int64_t content_id, const std::function<void(const ChunkSink&)>& read) {
  constexpr auto kKind = rt::Transaction::Kind::Deferred;
  std::unique_ptr<rt::Transaction> transaction;
  try {
    transaction = std::make_unique<rt::Transaction>(session_, kKind);
    const std::unique_ptr<ChunkWriter> writer = StartChunks(content_id);
    std::vector<std::uint8_t> chunk;
    chunk.reserve(kChunkSize);
    std::int64_t seq = 0;
    const auto insert = [&] {
      writer->Insert(seq, chunk.data(), chunk.size());
      chunk.clear();
      if (++seq % kChunksPerTransaction == 0) {
        transaction->Commit();
        transaction = std::make_unique<rt::Transaction>(session_, kKind);
      }
    };
    read([&](const std::uint8_t* data, std::size_t size) {
      while (size > 0) {
        const std::size_t n = std::min(size, kChunkSize - chunk.size());
        chunk.insert(chunk.end(), data, data + n);
        data += n;
        size -= n;
        if (chunk.size() == kChunkSize) insert();
      }
    });
    if (!chunk.empty()) insert();
    transaction->Commit();
  } catch (const rt::EDatabaseError& error) {
    if (std::optional<std::string> no_room = NoRoomMessage(error)) throw rt::EDatabaseError(*no_room);
    throw;
  }
}

std::unique_ptr<ContentStorage> MakeContentStorage(rt::DataSession& session) {
  std::unique_ptr<ContentStorage> storage;
  switch (session.Kind()) {
    case rt::Engine::Sqlite: storage = MakeSqliteStorage(session); break;
    case rt::Engine::Postgres: storage = MakeServerStorage(session); break;
  }
  if (!storage) throw rt::EDatabaseError("文档库不认识数据库 " + session.Shown() + " 的种类");
  storage->Ready();
  return storage;
}

}  // namespace labdocs::labdoc
