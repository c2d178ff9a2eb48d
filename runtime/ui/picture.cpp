#include "runtime/ui/picture.h"

#include <limits>
#include <optional>

#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace rt {
namespace {

// Larger files are not taken for pictures of an image control.
constexpr std::size_t kMaxPictureBytes = 64u << 20;

// The format and size read from a picture's header.
struct Header {
  PictureFormat format;
  std::int64_t width;
  std::int64_t height;
};

[[noreturn]] void TooLarge(std::string_view source) {
  throw EInvalidGraphic("\"" + std::string(source) + "\" is too large for a picture");
}

// Bounds-checked reads of little- and big-endian numbers.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t Size() const { return bytes_.size(); }
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? bytes_[offset] : 0; }
  std::uint32_t Le16(std::size_t offset) const { return U8(offset) | (U8(offset + 1) << 8); }
  std::uint32_t Le32(std::size_t offset) const { return Le16(offset) | (Le16(offset + 2) << 16); }
  std::uint32_t Be16(std::size_t offset) const { return (U8(offset) << 8) | U8(offset + 1); }
  std::uint32_t Be32(std::size_t offset) const { return (Be16(offset) << 16) | Be16(offset + 2); }
  bool Matches(std::size_t offset, std::string_view magic) const {
    if (!Has(offset, magic.size())) return false;
    for (std::size_t i = 0; i < magic.size(); ++i)
      if (bytes_[offset + i] != static_cast<std::uint8_t>(magic[i])) return false;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// An error while reading a format that was recognised by its signature.
[[noreturn]] void Invalid(std::string_view source, std::string_view format, std::string_view problem) {
  throw EInvalidGraphic(std::string(format) + " image \"" + std::string(source) +
                        "\" is not valid: " + std::string(problem));
}

// An icon file: reserved 0, type 1, the number of images, then a 16-byte
// entry per image whose width and height bytes are 0 for 256.
std::optional<Header> ReadIcon(const Reader& r, std::string_view source) {
  if (!(r.Matches(0, std::string_view("\0\0\1\0", 4)) && r.Size() >= 6)) return std::nullopt;
  std::uint32_t count = r.Le16(4);
  if (count == 0) return std::nullopt;
  if (!r.Has(6, 16 * static_cast<std::size_t>(count))) Invalid(source, "Icon", "the image directory is truncated");
  // The picture is the largest image of the file.
  std::int64_t best_width = 0, best_height = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
    std::int64_t width = r.U8(entry) == 0 ? 256 : r.U8(entry);
    std::int64_t height = r.U8(entry + 1) == 0 ? 256 : r.U8(entry + 1);
    std::uint32_t size = r.Le32(entry + 8), offset = r.Le32(entry + 12);
    if (size == 0 || offset < 6 + 16 * count || !r.Has(offset, size))
      Invalid(source, "Icon", "an image lies outside the file");
    if (width * height > best_width * best_height) {
      best_width = width;
      best_height = height;
    }
  }
  return Header{PictureFormat::Icon, best_width, best_height};
}

// A bitmap: "BM", a 14-byte file header, then an info header that starts
// with its own size: 12 (16-bit width and height) or 16 and more (32-bit;
// a negative height means rows from the top down).
std::optional<Header> ReadBitmap(const Reader& r, std::string_view source) {
  if (!r.Matches(0, "BM")) return std::nullopt;
  if (!r.Has(14, 4)) Invalid(source, "Bitmap", "the file header is truncated");
  std::uint32_t info_size = r.Le32(14);
  if (info_size == 12) {
    if (!r.Has(14, 12)) Invalid(source, "Bitmap", "the info header is truncated");
    return Header{PictureFormat::Bitmap, r.Le16(18), r.Le16(20)};
  }
  if (info_size < 16 || info_size > 256) Invalid(source, "Bitmap", "the info header has an unknown size");
  if (!r.Has(14, info_size)) Invalid(source, "Bitmap", "the info header is truncated");
  std::int64_t width = static_cast<std::int32_t>(r.Le32(18));
  std::int64_t height = static_cast<std::int32_t>(r.Le32(22));
  return Header{PictureFormat::Bitmap, width, height < 0 ? -height : height};
}

