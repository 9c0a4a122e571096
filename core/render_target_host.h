#pragma once
// What render targets, render windows, the scene manager and the dynamic buffers need of the
// renderer that owns them. The renderer is reached only through this seam, so that these
// classes can be driven by a small stand-in in tests; MakeRendererHost binds them to a real
// CLumiscriber.
#include <memory>

#include "core/device_enumeration.h"
#include "platform/d3d9/d3d9.h"

class CLumiscriber;
class CRenderTarget;
struct viewport_t;

class CRenderTargetHost {
public:
    virtual ~CRenderTargetHost() = default;

    // The current device; null between devices (during a display-mode change).
    virtual IDirect3DDevice9* GetDevice() const = 0;
    // The settings the device was made with: back-buffer format, depth format, multisampling.
    virtual const STRU_DEVICE_SETTINGS& GetDeviceSettings() const = 0;

    virtual bool IsDeviceLost() const = 0;
    // A Present or EndScene reported D3DERR_DEVICELOST. The first report of a loss marks the
    // renderer lost and releases everything in the default pool; later ones do nothing.
    virtual void EnterLostState() = 0;

    // A target is going away: the renderer forgets it (by identity, never by name) and
    // anything current that points into it.
    virtual void UnregisterRenderTarget(CRenderTarget* target) = 0;

    // Makes the viewport current on the device: its target's surfaces and the device
    // viewport from its pixel rectangle.
    virtual void ApplyViewport(viewport_t* viewport) = 0;

    // The renderer behind this host, handed to the draw layers' batch processors; null for a
    // host that is not a renderer.
    virtual CLumiscriber* GetRenderer() const { return nullptr; }
};

// A host that forwards to `renderer`, which must outlive it. Never null.
std::unique_ptr<CRenderTargetHost> MakeRendererHost(CLumiscriber* renderer);
