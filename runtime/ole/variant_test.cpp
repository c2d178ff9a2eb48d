#include "runtime/ole/variant.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "runtime/errors.h"

namespace {

// The tests' texts are char16_t literals; OLECHAR is the same 16-bit unit
// under the name each system gives it (wchar_t on Windows).
const OLECHAR* Ole(const char16_t* text) { return reinterpret_cast<const OLECHAR*>(text); }

// The system's IUnknown has a public non-virtual destructor; the test
// object is never deleted through it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// An interface whose references are counted, to see AddRef and Release.
struct CountedObject : IUnknown {
  virtual ~CountedObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};
#pragma GCC diagnostic pop

SAFEARRAY* ByteArray(std::initializer_list<std::uint8_t> bytes, std::int32_t lower_bound = 0) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, lower_bound, static_cast<std::uint32_t>(bytes.size()));
  if (psa && bytes.size() > 0) std::memcpy(psa->pvData, bytes.begin(), bytes.size());
  return psa;
}

std::u16string_view View(BSTR s) { return {reinterpret_cast<const char16_t*>(s), SysStringLen(s)}; }

TEST(VariantLayout, MatchesWindowsForThePointerSize) {
  EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 4 ? 16u : 24u);
  EXPECT_EQ(offsetof(VARIANT, vt), 0u);
  EXPECT_EQ(offsetof(VARIANT, wReserved1), 2u);
  EXPECT_EQ(offsetof(VARIANT, wReserved2), 4u);
  EXPECT_EQ(offsetof(VARIANT, wReserved3), 6u);
  EXPECT_EQ(offsetof(VARIANT, llVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, byref), 8u);
  EXPECT_EQ(sizeof(SAFEARRAY), sizeof(void*) == 4 ? 24u : 32u);
  EXPECT_EQ(offsetof(SAFEARRAY, pvData), sizeof(void*) == 4 ? 12u : 16u);
  EXPECT_EQ(offsetof(SAFEARRAY, rgsabound), sizeof(void*) == 4 ? 16u : 24u);
}

TEST(Variant, InitAndClear) {
  VARIANT v;
  std::memset(&v, 0xAB, sizeof v);
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(Ole(u"实验室文件"));
  EXPECT_EQ(VariantClear(&v), S_OK);  // the sanitizer reports the string if it leaks
  EXPECT_EQ(v.vt, VT_EMPTY);

  v.vt = VT_ARRAY | VT_UI1;
  v.parray = ByteArray({1, 2, 3});
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // Only the type changes: the value is left as it was.
  v.vt = VT_I4;
  v.lVal = 7;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(v.lVal, 7);

  // A bare VT_VARIANT and a VT_DECIMAL own nothing and clear like numbers.
  for (VARTYPE plain : {VARTYPE{VT_VARIANT}, VARTYPE{VT_DECIMAL}}) {
    v.vt = plain;
    EXPECT_EQ(VariantClear(&v), S_OK) << plain;
    EXPECT_EQ(v.vt, VT_EMPTY) << plain;
  }
}

// The system's functions do not look for null arguments; the runtime's own
// answer E_INVALIDARG instead of crashing.
TEST(Variant, NullArgumentsAreRefusedByTheRuntimesOwnFunctions) {
  if (RT_OLE_NATIVE) GTEST_SKIP() << "the system's functions crash on null arguments";
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(nullptr, &v), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&v, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
}

TEST(Variant, ClearRefusesBadTypesAndLockedArrays) {
  VARIANT v;
  VariantInit(&v);
  for (VARTYPE bad : {VARTYPE{15}, VARTYPE{VT_VOID}, VARTYPE{VT_LPWSTR}, VARTYPE{VT_VECTOR | VT_I4}, VARTYPE{0x7F},
                      VARTYPE{VT_ARRAY | VT_EMPTY}, VARTYPE{VT_BYREF | VT_EMPTY}, VARTYPE{VT_ARRAY | VT_NULL}}) {
    v.vt = bad;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
    EXPECT_EQ(v.vt, bad);
  }

  v.vt = VT_ARRAY | VT_UI1;
  v.parray = ByteArray({1});
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(v.parray), S_OK);
  EXPECT_EQ(SafeArrayDestroy(v.parray), S_OK);  // the refused clear left the array whole
}

