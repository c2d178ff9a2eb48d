// A long check's progress on standard error: contents and bytes done, the
// rate and the time left, at most four times a second. On a terminal the
// line is rewritten in place; elsewhere (--progress into a file or a pipe)
// each report is a line of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace admin {

class Progress {
 public:
  enum class Shown { Never, Lines, InPlace };

  Progress(std::ostream& stream, Shown shown) : stream_(stream), shown_(shown) {}

  // The reading begins (again, for the next stage of a command): this many
  // contents of this many bytes in all.
  void Start(std::uint64_t contents, std::uint64_t bytes);
  // A content done (its bytes counted already by Bytes).
  void ContentDone();
  // Bytes read.
  void Bytes(std::uint64_t bytes);
  // The last report, whatever the time: what was done, how fast.
  void Finish();

  // The report's text: "12/40 contents, 3.2 GiB of 10.0 GiB, 1.5 GiB/s, 5 s left".
  static std::string Text(std::uint64_t contents_done, std::uint64_t contents, std::uint64_t bytes_done,
                          std::uint64_t bytes, double seconds);

 private:
  void Report(bool last);

  std::ostream& stream_;
  Shown shown_;
  std::uint64_t contents_ = 0, bytes_ = 0;
  std::uint64_t contents_done_ = 0, bytes_done_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
  std::size_t width_ = 0;  // of the line shown in place
};

// A size for people: "512 B", "1.5 KiB", "3.2 GiB".
std::string SizeText(std::uint64_t bytes);

}  // namespace admin
