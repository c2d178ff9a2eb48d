// The owner of a pending content or of a revision in progress. On an SQLite
// file the process names itself by a token (DB_FILE_CONTENT.OWNER,
// DB_FILE_REVISING.OWNER) and holds the lock (rt::FileLock) of a file named
// by it, "<token>.lock" in a folder beside the database file
// ("<database file>-labdoc-locks"), from before it inserts its row until the
// row is finished or removed; then it removes the file. So a row whose
// owner's file is gone, or whose lock can be taken, belongs to no live
// process. Every process that opens the database file finds the same
// folder, whatever path it opened the file by.
//
// On a server the owner holds a liveness key of its own (a random positive
// 63-bit number, rt::DataSession::HoldLivenessKey) on the process's
// connection, and the token names it: "pg:<key>". The row belongs to no live
// workstation once no connection holds the key (the workstation ended, or
// its connection died). Any login sees whether a key is held, and the
// connection takes its keys again when it makes a lost connection anew.
// Rows of older versions name the owner's connection instead
// ("pg:<process id of the server's backend>:<its start in microseconds>"),
// alive while the server lists that connection (which it shows only to the
// connection's own login).
// Which of the two a database has is its storage's (content_storage.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/data/session.h"
#include "runtime/file_lock.h"

namespace labdocs::labdoc {

class ContentStorage;

// True for the name of an owner's lock file: a token and ".lock".
bool IsOwnerFileName(std::string_view name);

// True for a token that names an owner on a server, of either form.
bool IsServerToken(std::string_view token);

// A server owner's token of its key, and the key of such a token (nothing
// for any other token, the older form's too).
inline std::string ServerToken(std::int64_t key) { return "pg:" + std::to_string(key); }
std::optional<std::int64_t> ServerKeyOf(std::string_view token);

class OwnerLock {
 public:
  // Takes a new token and creates and locks its file in the storage's
  // owners' folder; where owners hold keys (a server), holds a new key on
  // the session's connection. Without the file (no folder for it) or the
  // key there is no token: the content is then stored without an owner, as
  // older versions stored it.
  explicit OwnerLock(ContentStorage& storage) noexcept;
  // Drops the file; a server's key is the caller's to release (Drop), or
  // goes with its connection.
  ~OwnerLock() { DropFile(); }
  OwnerLock(const OwnerLock&) = delete;
  OwnerLock& operator=(const OwnerLock&) = delete;

  // The token; empty when there is none.
  const std::string& Token() const { return token_; }
  // Removes the file, releases the lock, and removes the folder when no
  // other owner's file is in it; on a server, releases the key on the
  // session (the one it was taken on, or one that replaced it).
  void Drop(rt::DataSession& db) noexcept;

 private:
  void DropFile() noexcept;

  std::string folder_;
  std::string token_;
  std::int64_t key_ = 0;  // on a server
  rt::FileLock lock_;
};

// Whether the owner `token` of a lock file in the owners' folder given has
// ended: its file is gone, or its lock could be taken, and is then held by
// `lock` until the caller has removed the owner's rows and the file. False
// for a live owner and for a file that cannot be examined.
bool OwnerFileHasEnded(const std::string& folder, std::string_view token, rt::FileLock& lock);

}  // namespace labdocs::labdoc
