#include "runtime/ui/picture.h"

#include <gtest/gtest.h>

#include <random>

#include "runtime/errors.h"
#include "runtime/platform/ansi_test_folder.h"

namespace {

using rt::PictureFormat;
using rt::testing::AnsiTestFolder;
using Bytes = std::string;

void Le16(Bytes& b, unsigned v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>((v >> 8) & 0xFF);
}
void Le32(Bytes& b, std::uint32_t v) {
  Le16(b, v & 0xFFFF);
  Le16(b, v >> 16);
}
void Be16(Bytes& b, unsigned v) {
  b += static_cast<char>((v >> 8) & 0xFF);
  b += static_cast<char>(v & 0xFF);
}
void Be32(Bytes& b, std::uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}

// An icon file with images of the given sizes (0 stands for 256).
Bytes Icon(std::initializer_list<std::pair<int, int>> sizes) {
  Bytes b;
  Le16(b, 0);
  Le16(b, 1);
  Le16(b, static_cast<unsigned>(sizes.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(sizes.size());
  for (auto [w, h] : sizes) {
    b += static_cast<char>(w);
    b += static_cast<char>(h);
    b += Bytes(2, '\0');  // colours, reserved
    Le16(b, 1);           // planes
    Le16(b, 32);          // bits per pixel
    Le32(b, 8);           // image size
    Le32(b, offset);
    offset += 8;
  }
  for (std::size_t i = 0; i < sizes.size(); ++i) b += Bytes(8, '\x11');
  return b;
}

Bytes Bitmap(std::int32_t width, std::int32_t height) {
  Bytes b = "BM";
  Le32(b, 54 + 16);
  Le32(b, 0);
  Le32(b, 54);
  Le32(b, 40);
  Le32(b, static_cast<std::uint32_t>(width));
  Le32(b, static_cast<std::uint32_t>(height));
  Le16(b, 1);
  Le16(b, 24);
  b += Bytes(24, '\0');
  b += Bytes(16, '\x7f');
  return b;
}

Bytes CoreBitmap(unsigned width, unsigned height) {
  Bytes b = "BM";
  Le32(b, 26 + 4);
  Le32(b, 0);
  Le32(b, 26);
  Le32(b, 12);
  Le16(b, width);
  Le16(b, height);
  Le16(b, 1);
  Le16(b, 24);
  b += Bytes(4, '\0');
  return b;
}

Bytes Png(std::uint32_t width, std::uint32_t height) {
  Bytes b = "\x89PNG\r\n\x1a\n";
  Be32(b, 13);
  b += "IHDR";
  Be32(b, width);
  Be32(b, height);
  b += Bytes("\x08\x06\0\0\0", 5);
  Be32(b, 0x12345678);  // CRC
  Be32(b, 0);
  b += "IEND";
  Be32(b, 0xAE426082);
  return b;
}

Bytes Gif(unsigned width, unsigned height) {
  Bytes b = "GIF89a";
  Le16(b, width);
  Le16(b, height);
  b += Bytes("\0\0\0", 3);
  b += ";";
  return b;
}

// A JPEG file: an APP0 segment, then the frame header of the given marker.
Bytes Jpeg(unsigned width, unsigned height, unsigned char frame_marker = 0xC0) {
  Bytes b = "\xFF\xD8";
  b += "\xFF\xE0";
  Be16(b, 16);
  b += Bytes("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14);
  b += "\xFF\xFF";  // a fill byte before the next marker
  b += static_cast<char>(frame_marker);
  Be16(b, 17);
  b += '\x08';
  Be16(b, height);
  Be16(b, width);
  b += '\x03';
  b += Bytes(9, '\x01');
  b += "\xFF\xDA";
  Be16(b, 8);
  b += Bytes(6, '\0');
  b += "\xFF\xD9";
  return b;
}

std::span<const std::uint8_t> AsSpan(const Bytes& b) {
  return {reinterpret_cast<const std::uint8_t*>(b.data()), b.size()};
}

struct Sample {
  const char* label;
  Bytes bytes;
  PictureFormat format;
  int width;
  int height;
};

std::vector<Sample> Samples() {
  return {
      {"icon", Icon({{32, 32}}), PictureFormat::Icon, 32, 32},
      {"icon of several sizes", Icon({{16, 16}, {0, 0}, {48, 48}}), PictureFormat::Icon, 256, 256},
      {"bitmap", Bitmap(3, 2), PictureFormat::Bitmap, 3, 2},
      {"top-down bitmap", Bitmap(7, -5), PictureFormat::Bitmap, 7, 5},
      {"old bitmap", CoreBitmap(5, 4), PictureFormat::Bitmap, 5, 4},
      {"png", Png(640, 480), PictureFormat::Png, 640, 480},
      {"gif", Gif(10, 20), PictureFormat::Gif, 10, 20},
      {"jpeg", Jpeg(200, 100), PictureFormat::Jpeg, 200, 100},
      {"progressive jpeg", Jpeg(33, 44, 0xC2), PictureFormat::Jpeg, 33, 44},
  };
}

TEST(PictureTest, ReadsEachFormatFromAFile) {
  AnsiTestFolder folder;
  for (const Sample& sample : Samples()) {
    // The names end in a character whose second byte is '\'.
    std::string name = std::string("图片") + sample.label + "淺";
    folder.Write(name, sample.bytes);
    rt::TPicture picture;
    ASSERT_NO_THROW(picture.LoadFromFile(folder.Ansi(name))) << sample.label;
    EXPECT_EQ(picture.Format(), sample.format) << sample.label;
    EXPECT_EQ(picture.Width(), sample.width) << sample.label;
    EXPECT_EQ(picture.Height(), sample.height) << sample.label;
    EXPECT_FALSE(picture.Empty());
    EXPECT_EQ(picture.Data().size(), sample.bytes.size());
  }
}

TEST(PictureTest, TheContentDecidesNotTheExtension) {
  AnsiTestFolder folder;
  folder.Write("图标.ico", Png(24, 12));
  folder.Write("图标.png", Gif(3, 4));
  rt::TPicture picture;
  picture.LoadFromFile(folder.Ansi("图标.ico"));
  EXPECT_EQ(picture.Format(), PictureFormat::Png);
  EXPECT_EQ(picture.Width(), 24);
  picture.LoadFromFile(folder.Ansi("图标.png"));
  EXPECT_EQ(picture.Format(), PictureFormat::Gif);
  EXPECT_EQ(picture.Height(), 4);
  picture.Clear();
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(picture.Width(), 0);
  EXPECT_TRUE(picture.Data().empty());
}

TEST(PictureTest, EveryTruncationIsRefusedOrReadWhole) {
  for (const Sample& sample : Samples()) {
    for (std::size_t size = 0; size < sample.bytes.size(); ++size) {
      Bytes prefix = sample.bytes.substr(0, size);
      rt::TPicture picture;
      try {
        picture.LoadFromBytes(AsSpan(prefix));
        // Enough of the file for its header: the same picture.
        EXPECT_EQ(picture.Format(), sample.format) << sample.label << " cut to " << size;
        EXPECT_EQ(picture.Width(), sample.width) << sample.label << " cut to " << size;
        EXPECT_EQ(picture.Height(), sample.height) << sample.label << " cut to " << size;
      } catch (const rt::EInvalidGraphic&) {
        EXPECT_TRUE(picture.Empty());
      }
    }
  }
  // The headers themselves cut short are refused.
  for (const Bytes& cut : {Icon({{32, 32}}).substr(0, 25), Bitmap(3, 2).substr(0, 30), Png(1, 1).substr(0, 20),
                           Gif(1, 1).substr(0, 9), Jpeg(1, 1).substr(0, 30)}) {
    rt::TPicture picture;
    EXPECT_THROW(picture.LoadFromBytes(AsSpan(cut)), rt::EInvalidGraphic);
  }
}

TEST(PictureTest, DamagedHeadersAreRefused) {
  Bytes icon_outside = Icon({{32, 32}});
  icon_outside[6 + 12] = '\x7f';  // the image's offset points past the end
  Bytes png_no_width = Png(0, 10);
  Bytes png_wrong_chunk = Png(5, 5);
  png_wrong_chunk[12] = 'X';
  Bytes jpeg_long_segment = Jpeg(5, 5);
  jpeg_long_segment[4] = '\x7f';  // APP0's length runs past the end
  Bytes jpeg_scan_first = Bytes("\xFF\xD8\xFF\xDA\x00\x08", 6) + Bytes(6, '\0') + "\xFF\xD9";
  Bytes bitmap_odd_header = Bitmap(3, 2);
  bitmap_odd_header[14] = 8;
  Bytes gif_empty = Gif(0, 0);
  Bytes icon_of_none = Icon({});
  for (const Bytes& bad : {icon_outside, png_no_width, png_wrong_chunk, jpeg_long_segment, jpeg_scan_first,
                           bitmap_odd_header, gif_empty, icon_of_none}) {
    rt::TPicture picture;
    EXPECT_THROW(picture.LoadFromBytes(AsSpan(bad)), rt::EInvalidGraphic);
  }
}

TEST(PictureTest, OtherFilesAreNotPictures) {
  AnsiTestFolder folder;
  std::mt19937 random(7);
  Bytes garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(random() & 0xFF);
  folder.Write("杂乱.ico", garbage);
  folder.Write("文本.bmp", "This is a text file, not a picture.\n");
  folder.Write("空.png", "");

  rt::TPicture picture;
  picture.LoadFromBytes(AsSpan(Gif(8, 9)));
  for (const char* name : {"杂乱.ico", "文本.bmp", "空.png"}) {
    try {
      picture.LoadFromFile(folder.Ansi(name));
      ADD_FAILURE() << "loaded " << name;
    } catch (const rt::EInvalidGraphic& error) {
      EXPECT_NE(std::string(error.what()).find(folder.Ansi(name)), std::string::npos) << error.what();
    }
    // A failed load leaves the picture as it was.
    EXPECT_EQ(picture.Format(), PictureFormat::Gif);
    EXPECT_EQ(picture.Width(), 8);
  }
  EXPECT_THROW(picture.LoadFromFile(folder.Ansi("没有.ico")), rt::Exception);
  EXPECT_THROW(picture.LoadFromFile(folder.Ansi()), rt::Exception);
  EXPECT_EQ(picture.Height(), 9);
}

}  // namespace
