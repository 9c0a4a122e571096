#pragma once
// COM as far as the library uses it: apartment initialisation (counted per thread, as on the
// platform), GUIDs, BSTR and VARIANT values, and CoCreateInstance over a registry of
// in-process classes that the other stand-ins (the DxDiag provider) register.
#include <cstdint>
#include <functional>

#include "platform/win32/win32_types.h"

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at its first character; the byte length sits in the 4 bytes before it and
// a terminator follows the text. Allocate and free only with the Sys* functions.
using BSTR = OLECHAR*;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DOUBLE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// The VARIANT kinds the library reads (platform values).
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;    // VT_I8
        ULONGLONG ullVal;  // VT_UI8
        LONG lVal;         // VT_I4
        ULONG ulVal;       // VT_UI4
        INT intVal;        // VT_INT
        UINT uintVal;      // VT_UINT
        SHORT iVal;        // VT_I2
        BYTE bVal;         // VT_UI1
        FLOAT fltVal;      // VT_R4
        DOUBLE dblVal;     // VT_R8
        VARIANT_BOOL boolVal;  // VT_BOOL
        BSTR bstrVal;      // VT_BSTR, owned by the variant
    };
};

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// S_OK for the thread's first initialisation, S_FALSE for a nested one (both must be
// balanced by CoUninitialize), or the failure scripted with win32::FailNextCoInitialize.
HRESULT CoInitialize(LPVOID reserved);
// Ends one initialisation of the calling thread; without one it does nothing.
void CoUninitialize();

// A new random (version 4) GUID. E_INVALIDARG for null; see the switches below.
HRESULT CoCreateGuid(GUID* guid);
// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex) and returns the units
// written including the terminator (39); 0 and nothing written when the buffer is null or
// shorter than 39 units.
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int bufferLength);

// Creates an object of a registered class. Results: E_POINTER for a null `object`;
// CLASS_E_NOAGGREGATION with an outer object; CO_E_NOTINITIALIZED when the calling thread
// has not called CoInitialize; REGDB_E_CLASSNOTREG for a class that is not registered or a
// context without CLSCTX_INPROC_SERVER; else the factory's result. *object is null on failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);

// Null text gives null; SysAllocStringLen copies `length` units (zeros for null text) and
// terminates. Null on allocation failure.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);  // null is fine
UINT SysStringLen(BSTR text);   // units, 0 for null

void VariantInit(VARIANT* value);  // VT_EMPTY
// Frees what the variant owns (a BSTR) and makes it VT_EMPTY. E_INVALIDARG for null,
// DISP_E_BADVARTYPE (variant untouched) for a kind not listed above.
HRESULT VariantClear(VARIANT* value);

namespace win32 {

// Makes an object of a class for CoCreateInstance: gets the requested interface id and the
// out pointer (already null), returns an HRESULT.
using ComClassFactory = std::function<HRESULT(REFIID iid, void** object)>;
// Registers (or replaces) a class; an empty factory removes it. Thread-safe.
void RegisterComClass(const CLSID& clsid, ComClassFactory factory);
void UnregisterComClass(const CLSID& clsid);

// The calling thread's CoInitialize calls not yet balanced by CoUninitialize.
int ComInitCount();
// The next CoInitialize (any thread) fails with `result` and counts nothing.
void FailNextCoInitialize(HRESULT result);

// CoCreateGuid switches: fail the next `count` calls with E_FAIL; or produce a sequence
// that depends only on `seed` (still version 4), until UseRandomGuids.
void FailNextCoCreateGuid(int count);
void UseDeterministicGuids(std::uint64_t seed);
void UseRandomGuids();

// BSTRs allocated and not yet freed, for leak checks.
int LiveBstrCount();

// Back to the start: no classes, no scripted failures, random GUIDs, the calling thread's
// initialisation count 0.
void ResetCom();

}  // namespace win32
