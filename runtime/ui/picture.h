// A picture loaded from a file, as an image control shows it: the format is
// recognised by the file's content, not its name, and the size is read from
// the format's header.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

enum class PictureFormat { None, Icon, Bitmap, Png, Gif, Jpeg };

// "ICO", "BMP", "PNG", "GIF", "JPEG"; "" for None.
std::string_view PictureFormatName(PictureFormat format);

class TPicture {
 public:
  // Reads the picture in the file (ANSI path). Throws rt::EInvalidGraphic
  // for a file that is not an icon, bitmap, PNG, GIF or JPEG picture, and
  // rt::Exception for a file that cannot be read. On an error the picture
  // keeps what it held.
  void LoadFromFile(std::string_view file_name);
  // Reads a picture from bytes; `source` names them in error messages.
  void LoadFromBytes(std::span<const std::uint8_t> bytes, std::string_view source = "stream");

  int Width() const { return width_; }
  int Height() const { return height_; }
  PictureFormat Format() const { return format_; }
  bool Empty() const { return format_ == PictureFormat::None; }
  // The file's bytes as they were read.
  const std::vector<std::uint8_t>& Data() const { return data_; }
  void Clear();

 private:
  PictureFormat format_ = PictureFormat::None;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> data_;
};

}  // namespace rt