TEST(Variant, CopyOfByteArrayIsDeep) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_ARRAY | VT_UI1;
  src.parray = ByteArray({0x10, 0x5C, 0xFF}, -2);

  VARIANT dest;
  VariantInit(&dest);
  dest.vt = VT_BSTR;
  dest.bstrVal = SysAllocString(Ole(u"previous"));  // released by the copy
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  ASSERT_EQ(dest.vt, VT_ARRAY | VT_UI1);
  ASSERT_NE(dest.parray, src.parray);
  ASSERT_NE(dest.parray->pvData, src.parray->pvData);

  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(dest.parray, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(dest.parray, 1, &upper), S_OK);
  EXPECT_EQ(lower, -2);
  EXPECT_EQ(upper, 0);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(dest.parray, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);

  static_cast<std::uint8_t*>(src.parray->pvData)[1] = 0;
  EXPECT_EQ(static_cast<std::uint8_t*>(dest.parray->pvData)[1], 0x5C);

  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(static_cast<std::uint8_t*>(dest.parray->pvData)[2], 0xFF);
  EXPECT_EQ(VariantClear(&dest), S_OK);
}

TEST(Variant, CopyOfStringsAndNestedVariants) {
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  const char16_t with_zero[] = {u'名', 0, u'称'};
  src.bstrVal = SysAllocStringLen(Ole(with_zero), 3);

  VARIANT dest;
  VariantInit(&dest);
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_NE(dest.bstrVal, src.bstrVal);
  EXPECT_EQ(View(dest.bstrVal), std::u16string_view(with_zero, 3));
  EXPECT_EQ(VariantCopy(&dest, &dest), S_OK);  // copying onto itself keeps the value
  EXPECT_EQ(View(dest.bstrVal), std::u16string_view(with_zero, 3));
  VariantClear(&dest);

  // An array of variants holding strings: every string is copied.
  VARIANT list;
  VariantInit(&list);
  list.vt = VT_ARRAY | VT_VARIANT;
  list.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  ASSERT_NE(list.parray, nullptr);
  VARIANT* items = static_cast<VARIANT*>(list.parray->pvData);
  EXPECT_EQ(items[0].vt, VT_EMPTY);
  ASSERT_EQ(VariantCopy(&items[0], &src), S_OK);
  items[1].vt = VT_R8;
  items[1].dblVal = 2.5;
  ASSERT_EQ(VariantCopy(&dest, &list), S_OK);
  const VARIANT* copied = static_cast<const VARIANT*>(dest.parray->pvData);
  EXPECT_NE(copied[0].bstrVal, items[0].bstrVal);
  EXPECT_EQ(View(copied[0].bstrVal), std::u16string_view(with_zero, 3));
  EXPECT_EQ(copied[1].dblVal, 2.5);
  EXPECT_EQ(VariantClear(&list), S_OK);
  EXPECT_EQ(VariantClear(&dest), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
}

TEST(Variant, CopyOfReferencesAndInterfaces) {
  LONG target = 5;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &target;
  VARIANT dest;
  VariantInit(&dest);
  ASSERT_EQ(VariantCopy(&dest, &ref), S_OK);
  EXPECT_EQ(dest.plVal, &target);
  EXPECT_EQ(VariantClear(&dest), S_OK);
  EXPECT_EQ(target, 5);

  CountedObject object;
  VARIANT unk;
  VariantInit(&unk);
  unk.vt = VT_UNKNOWN;
  unk.punkVal = &object;
  ASSERT_EQ(VariantCopy(&dest, &unk), S_OK);
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(VariantClear(&dest), S_OK);
  EXPECT_EQ(object.refs, 1u);

  // A source of a bad type leaves the destination alone.
  dest.vt = VT_I4;
  dest.lVal = 9;
  VARIANT bad;
  VariantInit(&bad);
  for (VARTYPE type : {VARTYPE{VT_VECTOR | VT_I4}, VARTYPE{VT_CLSID}}) {
    bad.vt = type;
    EXPECT_EQ(VariantCopy(&dest, &bad), DISP_E_BADVARTYPE) << type;
    EXPECT_EQ(dest.vt, VT_I4);
    EXPECT_EQ(dest.lVal, 9);
  }
}

TEST(SafeArray, CreateVector) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, -3, 5);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
  EXPECT_EQ(lower, -3);
  EXPECT_EQ(upper, 1);
  const auto* data = static_cast<const std::int32_t*>(psa->pvData);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(data[i], 0);
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lower), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &upper), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, EmptyAndImpossibleVectors) {
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG upper = 0;
  EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, -1);
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);

  EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0, 0xF0000000u), nullptr);  // more than a process can hold
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, AccessLocksTheArray) {
  SAFEARRAY* psa = ByteArray({1, 2});
  void* data = nullptr;
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(data, psa->pvData);
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayAccessData(psa, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, DestroyReleasesElements) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 1, 2);
  ASSERT_NE(strings, nullptr);
  EXPECT_TRUE(strings->fFeatures & FADF_BSTR);
  static_cast<BSTR*>(strings->pvData)[0] = SysAllocString(Ole(u"誠實"));
  EXPECT_EQ(SafeArrayDestroy(strings), S_OK);  // the sanitizer reports the string if it leaks

  CountedObject object;
  SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  ASSERT_NE(objects, nullptr);
  object.AddRef();
  static_cast<IUnknown**>(objects->pvData)[0] = &object;
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
  EXPECT_EQ(object.refs, 1u);
}

