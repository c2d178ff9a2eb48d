// OLE VARIANT and SAFEARRAY: the self-describing values in which the host
// and its plug-ins pass data packets and automation arguments.
//
// On Windows these are the system's own definitions. Elsewhere the runtime
// supplies them with the same names, layout and meaning for the pointer size
// (VARIANT is 16 bytes on 32-bit targets and 24 bytes on 64-bit ones), and
// the Variant*/SafeArray*/Sys* functions (ole_api_posix.cpp) behave as the
// Windows ones do: they return HRESULTs and never throw.
//
// Differences from the Windows functions on other systems:
//  - SafeArrayCreateVector is the only way to create an array; arrays are
//    one-dimensional, and their data size is limited to 0x7FFFFFFF bytes.
//  - VT_RECORD and VT_VECTOR values are not supported; the functions answer
//    DISP_E_BADVARTYPE for them. A VT_DECIMAL is cleared and copied as the
//    16 bytes it is, and is no element type of an array.
//  - Null arguments are answered with E_INVALIDARG (the system's functions
//    do not look for them).
#pragma once

#if defined(_WIN32)

#include <windows.h>
#include <oleauto.h>

#define RT_OLE_NATIVE 1

#else

#include <cstddef>
#include <cstdint>

#define RT_OLE_NATIVE 0

// ---- Scalar types ---------------------------------------------------------

using LONG = std::int32_t;
using ULONG = std::uint32_t;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;  // days since 1899-12-30, the fraction being the time of day
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at the first character; the 32-bit byte length (without the
// terminating zero) is kept in the four bytes before it.
using BSTR = OLECHAR*;
using DISPID = std::int32_t;
using LCID = std::uint32_t;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

// ---- Variant types --------------------------------------------------------

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_LPWSTR = 31,
  VT_RECORD = 36,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_ILLEGAL = 0xFFFF,
  VT_ILLEGALMASKED = 0x0FFF,
  VT_TYPEMASK = 0x0FFF
};

// ---- Interfaces -----------------------------------------------------------

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

// The root interface: reference counting and interface queries. VARIANTs of
// type VT_UNKNOWN and VT_DISPATCH hold a reference (AddRef on copy, Release
// on clear).
#define STDMETHODCALLTYPE
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct ITypeInfo;
struct tagVARIANT;
using VARIANTARG = tagVARIANT;

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // arguments in reverse order
  DISPID* rgdispidNamedArgs;
  std::uint32_t cArgs;
  std::uint32_t cNamedArgs;
};

struct EXCEPINFO {
  std::uint16_t wCode;
  std::uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  std::uint32_t dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;

// Late-bound calls: members found by name, then invoked with VARIANT
// arguments.
struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, std::uint32_t count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, std::uint16_t flags, DISPPARAMS* params,
                         VARIANTARG* result, EXCEPINFO* excep_info, std::uint32_t* arg_err) = 0;

 protected:
  ~IDispatch() = default;
};

// ---- SAFEARRAY -------------------------------------------------------------

struct SAFEARRAYBOUND {
  std::uint32_t cElements;
  std::int32_t lLbound;
};

