#pragma once
// CSceneManager: owns the named cameras, renders one viewport at a time and remembers the
// current viewport. The renderer has one, made in its constructor and told the renderer
// right after (SetRenderer); it lives as long as the renderer.
//
// Each viewport is rendered inside its own BeginScene/EndScene pair of the device: a target
// with three viewports makes three pairs per frame.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class CCamera;
class CLumiscriber;
class CRenderTarget;
class CRenderTargetHost;
struct viewport_t;

class CSceneManager {
public:
    CSceneManager();
    // Deletes every camera. Touches neither the renderer nor any viewport.
    virtual ~CSceneManager();
    CSceneManager(const CSceneManager&) = delete;
    CSceneManager& operator=(const CSceneManager&) = delete;

    // Throws lumi::Exception "named camera already exists." when the name is taken (the
    // existing camera stays); otherwise a new camera owned by the manager.
    virtual CCamera* CreateCamera(const std::string& name);

    // Renders one viewport (the flag is not read):
    //  1. current camera and viewport := the arguments; the viewport is applied on the
    //     renderer (render target, depth surface, device viewport);
    //  2. Clear with the viewport's flags and packed colour when its clearing is on;
    //  3. BeginScene (failure logged "failed BeginScene", rendering goes on);
    //  4. the viewport's layers are made when missing and flushed;
    //  5. EndScene: D3DERR_DEVICELOST marks the renderer lost (once per loss), any other
    //     failure is logged "Failed EndScene.".
    // Nothing happens while the renderer is lost, so a loss in one viewport stops the rest of
    // the frame's flushing. A viewport without pixels is made current and nothing more.
    virtual void RenderScene(CCamera* camera, viewport_t* viewport, bool flag);

    // The renderer behind the manager; must outlive it.
    virtual void SetRenderer(CLumiscriber* renderer);
    // Null for an unknown name.
    virtual CCamera* GetCamera(const std::string& name) const;

    // A host other than a renderer (tests); must outlive the manager.
    void SetHost(CRenderTargetHost* host);
    CRenderTargetHost* GetHost() const { return host_; }
    CLumiscriber* GetRenderer() const;

    // Null is ignored; otherwise the viewport becomes current and is applied on the renderer.
    void SetCurrentViewport(viewport_t* viewport);
    viewport_t* GetCurrentViewport() const { return currentViewport_; }
    CCamera* GetCurrentCamera() const { return currentCamera_; }
    // The target's viewports are going away: a current viewport of that target is forgotten.
    void ForgetViewportsOf(const CRenderTarget* target);

    // The clear colour of a viewport packed into a D3DCOLOR: each float is 255 at or above
    // 1, 0 at or below 0, else trunc(x * 255 + 0.5).
    static std::uint32_t PackClearColor(const float rgba[4]);

private:
    std::unique_ptr<CRenderTargetHost> ownedHost_;  // the binding to a renderer, when set
    CRenderTargetHost* host_ = nullptr;
    std::map<std::string, std::unique_ptr<CCamera>> cameras_;
    CCamera* currentCamera_ = nullptr;
    viewport_t* currentViewport_ = nullptr;
};
