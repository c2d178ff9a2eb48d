#include "admin/progress.h"

#include <cstdio>
#include <iterator>

namespace admin {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

void Progress::Start(std::uint64_t contents, std::uint64_t bytes) {
  contents_ = contents;
  bytes_ = bytes;
  contents_done_ = bytes_done_ = 0;
  start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::ContentDone() {
  ++contents_done_;
  Bytes(0);
}

void Progress::Bytes(std::uint64_t bytes) {
  bytes_done_ += bytes;
  if (shown_ == Shown::Never) return;
  if (std::chrono::steady_clock::now() - last_ >= kInterval) Report(false);
}

void Progress::Finish() {
  if (shown_ != Shown::Never) Report(true);
}

std::string Progress::Text(std::uint64_t contents_done, std::uint64_t contents, std::uint64_t bytes_done,
                           std::uint64_t bytes, double seconds) {
  std::string text = std::to_string(contents_done) + "/" + std::to_string(contents) + " contents, " +
                     SizeText(bytes_done) + " of " + SizeText(bytes);
  if (seconds <= 0) return text;
  const double rate = static_cast<double>(bytes_done) / seconds;
  text += ", " + SizeText(static_cast<std::uint64_t>(rate)) + "/s";
  if (bytes_done < bytes && rate > 0) {
    char left[32];
    std::snprintf(left, sizeof left, ", %.0f s left", static_cast<double>(bytes - bytes_done) / rate);
    text += left;
  } else if (bytes_done >= bytes) {
    char took[32];
    std::snprintf(took, sizeof took, ", %.2f s", seconds);
    text += took;
  }
  return text;
}

void Progress::Report(bool last) {
  const auto now = std::chrono::steady_clock::now();
  last_ = now;
  const std::chrono::duration<double> seconds = now - start_;
  const std::string text = "checking: " + Text(contents_done_, contents_, bytes_done_, bytes_, seconds.count());
  if (shown_ == Shown::InPlace) {
    // Blanks over what is left of a longer line before.
    stream_ << '\r' << text << std::string(width_ > text.size() ? width_ - text.size() : 0, ' ');
    width_ = text.size();
    if (last) stream_ << '\n';
  } else {
    stream_ << text << '\n';
  }
  stream_.flush();
}

}  // namespace admin
