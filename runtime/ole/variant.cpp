#include "runtime/ole/variant.h"

#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "runtime/errors.h"

namespace rt {

namespace {
void Check(HRESULT hr, const char* what) {
  if (FAILED(hr)) throw EOleError(std::string(what) + " failed", static_cast<long>(hr));
}
}  // namespace

OleVariant::OleVariant(const VARIANT& value) {
  VariantInit(&value_);
  // Older SDK headers declare the source without const.
  Check(VariantCopy(&value_, const_cast<VARIANT*>(&value)), "VariantCopy");
}

OleVariant::OleVariant(const OleVariant& other) : OleVariant(other.value_) {}

OleVariant::OleVariant(OleVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

OleVariant& OleVariant::operator=(const OleVariant& other) {
  if (this != &other) {
    OleVariant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

OleVariant& OleVariant::operator=(OleVariant&& other) noexcept {
  if (this != &other) {
    VariantClear(&value_);
    value_ = other.value_;
    VariantInit(&other.value_);
  }
  return *this;
}

OleVariant OleVariant::FromInt32(std::int32_t value) {
  OleVariant v;
  v.value_.vt = VT_I4;
  v.value_.lVal = value;
  return v;
}

OleVariant OleVariant::FromDouble(double value) {
  OleVariant v;
  v.value_.vt = VT_R8;
  v.value_.dblVal = value;
  return v;
}

OleVariant OleVariant::FromDate(DATE value) {
  OleVariant v;
  v.value_.vt = VT_DATE;
  v.value_.date = value;
  return v;
}

OleVariant OleVariant::FromBool(bool value) {
  OleVariant v;
  v.value_.vt = VT_BOOL;
  v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

OleVariant OleVariant::FromString(std::basic_string_view<OLECHAR> text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max() / 4)
    throw EOleError("String too long for a BSTR", static_cast<long>(E_OUTOFMEMORY));
  static constexpr OLECHAR kEmpty[1] = {0};
  BSTR s = SysAllocStringLen(text.empty() ? kEmpty : text.data(), static_cast<unsigned int>(text.size()));
  if (!s) throw EOleError("SysAllocStringLen failed", static_cast<long>(E_OUTOFMEMORY));
  OleVariant v;
  v.value_.vt = VT_BSTR;
  v.value_.bstrVal = s;
  return v;
}

OleVariant OleVariant::Null() {
  OleVariant v;
  v.value_.vt = VT_NULL;
  return v;
}

OleVariant OleVariant::FromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > 0x7FFFFFFF) throw EOleError("Byte array too large", static_cast<long>(E_OUTOFMEMORY));
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<std::uint32_t>(bytes.size()));
  if (!psa) throw EOleError("SafeArrayCreateVector failed", static_cast<long>(E_OUTOFMEMORY));
  OleVariant v;
  v.value_.vt = VT_ARRAY | VT_UI1;
  v.value_.parray = psa;
  void* data = nullptr;
  Check(SafeArrayAccessData(psa, &data), "SafeArrayAccessData");
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  Check(SafeArrayUnaccessData(psa), "SafeArrayUnaccessData");
  return v;
}

void OleVariant::Clear() { Check(VariantClear(&value_), "VariantClear"); }

void OleVariant::Attach(VARIANT& value) {
  Clear();
  value_ = value;
  VariantInit(&value);
}

void OleVariant::Detach(VARIANT* out) {
  if (!out) throw EOleError("Detach into no variant", static_cast<long>(E_POINTER));
  Check(VariantClear(out), "VariantClear");
  *out = value_;
  VariantInit(&value_);
}

}  // namespace rt
