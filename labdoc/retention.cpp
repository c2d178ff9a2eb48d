#include "labdoc/retention.h"

#include <algorithm>
#include <set>

#include "runtime/data/datetime_text.h"
#include "runtime/file_lock.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

std::optional<std::int64_t> PositiveOf(const rt::Value& value) {
  const auto* number = std::get_if<std::int64_t>(&value);
  if (number == nullptr || *number <= 0) return std::nullopt;
  return *number;
}

std::int64_t IntegerOf(const rt::Value& value) {
  const auto* number = std::get_if<std::int64_t>(&value);
  return number != nullptr ? *number : 0;
}

// The documents whose revisions are left: another owner than `own_token`
// revises them and has not ended.
std::set<std::int64_t> BeingRevised(ContentStorage& storage, std::optional<std::int64_t> doc_id,
                                    std::string_view own_token) {
  std::string sql = "SELECT LABDOC_ID, OWNER FROM DB_FILE_REVISING";
  std::vector<rt::Value> params;
  if (doc_id) {
    sql += " WHERE LABDOC_ID = ?";
    params.emplace_back(*doc_id);
  }
  std::set<std::int64_t> revised;
  for (const std::vector<rt::Value>& row : storage.Session().QueryBound(sql, params).rows) {
    const auto* owner = std::get_if<std::string>(&row[1]);
    const std::int64_t document = IntegerOf(row[0]);
    if (revised.contains(document) || (owner != nullptr && *owner == own_token)) continue;
    // An ended owner's row is no revision; whoever begins one removes it.
    rt::FileLock lock;
    if (owner == nullptr || !storage.OwnerHasEnded(*owner, lock)) revised.insert(document);
  }
  return revised;
}

}  // namespace

Retention ReadRetention(rt::DataSession& db) {
  const rt::RowSet rows = db.QueryBound("SELECT KEEP_LAST, KEEP_DAYS FROM DB_FILE_RETENTION WHERE ID = 1", {});
  if (rows.rows.empty()) return {};
  if (const std::optional<std::int64_t> last = PositiveOf(rows.rows[0][0])) return {Retention::Kind::KeepLast, *last};
  if (const std::optional<std::int64_t> days = PositiveOf(rows.rows[0][1])) return {Retention::Kind::KeepDays, *days};
  return {};
}

void WriteRetention(rt::DataSession& db, const Retention& retention) {
  const rt::Value none;
  const rt::Value count(retention.count);
  db.ExecuteBound("UPDATE DB_FILE_RETENTION SET KEEP_LAST = ?, KEEP_DAYS = ? WHERE ID = 1",
                  {retention.kind == Retention::Kind::KeepLast ? count : none,
                   retention.kind == Retention::Kind::KeepDays ? count : none});
}

std::string RetentionText(const Retention& retention) {
  switch (retention.kind) {
    case Retention::Kind::KeepLast: return "保留最近 " + std::to_string(retention.count) + " 个版本";
    case Retention::Kind::KeepDays: return "保留 " + std::to_string(retention.count) + " 天内的版本";
    case Retention::Kind::KeepAll: break;
  }
  return "保留全部版本";
}

std::string DescribeRetention(rt::DataSession& db) { return RetentionText(ReadRetention(db)); }

std::vector<ExpiredRevision> ExpiredRevisions(ContentStorage& storage, const Retention& retention,
                                              std::optional<std::int64_t> doc_id, std::string_view own_token) {
  if (retention.kind == Retention::Kind::KeepAll) return {};
  const std::string of_document = doc_id ? " AND LABDOC_ID = ?" : "";
  std::string sql;
  std::vector<rt::Value> params;
  if (doc_id) params.emplace_back(*doc_id);
  if (retention.kind == Retention::Kind::KeepLast) {
    // The most recently replaced first; a content's number breaks a tie of
    // times.
    sql = "SELECT CONTENT_ID, LABDOC_ID, FILE_SIZE FROM (SELECT CONTENT_ID, LABDOC_ID, FILE_SIZE, ROW_NUMBER() OVER "
          "(PARTITION BY LABDOC_ID ORDER BY REPLACEDTIME DESC, CONTENT_ID DESC) AS PLACE FROM DB_FILE_CONTENT "
          "WHERE PENDING = 0 AND REPLACEDTIME IS NOT NULL" +
          of_document + ") revisions WHERE PLACE > ? ORDER BY CONTENT_ID";
    params.emplace_back(retention.count);
  } else {
    sql =
        "SELECT CONTENT_ID, LABDOC_ID, FILE_SIZE FROM DB_FILE_CONTENT WHERE PENDING = 0 AND REPLACEDTIME IS NOT NULL" +
        of_document + " AND REPLACEDTIME < ? ORDER BY CONTENT_ID";
    params.emplace_back(rt::datetime::ToText(rt::DateTime{rt::Now().days - static_cast<double>(retention.count)}));
  }
  const rt::RowSet rows = storage.Session().QueryBound(sql, params);
  if (rows.rows.empty()) return {};
  const std::set<std::int64_t> revised = BeingRevised(storage, doc_id, own_token);
  std::vector<ExpiredRevision> expired;
  for (const std::vector<rt::Value>& row : rows.rows) {
    const ExpiredRevision revision{IntegerOf(row[0]), IntegerOf(row[1]),
                                   static_cast<std::uint64_t>(std::max<std::int64_t>(0, IntegerOf(row[2])))};
    if (!revised.contains(revision.labdoc_id)) expired.push_back(revision);
  }
  return expired;
}

Pruned PruneRevisions(ContentStorage& storage, std::optional<std::int64_t> doc_id, std::string_view own_token,
                      OldFile old_file) {
  rt::DataSession& db = storage.Session();
  Pruned pruned;
  // One look without the writer's lock, all there is where every revision
  // is kept.
  if (ReadRetention(db).kind == Retention::Kind::KeepAll) return pruned;
  {
    // The setting, the revisions and their removal in one writing
    // transaction: no store makes another content current meanwhile.
    rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
    const Retention retention = ReadRetention(db);
    for (const ExpiredRevision& revision : ExpiredRevisions(storage, retention, doc_id, own_token)) {
      // Its chunks go by the schema's triggers: on a server in this
      // transaction, on SQLite once it is committed (content_file.h).
      if (db.ExecuteBound(
              "DELETE FROM DB_FILE_CONTENT WHERE CONTENT_ID = ? AND PENDING = 0 AND REPLACEDTIME IS NOT NULL",
              {revision.content_id}) == 0)
        continue;
      ++pruned.contents;
      pruned.bytes += revision.size;
    }
    transaction.Commit();
  }
  if (pruned.contents > 0) storage.GiveBackFreePages(old_file);
  return pruned;
}

}  // namespace labdocs::labdoc
