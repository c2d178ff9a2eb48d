// The OLE functions of variant.h (Variant*, SafeArray*, Sys*) on systems
// other than Windows, where the runtime supplies them with the Windows
// meaning; on Windows they are the system's own (oleaut32).
#include "runtime/ole/variant.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "runtime/ole/vector_layout.h"

SAFEARRAY* rt::ole_layout::MakeVector(unsigned char* block, VARTYPE vt, std::uint16_t features,
                                      std::uint32_t element_size, std::int32_t lower_bound, std::uint32_t count) {
  const std::uint32_t stored_vt = vt;
  std::memset(block, 0, kPrefixSize);
  std::memcpy(block + kPrefixSize - sizeof stored_vt, &stored_vt, sizeof stored_vt);
  SAFEARRAY* psa = new (block + kPrefixSize) SAFEARRAY{};
  psa->cDims = 1;
  psa->fFeatures = features | FADF_CREATEVECTOR;
  psa->cbElements = element_size;
  psa->cLocks = 0;
  psa->pvData = block + kDataOffset;
  psa->rgsabound[0].cElements = count;
  psa->rgsabound[0].lLbound = lower_bound;
  return psa;
}

namespace {

using rt::ole_layout::kDataOffset;
using rt::ole_layout::kMaxArrayBytes;
using rt::ole_layout::kPrefixSize;
constexpr std::uint32_t kMaxStringBytes = 0x7FFFFFF0;
constexpr std::uint16_t kOwnerlessFeatures = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr std::uint16_t kElementKindFeatures = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;

unsigned char* BytesOf(void* p) { return static_cast<unsigned char*>(p); }

// The size of one array element of type vt; 0 for a type that cannot be an
// array element.
std::uint32_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
  }
}

std::uint16_t ElementKindFeature(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_BSTR;
    case VT_UNKNOWN: return FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_DISPATCH;
    case VT_VARIANT: return FADF_VARIANT;
    default: return 0;
  }
}

bool IsScalarType(VARTYPE base) {
  switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return true;
    default: return false;
  }
}

HRESULT ValidateType(VARTYPE vt) {
  if (vt & (VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (vt & VT_ARRAY) return ElementSize(base) != 0 ? S_OK : DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) {
    return (base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL)) ? S_OK
                                                                                               : DISP_E_BADVARTYPE;
  }
  // A bare VT_VARIANT holds nothing, and a decimal owns nothing: both are
  // values to clear and copy.
  return IsScalarType(base) || base == VT_VARIANT || base == VT_DECIMAL ? S_OK : DISP_E_BADVARTYPE;
}

SAFEARRAY* AllocVector(VARTYPE vt, std::uint16_t features, std::uint32_t element_size, std::int32_t lower_bound,
                       std::uint32_t count) {
  const std::uint64_t data_bytes = std::uint64_t{element_size} * count;
  if (data_bytes > kMaxArrayBytes) return nullptr;
  const std::size_t total = kDataOffset + static_cast<std::size_t>(data_bytes);
  unsigned char* block = BytesOf(std::calloc(1, total));
  if (!block) return nullptr;
  return rt::ole_layout::MakeVector(block, vt, features, element_size, lower_bound, count);
}

void FreeVector(SAFEARRAY* psa) { std::free(BytesOf(psa) - kPrefixSize); }

// Releases what the elements own (strings, interfaces, nested variants).
void ReleaseElements(SAFEARRAY* psa) {
  const std::uint32_t count = psa->rgsabound[0].cElements;
  if (!psa->pvData || count == 0) return;
  if (psa->fFeatures & FADF_BSTR) {
    BSTR* items = static_cast<BSTR*>(psa->pvData);
    for (std::uint32_t i = 0; i < count; ++i) {
      SysFreeString(items[i]);
      items[i] = nullptr;
    }
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown** items = static_cast<IUnknown**>(psa->pvData);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (items[i]) items[i]->Release();
      items[i] = nullptr;
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    VARIANT* items = static_cast<VARIANT*>(psa->pvData);
    for (std::uint32_t i = 0; i < count; ++i) VariantClear(&items[i]);
  }
}

std::uint32_t StoredByteLength(BSTR text) {
  std::uint32_t length = 0;
  std::memcpy(&length, reinterpret_cast<unsigned char*>(text) - sizeof length, sizeof length);
  return length;
}

BSTR AllocStringBytes(const void* bytes, std::uint32_t length) {
  if (length > kMaxStringBytes) return nullptr;
  unsigned char* block = BytesOf(std::malloc(sizeof(std::uint32_t) + length + sizeof(OLECHAR)));
  if (!block) return nullptr;
  std::memcpy(block, &length, sizeof length);
  unsigned char* chars = block + sizeof(std::uint32_t);
  if (bytes) std::memcpy(chars, bytes, length);
  else std::memset(chars, 0, length);
  chars[length] = 0;
  chars[length + 1] = 0;
  return reinterpret_cast<BSTR>(chars);
}

}  // namespace