struct SAFEARRAY {
  std::uint16_t cDims;
  std::uint16_t fFeatures;
  std::uint32_t cbElements;
  std::uint32_t cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

// fFeatures
inline constexpr std::uint16_t FADF_AUTO = 0x0001;
inline constexpr std::uint16_t FADF_STATIC = 0x0002;
inline constexpr std::uint16_t FADF_EMBEDDED = 0x0004;
inline constexpr std::uint16_t FADF_FIXEDSIZE = 0x0010;
inline constexpr std::uint16_t FADF_RECORD = 0x0020;
inline constexpr std::uint16_t FADF_HAVEIID = 0x0040;
inline constexpr std::uint16_t FADF_HAVEVARTYPE = 0x0080;
inline constexpr std::uint16_t FADF_BSTR = 0x0100;
inline constexpr std::uint16_t FADF_UNKNOWN = 0x0200;
inline constexpr std::uint16_t FADF_DISPATCH = 0x0400;
inline constexpr std::uint16_t FADF_VARIANT = 0x0800;
// Descriptor and data in one allocation (SafeArrayCreateVector).
inline constexpr std::uint16_t FADF_CREATEVECTOR = 0x2000;

// ---- VARIANT --------------------------------------------------------------

struct CY {
  std::int64_t int64;  // the amount times 10000
};

// The record member of a VARIANT: two pointers.
struct tagBRECORD {
  void* pvRecord;
  void* pRecInfo;
};

struct tagVARIANT {
  VARTYPE vt;
  std::uint16_t wReserved1;
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int64_t llVal;
    std::int32_t lVal;
    std::uint8_t bVal;
    std::int16_t iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    std::uint8_t* pbVal;
    std::int16_t* piVal;
    std::int32_t* plVal;
    std::int64_t* pllVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    CY* pcyVal;
    DATE* pdate;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    tagVARIANT* pvarVal;
    void* byref;
    char cVal;
    std::uint16_t uiVal;
    std::uint32_t ulVal;
    std::uint64_t ullVal;
    std::int32_t intVal;
    std::uint32_t uintVal;
    char* pcVal;
    std::uint16_t* puiVal;
    std::uint32_t* pulVal;
    std::uint64_t* pullVal;
    std::int32_t* pintVal;
    std::uint32_t* puintVal;
    tagBRECORD brecVal;  // 16 bytes on 64-bit targets
  };
};
using VARIANT = tagVARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANTARG*;

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(VARIANT) == (sizeof(void*) == 4 ? 16 : 24), "VARIANT must have the Windows size");
static_assert(offsetof(VARIANT, vt) == 0);
static_assert(offsetof(VARIANT, wReserved1) == 2);
static_assert(offsetof(VARIANT, wReserved3) == 6);
static_assert(offsetof(VARIANT, lVal) == 8);
static_assert(offsetof(VARIANT, dblVal) == 8);
static_assert(offsetof(VARIANT, parray) == 8);
static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == (sizeof(void*) == 4 ? 12 : 16));
static_assert(offsetof(SAFEARRAY, rgsabound) == (sizeof(void*) == 4 ? 16 : 24));
static_assert(sizeof(SAFEARRAY) == (sizeof(void*) == 4 ? 24 : 32));

// Accessors as Windows spells them.
#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)
#define V_R8(v) ((v)->dblVal)
#define V_DATE(v) ((v)->date)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_ARRAY(v) ((v)->parray)
#define V_BYREF(v) ((v)->byref)

// ---- Functions --------------------------------------------------------------

void VariantInit(VARIANTARG* v) noexcept;
HRESULT VariantClear(VARIANTARG* v) noexcept;
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) noexcept;

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lower_bound, std::uint32_t count) noexcept;
HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** out) noexcept;
HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) noexcept;
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, unsigned int dim, std::int32_t* lower_bound) noexcept;
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, unsigned int dim, std::int32_t* upper_bound) noexcept;
unsigned int SafeArrayGetDim(SAFEARRAY* psa) noexcept;
unsigned int SafeArrayGetElemsize(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) noexcept;

BSTR SysAllocString(const OLECHAR* text) noexcept;
BSTR SysAllocStringLen(const OLECHAR* text, unsigned int length) noexcept;
BSTR SysAllocStringByteLen(const char* bytes, unsigned int length) noexcept;
void SysFreeString(BSTR text) noexcept;
unsigned int SysStringLen(BSTR text) noexcept;
unsigned int SysStringByteLen(BSTR text) noexcept;

#endif  // _WIN32

#include <cstdint>
#include <span>
#include <string_view>

namespace rt {

// Owns one VARIANT: initialised on construction, cleared on destruction,
// deep-copied on copy. Failures of the underlying functions are raised as
// rt::EOleError.
class OleVariant {
 public:
  OleVariant() noexcept { VariantInit(&value_); }
  explicit OleVariant(const VARIANT& value);  // deep copy
  OleVariant(const OleVariant& other);
  OleVariant(OleVariant&& other) noexcept;
  OleVariant& operator=(const OleVariant& other);
  OleVariant& operator=(OleVariant&& other) noexcept;
  ~OleVariant() { VariantClear(&value_); }

  static OleVariant FromInt32(std::int32_t value);
  static OleVariant FromDouble(double value);
  static OleVariant FromDate(DATE value);
  static OleVariant FromBool(bool value);
  static OleVariant FromString(std::basic_string_view<OLECHAR> text);
  static OleVariant Null();
  // A one-dimensional byte array (VT_ARRAY | VT_UI1) holding a copy of bytes.
  static OleVariant FromBytes(std::span<const std::uint8_t> bytes);

  VARTYPE Type() const { return value_.vt; }
  bool IsEmpty() const { return value_.vt == VT_EMPTY; }
  const VARIANT& Get() const { return value_; }
  VARIANT* Ptr() { return &value_; }
  const VARIANT* operator->() const { return &value_; }

  // Releases the content; the value becomes VT_EMPTY.
  void Clear();
  // Takes over the content of value, which becomes VT_EMPTY.
  void Attach(VARIANT& value);
  // Hands the content to out (whose previous content is released) and
  // becomes VT_EMPTY.
  void Detach(VARIANT* out);

 private:
  VARIANT value_;
};

}  // namespace rt
