#include "platform/dxerr/dxerr.h"

#include <string>
#include <unordered_map>

#include "platform/d3d9/d3d9_types.h"

namespace {

struct ErrorText {
    HRESULT code;
    const char* name;
    const char* description;
};

constexpr HRESULT D3DXError(unsigned code) { return MAKE_HRESULT(1, 0x876, code); }

// Our own wording; ASCII only, so the wide forms are plain widenings.
constexpr ErrorText kErrors[] = {
    {S_OK, "S_OK", "The operation succeeded."},
    {S_FALSE, "S_FALSE", "The operation succeeded with a negative or empty answer."},
    {E_NOTIMPL, "E_NOTIMPL", "The function is not implemented."},
    {E_NOINTERFACE, "E_NOINTERFACE", "The object does not support the requested interface."},
    {E_POINTER, "E_POINTER", "A required pointer was null or invalid."},
    {E_ABORT, "E_ABORT", "The operation was aborted."},
    {E_FAIL, "E_FAIL", "An unspecified error occurred."},
    {E_UNEXPECTED, "E_UNEXPECTED", "A catastrophic failure occurred."},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "Access was denied."},
    {E_HANDLE, "E_HANDLE", "A handle was invalid."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "There is not enough memory to complete the operation."},
    {E_INVALIDARG, "E_INVALIDARG", "One or more arguments are invalid."},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "The class is not registered."},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "COM has not been initialized on this thread."},
    {static_cast<HRESULT>(0x800401F1u), "CO_E_ALREADYINITIALIZED", "COM is already initialized on this thread."},
    {static_cast<HRESULT>(0x80040110u), "CLASS_E_NOAGGREGATION", "The class cannot be created as part of an aggregate."},
    {static_cast<HRESULT>(0x80020008u), "DISP_E_BADVARTYPE", "The variant type is not valid."},
    {static_cast<HRESULT>(0x80010106u), "RPC_E_CHANGED_MODE", "COM was initialized on this thread in another mode."},
    {static_cast<HRESULT>(0x8007007Au), "DXDIAG_E_INSUFFICIENT_BUFFER", "The buffer is too small for the data."},
    {static_cast<HRESULT>(0x88760082u), "DDERR_INVALIDOBJECT", "DirectDraw received a pointer to an invalid object."},
    {static_cast<HRESULT>(0x88760231u), "DDERR_INVALIDDIRECTDRAWGUID", "The DirectDraw device identifier is not known."},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT", "The pixel format of the texture is not supported."},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION", "The colour blending operation is not supported."},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG", "The colour argument is not supported."},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION", "The alpha blending operation is not supported."},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG", "The alpha argument is not supported."},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS", "The device cannot do this many texture operations in one pass."},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER", "The texture filters cannot be used together."},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE", "The texture factor value is not supported."},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE", "The render states cannot be used together."},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER", "The texture filter is not supported."},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE", "The textures use conflicting palettes."},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR", "The driver met an internal error."},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND", "The requested item was not found."},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA", "There is more data than the buffer can hold."},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "The device has been lost and cannot be reset yet."},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET", "The device has been lost and can be reset now."},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "The requested feature is not available on this device."},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "There is not enough display memory to complete the operation."},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE", "The requested device type is not valid."},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", "The method call is invalid: a parameter has an invalid value."},
    {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL", "The driver rejected the call."},
    {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING", "The device was still drawing from the resource."},
    {D3DOK_NOAUTOGEN, "D3DOK_NOAUTOGEN", "The operation succeeded, but mipmaps are not generated automatically."},
    {D3DXError(2900), "D3DXERR_CANNOTMODIFYINDEXBUFFER", "The index buffer cannot be modified."},
    {D3DXError(2901), "D3DXERR_INVALIDMESH", "The mesh is invalid."},
    {D3DXError(2902), "D3DXERR_CANNOTATTRSORT", "Attribute sort is not supported as an optimization."},
    {D3DXError(2903), "D3DXERR_SKINNINGNOTSUPPORTED", "Skinning is not supported."},
    {D3DXError(2904), "D3DXERR_TOOMANYINFLUENCES", "There are too many influences."},
    {D3DXError(2905), "D3DXERR_INVALIDDATA", "The data is invalid."},
    {D3DXError(2906), "D3DXERR_LOADEDMESHASNODATA", "The loaded mesh has no data."},
    {D3DXError(2907), "D3DXERR_DUPLICATENAMEDFRAGMENT", "A fragment with that name already exists."},
    {D3DXError(2908), "D3DXERR_CANNOTREMOVELASTITEM", "The last item cannot be removed."},
};

constexpr const char* kUnknownName = "Unknown";
constexpr const char* kUnknownDescription = "Unknown error.";

const ErrorText* Find(HRESULT hr) {
    for (const ErrorText& entry : kErrors)
        if (entry.code == hr) return &entry;
    return nullptr;
}

std::u16string Widen(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

// Wide copies of every text, made once.
const std::unordered_map<const char*, std::u16string>& WideTexts() {
    static const auto* texts = [] {
        auto* map = new std::unordered_map<const char*, std::u16string>;
        for (const ErrorText& entry : kErrors) {
            (*map)[entry.name] = Widen(entry.name);
            (*map)[entry.description] = Widen(entry.description);
        }
        (*map)[kUnknownName] = Widen(kUnknownName);
        (*map)[kUnknownDescription] = Widen(kUnknownDescription);
        return map;
    }();
    return *texts;
}

}  // namespace

const char* DXGetErrorDescriptionA(HRESULT hr) {
    const ErrorText* entry = Find(hr);
    return entry != nullptr ? entry->description : kUnknownDescription;
}

const char* DXGetErrorStringA(HRESULT hr) {
    const ErrorText* entry = Find(hr);
    return entry != nullptr ? entry->name : kUnknownName;
}

const char16_t* DXGetErrorDescriptionW(HRESULT hr) { return WideTexts().at(DXGetErrorDescriptionA(hr)).c_str(); }

const char16_t* DXGetErrorStringW(HRESULT hr) { return WideTexts().at(DXGetErrorStringA(hr)).c_str(); }
