#pragma once
// CLumiscriber of the legacy build (core/lumiscriber.h declares this form in that build): the
// renderer object behind the legacy IRenderer (legacy/renderer_interface_legacy.h). What both
// builds' renderer objects hold and do alike is CLumiscriberCommon's
// (core/lumiscriber_common.h); this class adds what the legacy build does its own way.
//
// Unlike the current renderer object it has no render windows, scene manager, cameras or
// viewports. Everything a frame submits goes into one draw layer and is drawn by EndScene into
// the device's current render target: the device's own back buffer, the back buffer of an
// attached additional swap chain (AttachSwapChain), or, for the length of one of the
// renderer's off-screen draws, a render-target texture. Clip space follows the current
// target's size through the process-wide clip scale (legacy/clip_scale.h).
//
// Its code: lifecycle_legacy (construction, destruction), frame_legacy (frame loop, device
// loss and reset), drawing_legacy (commands, queueing, emitters' numbering), targets_legacy
// (swap chains, render targets, render-target switching, off-screen draws), resources_legacy
// (the operations of this build's interface alone); text in lumiscriber_text_legacy.cpp.
//
// Threads and errors as CLumiscriberCommon says.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/build_variant.h"
#include "core/lumiscriber_common.h"
#include "core/viewport.h"
#include "legacy/cmd_pool_set.h"
#include "legacy/frame_commands.h"

#if !LUMI_LEGACY
#error "this renderer object belongs to the legacy build"
#endif

class CD3DRenderTarget;
class CRenderTarget;
class CD3DSwapChain;
class CFontTexMgr;
struct draw_layer_t;
struct font_desc_t;

class CLumiscriber : public CLumiscriberCommon {
public:
    // Builds everything in one pass. A fatal set-up failure throws tarnel::FatalError (after
    // the system information report); a width or height of 0 throws lumi::Exception
    // "div by zero." (the clip scale); anything built before is released again.
    explicit CLumiscriber(const STRU_RENDERER_PARAM& param);
    ~CLumiscriber() override;

    // ---- IRenderer, in table order (the operations both builds share are CLumiscriberCommon's) ----
    STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) override;
    void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void BeginScene() override;
    bool EndScene(bool present) override;
    bool EvictManagedResources() override;
    void SetBackgroundColor(D3DCOLOR color) override;
    STRU_DRAW_COMMAND_BASE* DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                      D3DCOLOR color) override;
    void DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                        std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline, D3DCOLOR outlineColor,
                        std::int32_t spacing) override;
    using CLumiscriberCommon::CreateTexture;  // the shared overloads stay callable on this class
    ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format) override;
    ISwapChain* CreateAdditionalSwapChain(std::int32_t width, std::int32_t height) override;
    void DestroySwapChain(ISwapChain* swapChain) override;
    void AttachSwapChain(ISwapChain* swapChain) override;
    bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                       std::int32_t spacing) override;
    std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) override;
    bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) override;
    void SetDefaultFont(const WCHAR* path, std::int32_t size) override;
    void DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                     std::int32_t flags) override;
    bool Draw2Texture(ITexture* texture, const WCHAR* path, const RECT* source, const RECT* destination,
                      std::int32_t flags, D3DCOLOR color, bool clearTexture) override;
    void ReservedA(std::int32_t a, std::int32_t b) override;
    void ReservedB(std::int32_t a) override;
    IRenderTarget* CreateRenderTarget(std::int32_t width, std::int32_t height) override;
    void DestroyRenderTarget(IRenderTarget* target) override;
    bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) override;
    void OnFrameBegin() override;
    void OnFrameEnd() override;

    // ---- Renderer-only slots, after the interface's ----
    virtual void SetSyncLoading(bool on);
    virtual bool IsSyncLoading();
    // Does nothing: ResetDevice releases what a reset needs released itself.
    virtual void OnLostDevice();
    // Releases everything of the default pool and every binding that would keep the device from
    // resetting, resets it, and makes all of it again: swap chains (the attached one attached
    // again), render targets (cleared), the textures' video copies, the states and the cursor.
    // On failure the renderer stays (or becomes) lost and logs why; the next BeginScene tries
    // again.
    virtual void ResetDevice();
    // Submissions queued since the last EndScene (0 at construction).
    virtual std::uint32_t GetFrameSubmissions();
    // Textures some command or the host holds a reference to (0 without texture manager).
    virtual std::int32_t GetTexturesInUse();
    virtual void DumpTextureAtlas();

    // ---- For the library's own parts ----
    CFontTexMgr* GetFontTexMgr() const { return fontTexMgr_.get(); }
    // The commands of the immediate draws (ScratchCommand()) and of DrawTexture.
    const frame_commands_t& GetFrameCommands() const { return *frameCommands_; }
    // The one layer every submission goes to.
    draw_layer_t* GetDrawLayer() const { return layer_.get(); }
    bool IsGreyMode() const { return false; }  // the legacy build has no grey mode
    // What render targets ask of their renderer (core/render_target_host.h). This renderer keeps
    // no registry of targets and no viewports: a target going away and a viewport to apply ask
    // nothing of it.
    void UnregisterRenderTarget(CRenderTarget*) {}
    void ApplyViewport(viewport_t*) {}
    // The legacy interface takes no sound system from the host: emitters play no sounds.
    IHostSoundSystem* GetSoundInterface() const { return nullptr; }

    // ---- Render targets and swap chains ----
    // Draws go into the render-target texture's level 0 (null: the device's back buffer again,
    // also when a swap chain is attached).
    void SetRenderTargetTexture(CD3DRenderTarget* target);
    // Makes `surface` render target 0 with a depth-stencil surface of its size, saving the
    // device's own target and depth surface first when nothing is saved yet; null sets the
    // saved ones back (logged "can not restore rendertarget, default render target lost."
    // when there are none). Either way the device viewport and the clip scale take the new
    // target's size. Nothing without a device.
    void SetRenderTargetSurface(IDirect3DSurface9* surface);
    ISwapChain* GetAttachedSwapChain() const;
    std::size_t GetSwapChainCount() const { return swapChains_.size(); }
    std::size_t GetRenderTargetCount() const { return renderTargets_.size(); }

