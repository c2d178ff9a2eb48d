#include "labdoc/server_storage.h"

#include <algorithm>
#include <vector>

#include "labdoc/owner_lock.h"

namespace labdocs::labdoc {
namespace {

// Whether the connection of an older version's token is still there. Made
// when first asked, not by a static initialiser: the library is loaded for
// every plug-in call, and most never ask.
const std::string& ConnectionAliveSql() {
  static const std::string sql = "SELECT 1 FROM pg_stat_activity WHERE " + ConnectionTokenOf("") + " = ?";
  return sql;
}

class ServerChunkWriter : public ContentStorage::ChunkWriter {
 public:
  ServerChunkWriter(rt::DataSession& session, std::int64_t content_id) : session_(session), content_id_(content_id) {}

  void Insert(std::int64_t seq, const std::uint8_t* data, std::size_t size) override {
    session_.ExecuteBound("INSERT INTO DB_FILE_CHUNK(CONTENT_ID, SEQ, DATA) VALUES(?, ?, ?)",
                          {content_id_, seq, std::vector<std::uint8_t>(data, data + size)});
  }

 private:
  rt::DataSession& session_;
  const std::int64_t content_id_;
};

class ServerStorage final : public ContentStorage {
 public:
  explicit ServerStorage(rt::DataSession& session) : ContentStorage(session) {}

  void BeginContentRead() override { Session().ExecuteBound("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ", {}); }

  // The chunks' places and lengths first, then each chunk's bytes by a
  // statement of its own, so one chunk at a time is in memory.
  void ReadChunks(std::int64_t content_id, const ContentSummary& recorded, const std::string& what,
                  const ChunkSink& sink) override {
    const rt::RowSet places = Session().QueryBound(
        "SELECT SEQ, length(DATA) FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? ORDER BY SEQ", {content_id});
    ChunkCheck check(recorded, what, sink);
    for (const std::vector<rt::Value>& place : places.rows) {
      const std::int64_t seq = std::get<std::int64_t>(place[0]);
      const auto length = static_cast<std::uint64_t>(std::get<std::int64_t>(place[1]));
      check.Begin(seq, length);
      const std::optional<std::vector<std::uint8_t>> bytes =
          Session().QueryBytes("SELECT DATA FROM DB_FILE_CHUNK WHERE CONTENT_ID = ? AND SEQ = ?", {content_id, seq});
      if (!bytes || bytes->size() != length) check.NotBytes();
      for (std::size_t offset = 0; offset < bytes->size();) {
        const std::size_t n = std::min(kChunkSize, bytes->size() - offset);
        std::copy_n(bytes->begin() + static_cast<std::ptrdiff_t>(offset), n, check.Buffer());
        check.Take(n);
        offset += n;
      }
    }
    check.End();
  }

  void RemoveChunks(std::int64_t content_id) override {
    Session().ExecuteBound("DELETE FROM DB_FILE_CHUNK WHERE CONTENT_ID = ?", {content_id});
  }

  bool OwnersHoldKeys() const override { return true; }
  const std::string& OwnerFolder() const override { return no_folder_; }

  bool OwnerHasEnded(std::string_view token, rt::FileLock&) override {
    if (!IsServerToken(token)) return false;
    try {
      if (const std::optional<std::int64_t> key = ServerKeyOf(token)) {
        const std::optional<bool> held = Session().LivenessKeyHeld(*key);
        return held.has_value() && !*held;
      }
      return Session().QueryBound(ConnectionAliveSql(), {std::string(token)}).rows.empty();
    } catch (const rt::EDatabaseError&) {
      return false;
    }
  }

  void GiveBackFreePages(OldFile) noexcept override {}

 protected:
  // A chunk's removal goes in the same transaction as its content's: no
  // chunk is left under a number that is given out again.
  std::unique_ptr<ChunkWriter> StartChunks(std::int64_t content_id) override {
    return std::make_unique<ServerChunkWriter>(Session(), content_id);
  }

 private:
  const std::string no_folder_;
};

}  // namespace

std::unique_ptr<ContentStorage> MakeServerStorage(rt::DataSession& session) {
  return std::make_unique<ServerStorage>(session);
}

}  // namespace labdocs::labdoc
