#include "labdoc/owner_lock.h"

#include <charconv>
#include <random>

#include "labdoc/content_storage.h"
#include "labdoc/random_token.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace labdocs::labdoc {
namespace {

constexpr std::string_view kOwnerSuffix = ".lock";
constexpr std::string_view kServerPrefix = "pg:";

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

OwnerLock::OwnerLock(ContentStorage& storage) noexcept {
  try {
    if (storage.OwnersHoldKeys()) {
      const std::int64_t key = RandomKey();
      if (!storage.Session().HoldLivenessKey(key)) return;
      key_ = key;
      token_ = ServerToken(key);
      return;
    }
    folder_ = storage.OwnerFolder();
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

bool OwnerFileHasEnded(const std::string& folder, std::string_view token, rt::FileLock& lock) {
  switch (lock.TryTake(OwnerFile(folder, token))) {
    case rt::FileLock::Outcome::Taken:
    case rt::FileLock::Outcome::Missing: return true;
    default: return false;
  }
}

}  // namespace labdocs::labdoc