// A PNG file: the 8-byte signature, then the IHDR chunk (length 13) with the
// width and height as 32-bit big-endian numbers.
std::optional<Header> ReadPng(const Reader& r, std::string_view source) {
  if (!r.Matches(0, "\x89PNG\r\n\x1a\n")) return std::nullopt;
  if (!r.Has(8, 8 + 13 + 4)) Invalid(source, "PNG", "the header is truncated");
  if (r.Be32(8) != 13 || !r.Matches(12, "IHDR")) Invalid(source, "PNG", "the first chunk is not the image header");
  return Header{PictureFormat::Png, r.Be32(16), r.Be32(20)};
}

// A GIF file: "GIF87a" or "GIF89a", then the logical screen's width and
// height as 16-bit little-endian numbers.
std::optional<Header> ReadGif(const Reader& r, std::string_view source) {
  if (!r.Matches(0, "GIF87a") && !r.Matches(0, "GIF89a")) return std::nullopt;
  if (!r.Has(6, 7)) Invalid(source, "GIF", "the screen descriptor is truncated");
  return Header{PictureFormat::Gif, r.Le16(6), r.Le16(8)};
}

// A JPEG file: the start-of-image marker, then segments; the first
// start-of-frame segment holds the height and width.
std::optional<Header> ReadJpeg(const Reader& r, std::string_view source) {
  if (!r.Matches(0, "\xFF\xD8\xFF")) return std::nullopt;
  std::size_t pos = 2;
  for (;;) {
    if (!r.Has(pos, 2)) Invalid(source, "JPEG", "the file ends before the frame header");
    if (r.U8(pos) != 0xFF) Invalid(source, "JPEG", "a segment does not start with a marker");
    std::uint8_t marker = r.U8(pos + 1);
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    pos += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // markers without a segment
    if (marker == 0xD9 || marker == 0xDA) Invalid(source, "JPEG", "the image data comes before the frame header");
    if (!r.Has(pos, 2)) Invalid(source, "JPEG", "a segment is truncated");
    std::uint32_t length = r.Be16(pos);
    if (length < 2 || !r.Has(pos, length)) Invalid(source, "JPEG", "a segment is truncated");
    bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8) Invalid(source, "JPEG", "the frame header is truncated");
      return Header{PictureFormat::Jpeg, r.Be16(pos + 5), r.Be16(pos + 3)};
    }
    pos += length;
  }
}

}  // namespace

std::string_view PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Icon: return "ICO";
    case PictureFormat::Bitmap: return "BMP";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Jpeg: return "JPEG";
    case PictureFormat::None: break;
  }
  return "";
}

void TPicture::LoadFromFile(std::string_view file_name) {
  // A file too large for a picture is refused before it is read.
  std::string name(file_name);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(name.c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    if (found.nFileSizeHigh != 0 || found.nFileSizeLow > kMaxPictureBytes) TooLarge(file_name);
  }
  LoadFromBytes(ReadFileBytes(file_name), file_name);
}

void TPicture::LoadFromBytes(std::span<const std::uint8_t> bytes, std::string_view source) {
  if (bytes.size() > kMaxPictureBytes) TooLarge(source);
  Reader r(bytes);
  std::optional<Header> header;
  for (auto read : {ReadIcon, ReadBitmap, ReadPng, ReadGif, ReadJpeg}) {
    header = read(r, source);
    if (header) break;
  }
  if (!header)
    throw EInvalidGraphic("\"" + std::string(source) +
                          "\" is not a picture of a known format (icon, bitmap, PNG, GIF or JPEG)");
  constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
  if (header->width <= 0 || header->height <= 0 || header->width > kMaxSide || header->height > kMaxSide)
    Invalid(source, PictureFormatName(header->format), "the picture has no valid size");
  format_ = header->format;
  width_ = static_cast<int>(header->width);
  height_ = static_cast<int>(header->height);
  data_.assign(bytes.begin(), bytes.end());
}

void TPicture::Clear() {
  format_ = PictureFormat::None;
  width_ = height_ = 0;
  data_.clear();
}

}  // namespace rt
