#pragma once
// CLumiscriber: the renderer object behind IRenderer (the legacy build declares its own form,
// legacy/lumiscriber_legacy.h). One per CreateLumiscriber call. What both builds' renderer
// objects hold and do alike (the device and its capabilities, textures and image files, the
// cursor, statistics, emitters, shapes and sprites) is CLumiscriberCommon's
// (core/lumiscriber_common.h); this class adds the current build's render windows, render
// targets and viewports, per-frame command pools, fonts and display-mode changes.
//
// Its own code is split by concern: lumiscriber_lifecycle.cpp (construction, destruction),
// lumiscriber_device_loss.cpp (loss, reset, display modes), lumiscriber_frame.cpp (frame
// loop, target registry), lumiscriber_drawing.cpp (commands, queueing, viewports, targets),
// lumiscriber_text.cpp (text and fonts), lumiscriber_resources.cpp (windows, cells, drawing
// into render-target textures).
//
// Threads and errors as CLumiscriberCommon says.
#include "core/build_variant.h"

#if LUMI_LEGACY
#include "legacy/lumiscriber_legacy.h"
#else

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/lumiscriber_common.h"

class CRenderTarget;
class CD3DRenderWindow;
class CSceneManager;
class CFontTexMgr;
class CFramePool;
struct STRU_TEXT_COMMAND;
struct viewport_t;

class CLumiscriber : public CLumiscriberCommon {
public:
    // Builds everything in one pass. A fatal set-up failure throws tarnel::FatalError (after
    // the system information report); anything built before it is released again.
    explicit CLumiscriber(const STRU_RENDERER_PARAM& param);
    ~CLumiscriber() override;

    // ---- IRenderer, in table order (the operations both builds share are CLumiscriberCommon's) ----
    STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) override;
    STRU_DRAW_COMMAND_BASE* ClonePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void TickFrame() override;
    void BeginScene() override;
    bool EndScene(bool present) override;
    IRenderTarget* SelectRenderTarget(IRenderTarget* target) override;
    IRenderTarget* GetMainWindow() override;
    void UnsupportedMethodA() override;
    void SetSoundInterface(IHostSoundSystem* sound) override;
    void SetBackgroundColor(D3DCOLOR color) override;
    void DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color) override;
    void DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                        std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline, D3DCOLOR outlineColor,
                        std::int32_t spacing) override;
    using CLumiscriberCommon::CreateTexture;  // the shared overloads stay callable on this class
    ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) override;
    ISwapChain* CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) override;
    void DestroyRenderWindow(ISwapChain* swapChain) override;
    IRenderTarget* SelectRenderWindow(ISwapChain* swapChain) override;
    ITextureCell* AllocTextureCell(std::int32_t size) override;
    void ReleaseTextureCell(ITextureCell** cell) override;
    bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                       std::int32_t spacing) override;
    bool AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t ignored) override;
    std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) override;
    bool SetFonts(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored1, const WCHAR* mainPath, std::int32_t mainSize,
                  std::int32_t ignored2, const WCHAR* westernPath, std::int32_t westernSize,
                  std::int32_t ignored3) override;
    bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) override;
    CRenderFont* SetDefaultFont(const WCHAR* path, std::int32_t size) override;
    IFont* GetFont(const WCHAR* path, std::int32_t size, std::int32_t flags, std::int32_t ignored) override;
    void DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                     std::int32_t flags) override;
    bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) override;
    void UnsupportedMethodB() override;
    void OnFrameBegin() override;
    void OnFrameEnd() override;
    void SetGreyMode(bool on) override;
    bool ChangeDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel, std::int32_t quality,
                           bool vsync, bool windowed) override;

    // ---- Renderer-only slots, after the interface's ----
    virtual void SetSyncLoading(bool on);
    virtual bool IsSyncLoading();
    // True when the device evicted its managed resources; false without a device.
    virtual bool EvictManagedResources();
    // Releases everything in the default pool (surfaces, video copies, buffers, cursor).
    virtual void OnLostDevice();
    // Resets the device with the current present parameters and rebuilds what OnLostDevice
    // released; on failure the renderer stays (or becomes) lost and logs why.
    virtual void ResetDevice();
    virtual void DumpTextureAtlas();

    // ---- For the library's own parts ----
    // Target registry. A name already registered is refused (false, logged) so that every
    // registered target can be found and removed by its name. Unregistering is by identity:
    // a target that was refused never removes the one that holds its name. When the removed
    // target is current, the renderer falls back to no current target and viewport.
    bool RegisterRenderTarget(CRenderTarget* target);
    void UnregisterRenderTarget(CRenderTarget* target);
    void UnregisterRenderTarget(const std::string& name);
    CRenderTarget* FindRenderTarget(const std::string& name) const;

    // Makes the viewport current: its target's surfaces and the device viewport are set.
    // Skipped when it is already current and not dirty; null is ignored. The current
    // viewport is where draw operations queue; it is null while no live target holds it
    // (after its target went away, or while a display-mode change has no main window).
    void ApplyViewport(viewport_t* viewport);
    viewport_t* GetCurrentViewport() const { return currentViewport_; }
    CRenderTarget* GetCurrentRenderTarget() const { return currentTarget_; }

    CSceneManager* GetSceneManager() const { return sceneManager_.get(); }
    CFontTexMgr* GetFontTexMgr() const { return fontTexMgr_.get(); }
    CD3DRenderWindow* GetMainRenderWindow() const { return mainWindow_.get(); }

    // Draw bookkeeping of the current frame.
    std::uint32_t NextDrawSequence() { return drawSequence_++; }
    // A scratch command for this frame from the pool of type 0, 1, 2, 3 or 5; null for any
    // other type. It stays the renderer's and is reused from the next frame on.
    STRU_DRAW_COMMAND_BASE* TakeFrameCommand(std::int32_t type);
    // The host's command when it has `type`, or for ScratchCommand() one from this frame's
    // pool; null otherwise.
    STRU_DRAW_COMMAND_BASE* CommandFor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t type);
    const CFramePool* GetFramePool(std::int32_t type) const;  // null for an unpooled type
    // Stamps the command with the next sequence number and hands it to the current
    // viewport's default layer. While the device is lost, or without a current viewport, the
    // number is still taken but nothing is queued. A queued command must live until the frame
    // end: ReleasePrimitive holds such a host command back until then.
    void QueueDrawCommand(STRU_DRAW_COMMAND_BASE* cmd);
    // The same for a command already given its sequence number.
    void QueueNumberedCommand(STRU_DRAW_COMMAND_BASE* cmd);
    bool IsGreyMode() const { return greyMode_; }

    IHostSoundSystem* GetSoundInterface() const { return sound_; }
    LONG GetSavedWindowStyle() const { return savedWindowStyle_; }

