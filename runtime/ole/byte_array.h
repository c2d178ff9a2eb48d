// A byte array written from front to back whose final size is known only
// at its end (a data packet encoded as a query's rows arrive), that becomes
// a VT_ARRAY | VT_UI1 variant. Where the runtime supplies the OLE functions
// the bytes are written in the array's own allocation, grown in place where
// the allocator can, so the finished array costs no copy; with the system's
// OLE functions they are copied into a new array once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/ole/variant.h"

namespace rt {

class ByteArrayBuilder {
 public:
  ByteArrayBuilder() = default;
  ~ByteArrayBuilder();
  ByteArrayBuilder(const ByteArrayBuilder&) = delete;
  ByteArrayBuilder& operator=(const ByteArrayBuilder&) = delete;

  std::size_t Size() const { return size_; }
  // The bytes written so far; valid until the next Grow, Reserve or Finish.
  std::uint8_t* Data() { return data_; }

  // Makes room for at least n more bytes. Throws EOleError when the array
  // would exceed 0x7FFFFFFF bytes or memory runs out.
  void Reserve(std::size_t n) {
    if (capacity_ - size_ < n) Expand(n);
  }
  // n more bytes at the end, their content undefined; returns the first.
  std::uint8_t* Grow(std::size_t n) {
    Reserve(n);
    std::uint8_t* at = data_ + size_;
    size_ += n;
    return at;
  }
  void Byte(std::uint8_t b) { *Grow(1) = b; }
  // Drops the bytes from n on.
  void Truncate(std::size_t n) {
    if (n < size_) size_ = n;
  }

  // The bytes as a variant, exactly Size() long; the builder is empty
  // afterwards.
  OleVariant Finish();

 private:
  void Expand(std::size_t n);

  unsigned char* block_ = nullptr;  // the allocation; data_ lies inside it
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace rt
