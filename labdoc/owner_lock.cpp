#include "labdoc/owner_lock.h"

#include <sqlite3.h>

#include "labdoc/random_token.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

constexpr std::string_view kOwnerSuffix = ".lock";

std::string OwnerFile(const std::string& folder, std::string_view token) {
  return folder + std::string(token) + std::string(kOwnerSuffix);
}

}  // namespace

std::string OwnerFolder(rt::Database& db) {
  // SQLite's own full path of the file, made when it was opened: the path
  // the caller gave may be relative to a current folder that has changed
  // since.
  const char* full = sqlite3_db_filename(db.Handle(), "main");
  const std::string native = full != nullptr ? full : db.Path();
  if (native.empty()) return {};
  return rt::IncludeTrailingPathDelimiter(rt::platform::FromNativePath(native) + "-labdoc-locks");
}

bool IsOwnerFileName(std::string_view name) {
  return name.size() == kTokenLength + kOwnerSuffix.size() && name.substr(kTokenLength) == kOwnerSuffix &&
         IsToken(name.substr(0, kTokenLength));
}

OwnerLock::OwnerLock(rt::Database& db) noexcept {
  try {
    const std::string folder = OwnerFolder(db);
    if (folder.empty() || !rt::ForceDirectories(folder)) return;
    std::string token = RandomToken();
    if (lock_.Create(OwnerFile(folder, token)) == rt::FileLock::Outcome::Taken) token_ = std::move(token);
  } catch (...) {
    lock_.Release();
  }
}

void OwnerLock::Drop() noexcept {
  lock_.RemoveFile();
  lock_.Release();
}

bool OwnerHasEnded(const std::string& folder, std::string_view token, rt::FileLock& lock) {
  switch (lock.TryTake(OwnerFile(folder, token))) {
    case rt::FileLock::Outcome::Taken:
    case rt::FileLock::Outcome::Missing: return true;
    default: return false;
  }
}

}  // namespace labdocs::labdoc
