// The renderer behind CRenderTargetHost, in both builds: render targets, render windows, the
// scene manager and the buffers reach the device and the renderer's registry through it.
#include "core/render_target_host.h"

#include "core/lumiscriber.h"

namespace {

class CLumiscriberHost final : public CRenderTargetHost {
public:
    explicit CLumiscriberHost(CLumiscriber* renderer) : renderer_(renderer) {}

    IDirect3DDevice9* GetDevice() const override { return renderer_->GetDevice(); }
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const override { return renderer_->GetDeviceSettings(); }
    bool IsDeviceLost() const override { return renderer_->IsDeviceLost(); }
    void EnterLostState() override { renderer_->EnterLostState(); }
    void UnregisterRenderTarget(CRenderTarget* target) override { renderer_->UnregisterRenderTarget(target); }
    void ApplyViewport(viewport_t* viewport) override { renderer_->ApplyViewport(viewport); }
    CLumiscriber* GetRenderer() const override { return renderer_; }

private:
    CLumiscriber* renderer_;
};

}  // namespace

std::unique_ptr<CRenderTargetHost> MakeRendererHost(CLumiscriber* renderer) {
    return std::make_unique<CLumiscriberHost>(renderer);
}