private:
    friend class CLumiscriberCommon;  // reaches the steps this build takes its own way

    // lifecycle
    void Construct(const STRU_RENDERER_PARAM& param);
    void ReleaseEverything();

    // device
    void ApplyWindowStyle(HWND window, std::int32_t width, std::int32_t height, bool fullScreenStyle);
    bool RecreateDevice(const STRU_RENDERER_PARAM& param);
    void TearDownForModeChange();
    void RebuildAfterModeChange(const STRU_RENDERER_PARAM& param);
    void CreateMainWindow(const STRU_RENDERER_PARAM& param, bool createCamera);
    void DestroyMainWindow();
    void RecreateExtraWindowSurfaces();

    // frame
    void ResetFramePrimitivePools();
    // Frame end, after the layers were emptied: what the frame's commands held goes (see
    // the lifetime rule in the .cpp).
    void EndFrameLifetimes();
    // The host commands released while queued.
    void ReleaseDeferredPrimitives();
    void DrawTargets();
    void PresentTargets();
    void EndFrameTargets();
    bool RenderAllTargets(bool present);

    // drawing
    void ForgetViewportsOf(CRenderTarget* target);
    bool IsRegistered(const CRenderTarget* target) const;
    void CreateFramePools();
    void DestroyFramePools();
    bool IsQueuedThisFrame(const STRU_DRAW_COMMAND_BASE* cmd);
    // Notes a command handed to the layers under its current sequence number, so that its
    // release waits for the frame end.
    void RememberQueued(STRU_DRAW_COMMAND_BASE* cmd);
    // Hands each page draw list of a laid-out text to the current viewport under the text's
    // one sequence number; nothing while the device is lost or without a current viewport.
    void QueueTextDrawLists(STRU_TEXT_COMMAND* cmd);
    CD3DRenderWindow* FindExtraWindow(const ISwapChain* swapChain) const;

    // emitters (lumiscriber_drawing.cpp)
    // What a released particle command's emitter goes back to: the emitter manager.
    std::function<void(CParticleEmitter*)> EmitterHandBack();
    // The emitter of the script at `path`, which loads in the background.
    CParticleEmitter* CreateEmitter(const WCHAR* path);
    // An emitter past its life draws no more: false. Otherwise the command is numbered now,
    // so that its beams' quads and the queued command agree, and the number is `sequence`.
    bool NumberEmitterDraw(STRU_PARTICLE_COMMAND* particles, std::uint32_t* sequence);
    // Queues a particle command that UpdateEmitterForDraw prepared, under its number.
    void QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles);

    LONG savedWindowStyle_ = 0;

    // Owned subsystems.
    std::unique_ptr<CFontTexMgr> fontTexMgr_;
    std::unique_ptr<CSceneManager> sceneManager_;
    std::unique_ptr<CD3DRenderWindow> mainWindow_;
    std::vector<CD3DRenderWindow*> extraWindows_;  // owned
    std::map<std::string, CRenderTarget*> targetsByName_;
    std::set<std::pair<std::uint8_t, CRenderTarget*>> targetsByPriority_;
    CRenderTarget* currentTarget_ = nullptr;
    viewport_t* currentViewport_ = nullptr;
    bool viewportStale_ = true;  // device surfaces changed: the next ApplyViewport sets them again
    static constexpr int kFramePoolCount = 5;  // types 0, 1, 2, 3 and 5
    std::unique_ptr<CFramePool> framePools_[kFramePoolCount];
    // Every command queued this frame with the number it was queued under; in number order
    // while queuedSorted_.
    std::vector<std::pair<std::uint32_t, STRU_DRAW_COMMAND_BASE*>> queuedThisFrame_;
    bool queuedSorted_ = true;
    std::vector<STRU_DRAW_COMMAND_BASE*> deferredReleases_;  // released by the host while queued
    CRenderFont* defaultFont_ = nullptr;

    // State bytes.
    bool frameBegun_ = false;
    bool greyMode_ = false;
    std::int32_t autoWindowCounter_ = 1;
    IHostSoundSystem* sound_ = nullptr;
};

#endif  // LUMI_LEGACY

inline CLumiscriber& CLumiscriberCommon::Renderer() { return static_cast<CLumiscriber&>(*this); }
