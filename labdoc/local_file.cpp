#include "labdoc/local_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/stream.h"

namespace labdocs::labdoc {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

}  // namespace

FileKind Examine(const std::string& ansi_path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(rt::platform::NativePath(ansi_path), error);
  switch (status.type()) {
    case std::filesystem::file_type::not_found: return FileKind::Missing;
    case std::filesystem::file_type::regular: return FileKind::Regular;
    case std::filesystem::file_type::directory: return FileKind::Folder;
    case std::filesystem::file_type::none:
    case std::filesystem::file_type::unknown: return FileKind::Unknown;
    default: return FileKind::Special;
  }
}

InputFile::InputFile(const std::string& ansi_path) : ansi_path_(ansi_path) {
  const std::string native = rt::platform::ToNativePath(ansi_path);
  errno = 0;
  file_ = rt::platform::OpenStream(native, false);
  if (file_ == nullptr) throw rt::Exception("无法打开文件 " + ansi_path + ": " + Reason(errno));
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(rt::platform::NativePath(ansi_path), error);
  if (error) {
    std::fclose(file_);
    throw rt::Exception("无法读取文件 " + ansi_path + " 的大小: " + error.message());
  }
  size_at_opening_ = size;
}

InputFile::~InputFile() { std::fclose(file_); }

std::size_t InputFile::Read(std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    errno = 0;
    const std::size_t n = std::fread(buffer + done, 1, size - done, file_);
    done += n;
    if (n == 0) {
      if (std::ferror(file_)) throw rt::Exception("读取文件 " + ansi_path_ + " 失败: " + Reason(errno));
      break;  // the end of the file
    }
  }
  return done;
}

OutputFile::OutputFile(const std::string& ansi_path) : ansi_path_(ansi_path) {
  const std::string native = rt::platform::ToNativePath(ansi_path);
  errno = 0;
  file_ = rt::platform::OpenStream(native, true);
  if (file_ == nullptr) throw rt::Exception("无法创建文件 " + ansi_path + ": " + Reason(errno));
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void OutputFile::Write(const std::uint8_t* data, std::size_t size) {
  if (file_ == nullptr) throw rt::Exception("文件 " + ansi_path_ + " 已经关闭");
  errno = 0;
  if (size > 0 && std::fwrite(data, 1, size, file_) != size)
    throw rt::Exception("写入文件 " + ansi_path_ + " 失败: " + Reason(errno));
}

void OutputFile::Close() {
  if (file_ == nullptr) return;
  errno = 0;
  const bool flushed = std::fflush(file_) == 0;
  const int flush_error = errno;
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed) throw rt::Exception("写入文件 " + ansi_path_ + " 失败: " + Reason(flush_error));
  if (!closed) throw rt::Exception("写入文件 " + ansi_path_ + " 失败: " + Reason(errno));
}

bool RemoveFileQuietly(const std::string& ansi_path) noexcept {
  try {
    return DeleteFileA(ansi_path.c_str()) != FALSE;
  } catch (...) {
    return false;
  }
}

}  // namespace labdocs::labdoc
