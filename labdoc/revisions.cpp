#include "labdoc/revisions.h"

#include <vector>

#include "runtime/data/datetime_text.h"
#include "runtime/file_lock.h"
#include "runtime/services/environment.h"

namespace labdocs::labdoc {
namespace {

std::string TextOf(const rt::Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? *text : std::string();
}

}  // namespace

std::string Who(const rt::Value& user, const rt::Value& host) {
  const std::string name = TextOf(user).empty() ? std::string("(未知用户)") : TextOf(user);
  return TextOf(host).empty() ? name : name + "(" + TextOf(host) + ")";
}

std::string When(const rt::Value& time) {
  const auto* stamp = std::get_if<rt::DateTime>(&time);
  // To the second: the milliseconds say nothing to a person.
  return stamp != nullptr ? rt::datetime::ToText(*stamp).substr(0, 19) : std::string("(时间不详)");
}

std::string Revisions::Begin(ContentStorage& storage, std::int32_t doc_id) {
  std::unique_ptr<OwnerLock> owner;
  std::string own_token;
  if (auto it = mine_.find(doc_id); it != mine_.end()) {
    own_token = it->second->Token();
  } else {
    owner = std::make_unique<OwnerLock>(storage);
    own_token = owner->Token();
  }
  try {
    std::string others = RecordAndFindOthers(storage, doc_id, own_token, owner != nullptr);
    if (owner != nullptr && !own_token.empty()) mine_[doc_id] = std::move(owner);
    return others;
  } catch (...) {
    if (owner != nullptr) owner->Drop(storage.Session());
    throw;
  }
}

std::string Revisions::RecordAndFindOthers(ContentStorage& storage, std::int32_t doc_id, const std::string& own_token,
                                           bool record) {
  rt::DataSession& db = storage.Session();
  std::string others;
  std::vector<rt::FileLock> ended;  // held until their rows are gone
  rt::Transaction transaction(db, rt::Transaction::Kind::Immediate);
  const rt::RowSet rows =
      db.QueryBound("SELECT OWNER, USERNAME, HOSTNAME, SINCE FROM DB_FILE_REVISING WHERE LABDOC_ID = ? ORDER BY SINCE",
                    {std::int64_t{doc_id}});
  for (const std::vector<rt::Value>& row : rows.rows) {
    const std::string token = TextOf(row[0]);
    if (token == own_token) continue;
    rt::FileLock lock;
    if (storage.OwnerHasEnded(token, lock)) {
      db.ExecuteBound("DELETE FROM DB_FILE_REVISING WHERE OWNER = ?", {token});
      if (lock.Holds()) ended.push_back(std::move(lock));
      continue;
    }
    others += Who(row[1], row[2]) + " 自 " + When(row[3]) + " 起正在修改此文档\n";
  }
  if (record && !own_token.empty()) {
    const rt::HostEnvironment& environment = rt::Environment();
    db.ExecuteBound(
        "INSERT INTO DB_FILE_REVISING(OWNER, LABDOC_ID, HOSTNAME, USERID, USERNAME, SINCE) VALUES(?, ?, ?, ?, ?, ?)",
        {own_token, std::int64_t{doc_id}, environment.computer_name, environment.user_id, environment.user_name,
         rt::datetime::NowText()});
  }
  transaction.Commit();
  for (rt::FileLock& lock : ended) lock.RemoveFile();
  return others;
}

std::string Revisions::TokenOf(std::int32_t doc_id) const {
  const auto it = mine_.find(doc_id);
  return it != mine_.end() ? it->second->Token() : std::string();
}

void Revisions::End(ContentStorage& storage, std::int32_t doc_id) noexcept {
  const auto it = mine_.find(doc_id);
  if (it == mine_.end()) return;
  rt::DataSession& db = storage.Session();
  try {
    db.ExecuteBound("DELETE FROM DB_FILE_REVISING WHERE OWNER = ? AND LABDOC_ID = ?",
                    {it->second->Token(), std::int64_t{doc_id}});
  } catch (const rt::Exception&) {
    // Left to whoever finds the row once its owner has ended.
  }
  it->second->Drop(db);
  mine_.erase(it);
}

void Revisions::EndAll(ContentStorage& storage) noexcept {
  while (!mine_.empty()) End(storage, mine_.begin()->first);
}

}  // namespace labdocs::labdoc