TEST(Bstr, LengthPrefixAndTerminator) {
  BSTR s = SysAllocString(Ole(u"检验A"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);

  BSTR bytes = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(bytes), 3u);
  EXPECT_EQ(SysStringLen(bytes), 1u);
  EXPECT_EQ(std::memcmp(bytes, "abc\0", 5), 0);
  SysFreeString(bytes);

  BSTR blank = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(View(blank), std::u16string_view(u"\0\0", 2));
  SysFreeString(blank);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(OleVariant, OwnsAndCopiesItsValue) {
  rt::OleVariant bytes = rt::OleVariant::FromBytes(std::vector<std::uint8_t>{0xB1, 0x5C, 0x00});
  EXPECT_EQ(bytes.Type(), VT_ARRAY | VT_UI1);
  rt::OleVariant copy = bytes;
  ASSERT_NE(copy->parray, bytes->parray);
  EXPECT_EQ(std::memcmp(copy->parray->pvData, bytes->parray->pvData, 3), 0);
  EXPECT_EQ(copy->parray->rgsabound[0].cElements, 3u);

  rt::OleVariant moved = std::move(copy);
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from variant is empty
  EXPECT_EQ(moved.Type(), VT_ARRAY | VT_UI1);

  VARIANT out;
  VariantInit(&out);
  out.vt = VT_BSTR;
  out.bstrVal = SysAllocString(Ole(u"old"));
  moved.Detach(&out);  // releases the string
  EXPECT_TRUE(moved.IsEmpty());
  EXPECT_EQ(out.vt, VT_ARRAY | VT_UI1);

  rt::OleVariant holder;
  holder.Attach(out);
  EXPECT_EQ(out.vt, VT_EMPTY);
  EXPECT_EQ(holder.Type(), VT_ARRAY | VT_UI1);

  rt::OleVariant text = rt::OleVariant::FromString(Ole(u"名称"));
  EXPECT_EQ(View(text->bstrVal), u"名称");
  holder = text;
  EXPECT_NE(holder->bstrVal, text->bstrVal);
  EXPECT_EQ(View(holder->bstrVal), u"名称");

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = VT_VECTOR | VT_I4;  // not a value a variant can hold
  EXPECT_THROW(rt::OleVariant{bad}, rt::EOleError);
}

}  // namespace
