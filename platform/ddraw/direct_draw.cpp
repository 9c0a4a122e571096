#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/d3d9/control.h"
#include "platform/ddraw/ddraw.h"
#include "platform/ddraw/direct_draw_state.h"
#include "platform/win32/com.h"

namespace {

DWORD SaturateToDword(std::uint64_t bytes) {
    return static_cast<DWORD>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
}

class DirectDraw final : public IDirectDraw7 {
public:
    DirectDraw() { ddrawctl::detail::ObjectCreated(); }
    DirectDraw(const DirectDraw&) = delete;
    DirectDraw& operator=(const DirectDraw&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(iid == IID_IDirectDraw7)) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IDirectDraw7*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        HRESULT result = DD_OK;
        if (flags == 0) result = DDERR_INVALIDPARAMS;
        else if (flags != DDSCL_NORMAL) result = DDERR_UNSUPPORTED;
        return ddrawctl::detail::OnCooperativeLevel(window, flags, result);
    }

    HRESULT GetCaps(DDCAPS* driverCaps, DDCAPS* helCaps) override {
        const HRESULT scripted = ddrawctl::detail::OnGetCaps();
        if (FAILED(scripted)) return scripted;
        if (!driverCaps && !helCaps) return DDERR_INVALIDPARAMS;
        if ((driverCaps && driverCaps->dwSize != sizeof(DDCAPS)) || (helCaps && helCaps->dwSize != sizeof(DDCAPS)))
            return DDERR_INVALIDPARAMS;
        if (driverCaps) {
            std::memset(driverCaps, 0, sizeof *driverCaps);
            driverCaps->dwSize = sizeof *driverCaps;
            driverCaps->dwVidMemTotal = SaturateToDword(d3d9ctl::TextureMemoryTotal());
            driverCaps->dwVidMemFree = SaturateToDword(d3d9ctl::TextureMemoryFree());
        }
        if (helCaps) {
            // The emulation layer works in system memory and owns no video memory.
            std::memset(helCaps, 0, sizeof *helCaps);
            helCaps->dwSize = sizeof *helCaps;
        }
        return DD_OK;
    }

private:
    ~DirectDraw() { ddrawctl::detail::ObjectDestroyed(); }

    std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT DirectDrawCreateEx(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer) {
    const HRESULT scripted = ddrawctl::detail::OnCreate();
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (FAILED(scripted)) return scripted;
    if (guid) return DDERR_INVALIDDIRECTDRAWGUID;
    if (!(iid == IID_IDirectDraw7)) return DDERR_INVALIDPARAMS;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) DirectDraw();
    if (!object) return DDERR_OUTOFMEMORY;
    *directDraw = static_cast<IDirectDraw7*>(object);
    return DD_OK;
}
