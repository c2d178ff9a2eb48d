#include "labdoc/owner_lock.h"

#include <sqlite3.h>

#include "labdoc/random_token.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

constexpr std::string_view kOwnerSuffix = ".lock";
constexpr std::string_view kServerPrefix = "pg:";

// The token of this connection, and whether the connection of a token is
// still there.
const std::string kServerSelf = "SELECT " + ServerTokenOf("") + " FROM pg_stat_activity WHERE pid = pg_backend_pid()";
const std::string kServerAlive = "SELECT 1 FROM pg_stat_activity WHERE " + ServerTokenOf("") + " = ?";

std::string OwnerFile(const std::string& folder, std::string_view token) {
  return folder + std::string(token) + std::string(kOwnerSuffix);
}

}  // namespace

std::string OwnerFolder(rt::DataSession& session) {
  // A server's database has no file: its pending contents have no owner to
  // ask and are taken for abandoned after a day.
  rt::Database* sqlite = rt::AsSqlite(session);
  if (sqlite == nullptr) return {};
  rt::Database& db = *sqlite;
  // SQLite's own full path of the file, made when it was opened: the path
  // the caller gave may be relative to a current folder that has changed
  // since.
  // Both are UTF-8 on every system, which is not the native form on Windows.
  const char* full = sqlite3_db_filename(db.Handle(), "main");
  const std::string utf8 = full != nullptr ? full : db.Path();
  if (utf8.empty()) return {};
  return rt::IncludeTrailingPathDelimiter(rt::platform::AnsiPath(rt::platform::Utf8Path(utf8)) + "-labdoc-locks");
}

bool IsOwnerFileName(std::string_view name) {
  return name.size() == kTokenLength + kOwnerSuffix.size() && name.substr(kTokenLength) == kOwnerSuffix &&
         IsToken(name.substr(0, kTokenLength));
}

bool IsServerToken(std::string_view token) { return token.substr(0, kServerPrefix.size()) == kServerPrefix; }

OwnerLock::OwnerLock(rt::DataSession& db) noexcept {
  try {
    if (rt::AsSqlite(db) == nullptr) {
      const rt::RowSet self = db.QueryBound(kServerSelf, {});
      if (!self.rows.empty()) token_ = std::get<std::string>(self.rows[0][0]);
      return;
    }
    folder_ = OwnerFolder(db);
    if (folder_.empty()) return;
    // Another owner that just ended may remove the folder between its making
    // and the file's creation here: then it is made again.
    for (int attempt = 0; attempt < 3 && token_.empty(); ++attempt) {
      if (!rt::ForceDirectories(folder_)) return;
      std::string token = RandomToken();
      if (lock_.Create(OwnerFile(folder_, token)) == rt::FileLock::Outcome::Taken) token_ = std::move(token);
    }
  } catch (...) {
    lock_.Release();
  }
}

void OwnerLock::Drop() noexcept {
  if (token_.empty()) return;
  if (IsServerToken(token_)) {
    token_.clear();  // the connection outlives it
    return;
  }
  lock_.RemoveFile();
  lock_.Release();
  token_.clear();
  // The folder goes with its last owner, so that no folder stays beside a
  // database that nobody stores into (it fails while other owners' files
  // are in it).
  RemoveDirectoryA(folder_.c_str());
}

bool OwnerHasEnded(const std::string& folder, std::string_view token, rt::FileLock& lock) {
  switch (lock.TryTake(OwnerFile(folder, token))) {
    case rt::FileLock::Outcome::Taken:
    case rt::FileLock::Outcome::Missing: return true;
    default: return false;
  }
}

bool OwnerHasEnded(rt::DataSession& db, const std::string& folder, std::string_view token, rt::FileLock& lock) {
  if (IsServerToken(token)) {
    try {
      return db.QueryBound(kServerAlive, {std::string(token)}).rows.empty();
    } catch (const rt::EDatabaseError&) {
      return false;
    }
  }
  return IsToken(token) && !folder.empty() && OwnerHasEnded(folder, token, lock);
}

}  // namespace labdocs::labdoc