private:
    friend class CLumiscriberCommon;  // reaches the steps this build takes its own way

    // One draw into a render target outside the frame: what `draws` submits goes into a layer of
    // its own and is drawn into `target` after a clear with `clearFlags`; the frame the host is
    // building (its layer, sequence, statistics, the device's current target) is left as it
    // was. False when nothing could be drawn (lost device, buffers that cannot grow).
    bool DrawOffscreen(CD3DRenderTarget* target, DWORD clearFlags, const std::function<void()>& draws);
    // DrawOffscreen of the image file at `path`: `draw` submits a textured-rectangle command
    // bound to it (loaded at once). False also when nothing was submitted (a missing file).
    bool DrawFileOffscreen(CD3DRenderTarget* target, const WCHAR* path, DWORD clearFlags,
                           const std::function<void(STRU_DRAW_COMMAND_BASE*)>& draw);
    // The device's current target again after an off-screen draw: the attached swap chain's
    // back buffer, else the device's own.
    void RestoreFrameTarget();
    // The device's own target and depth surface again when another target was set; nothing
    // (and no log line) when they were never put aside.
    void RestoreDeviceTarget();
    // A render-target texture of the size (A8R8G8B8, default pool), attached to `target`;
    // false when the device cannot make it.
    bool MakeTargetTexture(CD3DRenderTarget* target, std::uint16_t width, std::uint16_t height);
    // The swap chain's back buffer becomes render target 0; false (logged "Error Swap Chain :
    // %s") when it cannot be had.
    bool AttachBackBufferOf(CD3DSwapChain* swapChain);
    bool OwnsSwapChain(const ISwapChain* swapChain) const;
    bool OwnsRenderTarget(const IRenderTarget* target) const;
    // Before a reset: every binding back to the device's own surfaces, then everything of the
    // default pool released. After a successful one: all of it made again.
    void ReleaseForReset();
    void RestoreAfterReset();

    // Stamps the command with the next sequence number and hands it to the draw layer (or the
    // off-screen layer while one is open). While the device is lost the number is taken but
    // nothing is queued.
    void QueueDrawCommand(STRU_DRAW_COMMAND_BASE* cmd);
    // The host's command of `type`, or for ScratchCommand() the renderer's next one.
    STRU_DRAW_COMMAND_BASE* CommandFor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t type);

    // emitters (lumiscriber_drawing_legacy.cpp)
    // The emitter of the script at `path`, read and compiled at once; null, logged, when it
    // does not compile.
    CParticleEmitter* CreateEmitter(const WCHAR* path);
    // Legacy emitters draw past their life: always true. The beams take the depth step and
    // bring their textures back; the command takes its number when it is queued, which
    // `sequence` says beforehand.
    bool NumberEmitterDraw(STRU_PARTICLE_COMMAND* particles, std::uint32_t* sequence);
    // Queues a particle command that UpdateEmitterForDraw prepared.
    void QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles);

    // lifecycle
    void Construct(const STRU_RENDERER_PARAM& param);
    void ReleaseEverything();

    // Owned subsystems. The command pools come first and go last (ReleaseEverything): every
    // command the others hold comes from them.
    std::unique_ptr<cmd_pool_set_t> commandPools_;
    std::unique_ptr<frame_commands_t> frameCommands_;
    std::unique_ptr<CFontTexMgr> fontTexMgr_;
    std::unique_ptr<draw_layer_t> layer_;
    std::unique_ptr<draw_layer_t> offscreenLayer_;  // the off-screen draws' own
    draw_layer_t* openLayer_ = nullptr;  // where submissions go: the layer, or the off-screen one
    // What the processors are handed as the target of a draw: the whole of the current target
    // at scale 1 (clip space comes from the clip scale).
    viewport_t drawContext_{nullptr, 0, nullptr, 0.0f, 0.0f, 1.0f, 1.0f};
    std::vector<CD3DSwapChain*> swapChains_;       // owned
    CD3DSwapChain* attachedSwapChain_ = nullptr;   // null: the device's back buffer
    std::vector<CD3DRenderTarget*> renderTargets_;  // owned
    // The device's own render target and depth surface while another target is set.
    IDirect3DSurface9* savedColor_ = nullptr;
    IDirect3DSurface9* savedDepth_ = nullptr;
    font_desc_t* defaultFont_ = nullptr;
    // 1 / the commands queued by the last drawn frame (0 for none); kept for the processors,
    // which build their vertices at submission and do not read it.
    float commandShare_ = 0.0f;
};
