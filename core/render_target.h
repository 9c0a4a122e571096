#pragma once
// Render targets: anything the renderer draws into. A target has a name, a size, a drawing
// priority and an ordered set of viewports; rendering a target renders its viewports in
// z-order through their cameras' scene manager. The renderer keeps every target in a
// registry by name and priority and renders the ready and enabled ones each frame, lowest
// priority first (the main window, 255, last). The host sees a target only as IRenderTarget.
//
// Pooled: CRenderTarget blocks come from the "CRenderTarget" pool, derived classes from
// their own pools.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "core/pool_table.h"
#include "core/renderer_interface.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

class CCamera;
class CRenderTargetHost;
struct viewport_t;

inline constexpr std::uint8_t kDefaultTargetPriority = 2;
inline constexpr std::uint8_t kRenderWindowPriority = 4;
inline constexpr std::uint8_t kMainWindowPriority = 255;

class CRenderTarget : public IRenderTarget {
public:
    // `host` may be null (a target that is never rendered by a renderer); it must outlive
    // the target. Ready and enabled, priority 2, scale 1, filters -1.
    explicit CRenderTarget(CRenderTargetHost* host);
    // Frees every viewport with its layers.
    virtual ~CRenderTarget();
    CRenderTarget(const CRenderTarget&) = delete;
    CRenderTarget& operator=(const CRenderTarget&) = delete;

    static void* operator new(std::size_t size) { return PooledAlloc<CRenderTarget>(size); }
    static void operator delete(void* block) noexcept { PooledFree<CRenderTarget>(block); }

    // IRenderTarget. The base cannot save: false.
    std::uint16_t GetWidth() override { return width_; }
    std::uint16_t GetHeight() override { return height_; }
    bool SaveToFile(const WCHAR* path) override;
    bool SaveToFileEx(const WCHAR* path, std::int32_t ignored) override;
    // No-op when equal; else stored and copied into every viewport.
    void SetScale(float scale) override;
    float GetScale() override { return scale_; }
    void SetFilters(std::int32_t magFilter, std::int32_t minFilter, std::int32_t third) override;

    // Stores name and size; true.
    virtual bool Init(const std::string& name, std::uint16_t width, std::uint16_t height);
    virtual const std::string& GetName() const { return name_; }
    virtual void GetSize(std::uint16_t* width, std::uint16_t* height, std::int32_t* third) const;
    virtual std::int32_t GetThirdSizeValue() const { return thirdSize_; }

    // Renders the viewports (nothing while the renderer is lost), then Present(true) when
    // asked.
    virtual void Render(bool present);
    virtual void Present(bool wait);

    // Adds a viewport under `zOrder` covering the fractions (x, y, w, h) of the target.
    // Throws lumi::Exception "viewport exist." when the z-order is taken (the first stays).
    // The target owns the viewport.
    virtual viewport_t* AddViewport(CCamera* camera, std::uint16_t zOrder, float x, float y, float w, float h);
    virtual std::uint16_t GetViewportCount() const;
    virtual viewport_t* GetViewport(std::uint16_t zOrder) const;  // null when absent
    // Frees every viewport with its layers, in z-order.
    virtual void RemoveAllViewports();

    virtual void SetPriority(std::int32_t priority) { priority_ = static_cast<std::uint8_t>(priority); }
    virtual std::uint8_t GetPriority() const { return priority_; }
    virtual bool IsReady() const { return ready_ != 0; }
    virtual void SetReady(bool ready) { ready_ = ready ? 1 : 0; }
    virtual void SetEnabled(bool enabled) { enabled_ = enabled ? 1 : 0; }
    virtual bool IsEnabled() const { return enabled_ != 0; }

    // Named surfaces of the target ("D3DSURFACE", "D3DZBUFFER") as borrowed pointers (no
    // reference added). The base knows none: lumi::Exception "Attribute not found.".
    virtual void GetAttribute(const char* name, void** out);

    virtual void OnBeginRender() {}
    virtual void OnEndRender() {}
    virtual void OnBeginViewport(viewport_t*) {}
    virtual void OnEndViewport(viewport_t*) {}
    // Copies the target's scale into the new viewport.
    virtual void OnViewportAdded(viewport_t* viewport);
    virtual void OnViewportRemoved(viewport_t*) {}

    // For each viewport in ascending z-order, inside OnBeginRender/OnEndRender: its camera's
    // scene manager renders it. Stops as soon as the renderer is lost.
    virtual void RenderViewports();

    // Every viewport's layers emptied for the next frame.
    void ResetViewportLayers();
    // The vertex and index bytes the viewports' layers hold, summed; also kept as the
    // target's last stats.
    void GetDrawStats(std::uint32_t* vertexBytes, std::uint32_t* indexBytes);
    std::uint32_t GetLastVertexBytes() const { return statVertexBytes_; }
    std::uint32_t GetLastIndexBytes() const { return statIndexBytes_; }

    std::int32_t GetMagFilter() const { return magFilter_; }
    std::int32_t GetMinFilter() const { return minFilter_; }
    std::int32_t GetThirdFilter() const { return thirdFilter_; }
    CRenderTargetHost* GetHost() const { return host_; }

protected:
    bool IsRendererLost() const;
    // Before the target lets its surfaces go: a device binding would keep them (and a swap
    // chain behind them) alive, and the device could never be reset. The colour target falls
    // back to the device's own back buffer, the depth surface to none.
    void UnbindFromDevice(IDirect3DSurface9* color, IDirect3DSurface9* depth) const;
    CRenderTargetHost* host_;
    std::uint8_t ready_ = 1;

private:
    std::string name_;
    std::uint8_t priority_ = kDefaultTargetPriority;
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
    std::int32_t thirdSize_ = 0;  // set by nothing
    std::uint8_t enabled_ = 1;
    std::map<std::uint16_t, std::unique_ptr<viewport_t>> viewports_;  // ascending z-order
    std::uint32_t statVertexBytes_ = 0;
    std::uint32_t statIndexBytes_ = 0;
    float scale_ = 1.0f;
    std::int32_t magFilter_ = -1;
    std::int32_t minFilter_ = -1;
    std::int32_t thirdFilter_ = -1;  // applied by no flush
};
