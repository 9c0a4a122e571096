#pragma once
// The DirectX diagnostic provider (DxDiag), as the library reads it: a tree of named
// containers ("DxDiag_SystemInfo", "DxDiag_DisplayDevices" with children "0", "1", ...)
// holding named properties as VARIANTs (VT_BSTR, VT_UI4, VT_I4, VT_BOOL).
//
// Created with CoCreateInstance(CLSID_DxDiagProvider, null, CLSCTX_INPROC_SERVER,
// IID_IDxDiagProvider, ...); dxdiagctl::Install (platform/dxdiag/control.h) registers the
// class. By default the data describe this machine (what Linux tells) and the software
// Direct3D 9 adapter, as of the moment Initialize runs.
#include "platform/win32/com.h"
#include "platform/win32/win32_types.h"

// {A65B8071-3BFE-4213-9A5B-491DA4461CA7}
inline constexpr CLSID CLSID_DxDiagProvider = {0xa65b8071, 0x3bfe, 0x4213, {0x9a, 0x5b, 0x49, 0x1d, 0xa4, 0x46, 0x1c, 0xa7}};
// {9C6B4CB0-23F8-49CC-A3ED-45A55000A6D2}
inline constexpr IID IID_IDxDiagProvider = {0x9c6b4cb0, 0x23f8, 0x49cc, {0xa3, 0xed, 0x45, 0xa5, 0x50, 0x00, 0xa6, 0xd2}};
// {7D0F462F-4064-4862-BC7F-933E5058C10F}
inline constexpr IID IID_IDxDiagContainer = {0x7d0f462f, 0x4064, 0x4862, {0xbc, 0x7f, 0x93, 0x3e, 0x50, 0x58, 0xc1, 0x0f}};

inline constexpr DWORD DXDIAG_DX9_SDK_VERSION = 111;
// A name buffer too small for the name (HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)).
inline constexpr HRESULT DXDIAG_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007Au);
inline constexpr HRESULT CO_E_ALREADYINITIALIZED = static_cast<HRESULT>(0x800401F1u);

struct DXDIAG_INIT_PARAMS {
    DWORD dwSize;                 // must be sizeof(DXDIAG_INIT_PARAMS)
    DWORD dwDxDiagHeaderVersion;  // must be DXDIAG_DX9_SDK_VERSION
    BOOL bAllowWHQLChecks;        // recorded, no effect here
    LPVOID pReserved;             // must be null
};

struct IDxDiagContainer : IUnknown {
    // Direct children, in their order.
    virtual HRESULT GetNumberOfChildContainers(DWORD* count) = 0;
    // Name of child `index` into `name` (capacity `nameCapacity` units, terminator
    // included). E_INVALIDARG for a null buffer, capacity 0 or an index past the end;
    // DXDIAG_E_INSUFFICIENT_BUFFER when the name does not fit (buffer then holds "").
    virtual HRESULT EnumChildContainerNames(DWORD index, LPWSTR name, DWORD nameCapacity) = 0;
    // A descendant by name or dotted path ("DxDiag_DisplayDevices.0"), with one reference.
    // E_INVALIDARG for a null argument or an unknown name (*container then null).
    virtual HRESULT GetChildContainer(LPCWSTR name, IDxDiagContainer** container) = 0;
    virtual HRESULT GetNumberOfProps(DWORD* count) = 0;
    // As EnumChildContainerNames, for the properties.
    virtual HRESULT EnumPropNames(DWORD index, LPWSTR name, DWORD nameCapacity) = 0;
    // Copies the property into `value`, which must be initialised (VariantInit): what it
    // held is cleared first. A text comes as a new BSTR the caller frees (VariantClear).
    // E_INVALIDARG for a null argument or an unknown name (`value` left as it was).
    virtual HRESULT GetProp(LPCWSTR name, VARIANT* value) = 0;

protected:
    ~IDxDiagContainer() = default;
};

struct IDxDiagProvider : IUnknown {
    // Gathers the information. E_POINTER for null, E_INVALIDARG for a wrong size, header
    // version or a non-null pReserved, CO_E_ALREADYINITIALIZED the second time.
    virtual HRESULT Initialize(DXDIAG_INIT_PARAMS* params) = 0;
    // The root container, with one reference. CO_E_NOTINITIALIZED before Initialize,
    // E_INVALIDARG for null. Containers stay valid after the provider is released.
    virtual HRESULT GetRootContainer(IDxDiagContainer** root) = 0;

protected:
    ~IDxDiagProvider() = default;
};
