#include "labdoc/owner_lock.h"

#include <sqlite3.h>

#include <charconv>
#include <random>

#include "labdoc/random_token.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

constexpr std::string_view kOwnerSuffix = ".lock";
constexpr std::string_view kServerPrefix = "pg:";

// Whether the connection of an older version's token is still there.
const std::string kConnectionAlive = "SELECT 1 FROM pg_stat_activity WHERE " + ConnectionTokenOf("") + " = ?";

// A new key: positive, and above 2^32, where the keys of the database's
// writer locks (hashtext, 32 bits) never are.
std::int64_t RandomKey() {
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }()};
  std::uniform_int_distribution<std::int64_t> keys(std::int64_t{1} << 32, INT64_MAX);
  return keys(generator);
}

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

std::optional<std::int64_t> ServerKeyOf(std::string_view token) {
  if (!IsServerToken(token)) return std::nullopt;
  const std::string_view digits = token.substr(kServerPrefix.size());
  std::int64_t key = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), key);
  if (error != std::errc() || end != digits.data() + digits.size() || key <= 0) return std::nullopt;
  return key;
}

OwnerLock::OwnerLock(rt::DataSession& db) noexcept {
  try {
    if (rt::AsSqlite(db) == nullptr) {
      const std::int64_t key = RandomKey();
      if (!db.HoldLivenessKey(key)) return;
      key_ = key;
      token_ = ServerToken(key);
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

void OwnerLock::Drop(rt::DataSession& db) noexcept {
  if (key_ != 0) {
    db.ReleaseLivenessKey(key_);
    key_ = 0;
    token_.clear();
  }
  DropFile();
}

void OwnerLock::DropFile() noexcept {
  if (token_.empty() || key_ != 0) return;
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
      if (const std::optional<std::int64_t> key = ServerKeyOf(token)) {
        const std::optional<bool> held = db.LivenessKeyHeld(*key);
        return held.has_value() && !*held;
      }
      return db.QueryBound(kConnectionAlive, {std::string(token)}).rows.empty();
    } catch (const rt::EDatabaseError&) {
      return false;
    }
  }
  return IsToken(token) && !folder.empty() && OwnerHasEnded(folder, token, lock);
}

}  // namespace labdocs::labdoc
