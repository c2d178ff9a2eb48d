// An exclusive advisory lock on a file, by which a process says that it is
// still at work on what the file stands for. The system releases the lock
// when its process ends, however it ends, so a file whose lock can be taken
// belongs to no live process. The lock covers one byte far beyond any
// content, taken through a handle of its own: the file's content may be
// read and written through other handles meanwhile (on Windows a locked
// byte cannot be written through another handle). Other handles are kept
// out of the lock, also those of the same process.
#pragma once

#include <string>

#include "runtime/platform/platform.h"

namespace rt {

class FileLock {
 public:
  enum class Outcome {
    Taken,    // the lock is held now
    Held,     // another handle holds it
    Missing,  // there is no such file
    Failed    // the file cannot be opened or locked (the last error tells why)
  };

  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Creates a file that must not exist yet (ANSI path) and locks it: Taken,
  // else Failed (an existing file too). Between the creation and the lock
  // another process could take the lock; whoever takes locks of other
  // processes' files leaves young files alone to close that gap.
  Outcome Create(const std::string& ansi_path);
  // Takes the lock of an existing file without waiting.
  Outcome TryTake(const std::string& ansi_path);

  bool Holds() const { return handle_ != nullptr; }
  const std::string& Path() const { return path_; }

  // Removes the file while the lock is still held; false when it cannot.
  // Windows may keep the name until the lock's handle is closed.
  bool RemoveFile() noexcept;
  // Releases the lock and closes its handle, if it holds one.
  void Release() noexcept;

 private:
  Outcome Take(const std::string& ansi_path, DWORD disposition);

  HANDLE handle_ = nullptr;
  std::string path_;
};

}  // namespace rt
