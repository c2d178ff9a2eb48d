// Files of the local disk, named by ANSI (GBK) paths, read and written in
// pieces through the C library: a file of any size passes through a buffer
// of the caller's fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace labdocs::labdoc {

// What is at a path: nothing, a file, a folder, something else (a device, a
// pipe, a socket), or Unknown when the system cannot say (no permission to
// look).
enum class FileKind { Missing, Regular, Folder, Special, Unknown };

// Throws rt::EConvertError for a path that is not GBK.
FileKind Examine(const std::string& ansi_path);

// A file opened for reading.
class InputFile {
 public:
  // Throws rt::Exception naming the file and the reason when it cannot be
  // opened.
  explicit InputFile(const std::string& ansi_path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to `size` bytes, fewer only at the end of the file (0 there).
  // Throws rt::Exception when the file cannot be read.
  std::size_t Read(std::uint8_t* buffer, std::size_t size);
  // The file's size when it was opened.
  std::uint64_t SizeAtOpening() const { return size_at_opening_; }
  const std::string& Path() const { return ansi_path_; }

 private:
  std::string ansi_path_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_at_opening_ = 0;
};

// A new file (an existing one is emptied) opened for writing.
class OutputFile {
 public:
  // Throws rt::Exception naming the file and the reason when it cannot be
  // created.
  explicit OutputFile(const std::string& ansi_path);
  // Closes the file if Close has not; errors are then not reported.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws rt::Exception when the bytes cannot be written (a full disk).
  void Write(const std::uint8_t* data, std::size_t size);
  // Flushes and closes; throws rt::Exception when that fails.
  void Close();

 private:
  std::string ansi_path_;
  std::FILE* file_ = nullptr;
};

// Removes a file; false when it cannot (no error is raised).
bool RemoveFileQuietly(const std::string& ansi_path) noexcept;

}  // namespace labdocs::labdoc
