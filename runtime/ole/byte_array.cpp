#include "runtime/ole/byte_array.h"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/ole/vector_layout.h"

namespace rt {
namespace {

constexpr std::size_t kMaxBytes = 0x7FFFFFFF;
constexpr std::size_t kFirstCapacity = 4096;

#if RT_OLE_NATIVE
constexpr std::size_t kDataOffset = 0;
#else
using ole_layout::kDataOffset;
#endif

[[noreturn]] void OutOfMemory(const char* what) { throw EOleError(what, static_cast<long>(E_OUTOFMEMORY)); }

}  // namespace

ByteArrayBuilder::~ByteArrayBuilder() { std::free(block_); }

void ByteArrayBuilder::Expand(std::size_t n) {
  if (n > kMaxBytes - size_) OutOfMemory("Byte array too large");
  // Growing by half keeps the unused room at most a third of the array.
  std::size_t capacity = capacity_ < kFirstCapacity ? kFirstCapacity : capacity_ + capacity_ / 2;
  if (capacity < size_ + n) capacity = size_ + n;
  if (capacity > kMaxBytes) capacity = kMaxBytes;
  void* block = std::realloc(block_, kDataOffset + capacity);
  if (!block) OutOfMemory("Out of memory for a byte array");
  block_ = static_cast<unsigned char*>(block);
  data_ = block_ + kDataOffset;
  capacity_ = capacity;
}

OleVariant ByteArrayBuilder::Finish() {
  const auto count = static_cast<std::uint32_t>(size_);
#if RT_OLE_NATIVE
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, count);
  if (!psa) OutOfMemory("SafeArrayCreateVector failed");
  if (count > 0) std::memcpy(psa->pvData, data_, size_);
  std::free(block_);
#else
  // The allocation becomes the array's: shrunk to its size, prefix and
  // descriptor written in front of the data.
  if (!block_) Expand(1);
  void* block = std::realloc(block_, kDataOffset + size_);
  if (block) block_ = static_cast<unsigned char*>(block);
  SAFEARRAY* psa = ole_layout::MakeVector(block_, VT_UI1, FADF_HAVEVARTYPE, 1, 0, count);
#endif
  block_ = nullptr;
  data_ = nullptr;
  size_ = capacity_ = 0;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_ARRAY | VT_UI1;
  value.parray = psa;
  OleVariant result;
  result.Attach(value);
  return result;
}

}  // namespace rt
