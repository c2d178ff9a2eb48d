// How the runtime lays out an array that SafeArrayCreateVector makes, where
// the runtime supplies the OLE functions itself (not on Windows): one
// allocation holding a prefix whose last four bytes hold the element VARTYPE
// (where Windows keeps it for FADF_HAVEVARTYPE), the descriptor, then the
// data, each part 16-byte aligned. Freed with std::free from its start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/ole/variant.h"

#if !RT_OLE_NATIVE

namespace rt::ole_layout {

inline constexpr std::size_t kPrefixSize = 16;
inline constexpr std::size_t kDescriptorSize = (sizeof(SAFEARRAY) + 15) / 16 * 16;
inline constexpr std::size_t kDataOffset = kPrefixSize + kDescriptorSize;
inline constexpr std::uint64_t kMaxArrayBytes = 0x7FFFFFFF;

// Writes the prefix and a one-dimensional descriptor into block, whose data
// (count elements of element_size bytes) follows at kDataOffset.
SAFEARRAY* MakeVector(unsigned char* block, VARTYPE vt, std::uint16_t features, std::uint32_t element_size,
                      std::int32_t lower_bound, std::uint32_t count);

}  // namespace rt::ole_layout

#endif