void VariantInit(VARIANTARG* v) noexcept {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->brecVal.pvRecord = nullptr;
  v->brecVal.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANTARG* v) noexcept {
  if (!v) return E_INVALIDARG;
  const HRESULT valid = ValidateType(v->vt);
  if (FAILED(valid)) return valid;
  if (v->vt & VT_BYREF) {
    // The referenced value belongs to someone else.
  } else if (v->vt & VT_ARRAY) {
    const HRESULT hr = SafeArrayDestroy(v->parray);
    if (FAILED(hr)) return hr;
  } else if (v->vt == VT_BSTR) {
    SysFreeString(v->bstrVal);
  } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
    if (v->punkVal) v->punkVal->Release();
  }
  v->vt = VT_EMPTY;  // only the type, as on Windows: the old value is not to be read
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) noexcept {
  if (!dest || !src) return E_INVALIDARG;
  const HRESULT valid = ValidateType(src->vt);
  if (FAILED(valid)) return valid;
  if (dest == src) return S_OK;
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) return cleared;

  VARIANT copy = *src;
  if (src->vt & VT_BYREF) {
    // A reference is copied as it stands.
  } else if (src->vt & VT_ARRAY) {
    if (src->parray) {
      const HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    }
  } else if (src->vt == VT_BSTR) {
    if (src->bstrVal) {
      copy.bstrVal = AllocStringBytes(src->bstrVal, StoredByteLength(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    }
  } else if (src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) {
    if (src->punkVal) src->punkVal->AddRef();
  }
  *dest = copy;
  return S_OK;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lower_bound, std::uint32_t count) noexcept {
  const std::uint32_t size = ElementSize(vt);
  if (size == 0) return nullptr;
  return AllocVector(vt, FADF_HAVEVARTYPE | ElementKindFeature(vt), size, lower_bound, count);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept {
  if (!psa) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  if (psa->cDims != 1) return E_INVALIDARG;
  const bool owned = (psa->fFeatures & FADF_CREATEVECTOR) != 0;
  if (!owned && !(psa->fFeatures & kOwnerlessFeatures)) return E_INVALIDARG;  // not allocated here
  ReleaseElements(psa);
  if (owned) FreeVector(psa);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!psa || psa->cDims != 1 || psa->cbElements == 0) return E_INVALIDARG;
  const std::uint32_t count = psa->rgsabound[0].cElements;
  if (count > 0 && !psa->pvData) return E_INVALIDARG;

  VARTYPE vt = VT_EMPTY;
  const bool known_type = SUCCEEDED(SafeArrayGetVartype(psa, &vt));
  const auto features = static_cast<std::uint16_t>((psa->fFeatures & kElementKindFeatures) |
                                                   (known_type ? FADF_HAVEVARTYPE : 0));
  SAFEARRAY* copy = AllocVector(vt, features, psa->cbElements, psa->rgsabound[0].lLbound, count);
  if (!copy) return E_OUTOFMEMORY;

  if (psa->fFeatures & FADF_BSTR) {
    const BSTR* from = static_cast<const BSTR*>(psa->pvData);
    BSTR* to = static_cast<BSTR*>(copy->pvData);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!from[i]) continue;
      to[i] = AllocStringBytes(from[i], StoredByteLength(from[i]));
      if (!to[i]) {
        SafeArrayDestroy(copy);
        return E_OUTOFMEMORY;
      }
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    const VARIANT* from = static_cast<const VARIANT*>(psa->pvData);
    VARIANT* to = static_cast<VARIANT*>(copy->pvData);
    for (std::uint32_t i = 0; i < count; ++i) {
      const HRESULT hr = VariantCopy(&to[i], &from[i]);
      if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
      }
    }
  } else {
    std::memcpy(copy->pvData, psa->pvData, std::size_t{psa->cbElements} * count);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown** items = static_cast<IUnknown**>(copy->pvData);
      for (std::uint32_t i = 0; i < count; ++i)
        if (items[i]) items[i]->AddRef();
    }
  }
  *out = copy;
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == std::numeric_limits<std::uint32_t>::max()) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) noexcept {
  if (!psa || !data) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *data = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, unsigned int dim, std::int32_t* lower_bound) noexcept {
  if (!psa || !lower_bound) return E_INVALIDARG;
  if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
  if (psa->cDims != 1) return E_INVALIDARG;
  *lower_bound = psa->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, unsigned int dim, std::int32_t* upper_bound) noexcept {
  if (!psa || !upper_bound) return E_INVALIDARG;
  if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
  if (psa->cDims != 1) return E_INVALIDARG;
  const std::int64_t upper = std::int64_t{psa->rgsabound[0].lLbound} + psa->rgsabound[0].cElements - 1;
  *upper_bound = static_cast<std::int32_t>(upper);
  return S_OK;
}

unsigned int SafeArrayGetDim(SAFEARRAY* psa) noexcept { return psa ? psa->cDims : 0; }

unsigned int SafeArrayGetElemsize(SAFEARRAY* psa) noexcept { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) noexcept {
  if (!psa || !vt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    std::uint32_t stored = 0;
    std::memcpy(&stored, BytesOf(psa) - sizeof stored, sizeof stored);
    *vt = static_cast<VARTYPE>(stored);
  } else if (psa->fFeatures & FADF_BSTR) {
    *vt = VT_BSTR;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *vt = VT_UNKNOWN;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *vt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *vt = VT_VARIANT;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

BSTR SysAllocString(const OLECHAR* text) noexcept {
  if (!text) return nullptr;
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  if (length > kMaxStringBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text, static_cast<unsigned int>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length) noexcept {
  if (length > kMaxStringBytes / sizeof(OLECHAR)) return nullptr;
  return AllocStringBytes(text, static_cast<std::uint32_t>(length * sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, unsigned int length) noexcept { return AllocStringBytes(bytes, length); }

void SysFreeString(BSTR text) noexcept {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

unsigned int SysStringLen(BSTR text) noexcept { return text ? StoredByteLength(text) / sizeof(OLECHAR) : 0; }

unsigned int SysStringByteLen(BSTR text) noexcept { return text ? StoredByteLength(text) : 0; }
