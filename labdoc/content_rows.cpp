#include "labdoc/content_rows.h"

#include <string_view>

namespace labdocs::labdoc {
namespace {

using rt::Value;

std::int64_t IntegerOf(const Value& value) {
  const auto* integer = std::get_if<std::int64_t>(&value);
  return integer != nullptr ? *integer : 0;
}

std::string TextOf(const Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

// The columns every query below selects, in this order.
constexpr std::string_view kColumns =
    "SELECT s.FILE_NAME, c.CONTENT_ID, c.FILE_SIZE, c.SHA256, c.STOREDTIME, c.STOREDHOST, c.STOREDUSER,"
    " CASE WHEN c.REPLACEDTIME IS NULL THEN 1 ELSE 0 END, c.FILE_NAME FROM DB_FILE_STORAGE s"
    " JOIN DB_FILE_CONTENT c ON c.LABDOC_ID = s.LABDOC_ID AND c.PENDING = 0";

StoredContent ContentOf(const std::vector<Value>& row, std::int64_t doc_id) {
  StoredContent content;
  content.file_name = TextOf(row[0]);
  content.content_id = IntegerOf(row[1]);
  const std::int64_t size = IntegerOf(row[2]);
  if (size < 0) throw EDamagedContent(Document(doc_id) + " 的存储记录已损坏: 大小为负数");
  content.summary.size = static_cast<std::uint64_t>(size);
  // Digests are written in lower case; the column compares without regard
  // to case, and so does this.
  for (char c : TextOf(row[3]))
    content.summary.sha256.push_back(c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c);
  if (content.summary.sha256.size() != 64)
    throw EDamagedContent(Document(doc_id) + " 的存储记录已损坏: 没有有效的 SHA-256 校验值, 内容无法核对");
  content.stored_time = row[4];
  content.stored_host = row[5];
  content.stored_user = row[6];
  content.current = IntegerOf(row[7]) == 1;
  content.source_name = TextOf(row[8]);
  return content;
}

}  // namespace

std::string Document(std::int64_t doc_id) { return "文档 " + std::to_string(doc_id); }

bool DocumentExists(rt::DataSession& db, std::int64_t doc_id) {
  return !db.QueryBound("SELECT 1 FROM DB_FILE_STORAGE WHERE LABDOC_ID = ?", {doc_id}).rows.empty();
}

std::optional<StoredContent> FindCurrentContent(rt::DataSession& db, std::int64_t doc_id) {
  const rt::RowSet rows = db.QueryBound(std::string(kColumns) + " AND c.REPLACEDTIME IS NULL WHERE s.LABDOC_ID = ?",
                                        {doc_id});
  if (rows.rows.empty()) return std::nullopt;
  return ContentOf(rows.rows.front(), doc_id);
}

std::vector<StoredContent> ListContents(rt::DataSession& db, std::int64_t doc_id) {
  // The order they became current in: a content's STOREDTIME is taken in
  // the transaction that makes it current; the number breaks a tie.
  const rt::RowSet rows =
      db.QueryBound(std::string(kColumns) + " WHERE s.LABDOC_ID = ? ORDER BY c.STOREDTIME, c.CONTENT_ID", {doc_id});
  std::vector<StoredContent> contents;
  contents.reserve(rows.rows.size());
  for (const std::vector<Value>& row : rows.rows) contents.push_back(ContentOf(row, doc_id));
  return contents;
}

}  // namespace labdocs::labdoc
