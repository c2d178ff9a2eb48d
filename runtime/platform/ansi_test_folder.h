// For tests: a fresh folder under the system's temporary folder, named by
// its ANSI (GBK) path as the system's own code names files, and removed with
// everything in it when the object goes.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "runtime/platform/platform.h"

namespace rt::testing {

// GBK characters whose second byte is '\' (0x5C): 淺 is 9C 5C, 籠 is BB 5C.
inline const std::string kShallow = "淺";
inline const std::string kCage = "籠";

class AnsiTestFolder {
 public:
  AnsiTestFolder() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    do {
      native_ = base / ("labdocs_rt_" + std::to_string(random()) + std::to_string(random()));
    } while (!std::filesystem::create_directory(native_));
    ansi_ = platform::AnsiPath(native_) + "\\";
  }
  ~AnsiTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(native_, ignored);
  }
  AnsiTestFolder(const AnsiTestFolder&) = delete;
  AnsiTestFolder& operator=(const AnsiTestFolder&) = delete;

  // The folder's ANSI path, ending in '\'.
  const std::string& Ansi() const { return ansi_; }
  // The ANSI path of a name (GBK, '\' separators) inside the folder.
  std::string Ansi(std::string_view name) const { return ansi_ + std::string(name); }
  // The native path of a name inside the folder.
  std::filesystem::path Native(std::string_view name) const { return platform::NativePath(Ansi(name)); }
  const std::filesystem::path& Native() const { return native_; }

  // Writes a file (GBK name) with the given bytes.
  std::filesystem::path Write(std::string_view name, std::string_view bytes) const {
    std::filesystem::path path = Native(name);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // The content of a file (GBK name); empty when it cannot be read.
  std::string Read(std::string_view name) const {
    std::ifstream in(Native(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path native_;
  std::string ansi_;
};

}  // namespace rt::testing
