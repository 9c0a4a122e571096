// The legacy renderer behind CRenderTargetHost (in place of core/render_target_host.cpp): its
// render targets and buffers reach the device through it. The legacy renderer keeps no
// registry of targets and no viewports, so a target going away and a viewport to apply ask
// nothing of it.
#include "core/lumiscriber.h"
#include "core/render_target_host.h"

namespace {

class CLegacyRendererHost final : public CRenderTargetHost {
public:
    explicit CLegacyRendererHost(CLumiscriber* renderer) : renderer_(renderer) {}

    IDirect3DDevice9* GetDevice() const override { return renderer_->GetDevice(); }
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const override { return renderer_->GetDeviceSettings(); }
    bool IsDeviceLost() const override { return renderer_->IsDeviceLost(); }
    void EnterLostState() override { renderer_->EnterLostState(); }
    void UnregisterRenderTarget(CRenderTarget*) override {}
    void ApplyViewport(viewport_t*) override {}
    CLumiscriber* GetRenderer() const override { return renderer_; }

private:
    CLumiscriber* renderer_;
};

}  // namespace

std::unique_ptr<CRenderTargetHost> MakeRendererHost(CLumiscriber* renderer) {
    return std::make_unique<CLegacyRendererHost>(renderer);
}
