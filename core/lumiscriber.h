#pragma once
// CLumiscriber: the renderer object behind IRenderer (the legacy build declares its own form,
// legacy/lumiscriber_legacy.h). One per CreateLumiscriber call; it owns
// the Direct3D object and device, the render windows, the dynamic buffers and the managers.
//
// Its code is split by concern: lumiscriber_lifecycle.cpp (construction, destruction),
// lumiscriber_device_loss.cpp (loss, reset, display modes), lumiscriber_frame.cpp (frame
// loop, target registry), lumiscriber_drawing.cpp (draw operations, viewports, targets),
// lumiscriber_text.cpp (text and fonts), lumiscriber_resources.cpp (windows, cells,
// drawing into render-target textures), lumiscriber_emitters.cpp (particle emitters on
// commands). Shared with the legacy build's renderer
// object (legacy/lumiscriber_legacy.h): lumiscriber_common.cpp (display modes, fatal stops,
// file callbacks), lumiscriber_device.cpp (device road, default states),
// lumiscriber_stats.cpp (statistics, buffer sizing), lumiscriber_textures.cpp (textures and
// image files), lumiscriber_cursor.cpp and lumiscriber_fonts.cpp.
//
// Threads: everything runs on the host's thread. Errors: fatal set-up stops go through
// tarnel Error (which throws tarnel::FatalError here) after the system information report;
// misuse throws lumi::Exception; recoverable failures log a line and return false or null.
#include "core/build_variant.h"

#if LUMI_LEGACY
#include "legacy/lumiscriber_legacy.h"
#else

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/device_enumeration.h"
#include "core/renderer_interface.h"
#include "core/system_info_report_records.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"

class CRenderTarget;
class CD3DRenderWindow;
class CSceneManager;
class CD3DVertexBuffer;
class CD3DIndexBuffer;
class CTexMgr;
class CFontTexMgr;
class CParticleEmitterMgr;
class CFramePool;
class CD3DTexture;
struct STRU_RECT_COMMAND;
struct STRU_TEXT_COMMAND;
struct STRU_PARTICLE_COMMAND;
struct viewport_t;

class CLumiscriber : public IRenderer {
public:
    // Builds everything in one pass. A fatal set-up failure throws tarnel::FatalError (after
    // the system information report); anything built before it is released again.
    explicit CLumiscriber(const STRU_RENDERER_PARAM& param);
    ~CLumiscriber() override;
    CLumiscriber(const CLumiscriber&) = delete;
    CLumiscriber& operator=(const CLumiscriber&) = delete;

    // ---- IRenderer, in table order ----
    std::int32_t GetUserData() override;
    std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) override;
    STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) override;
    STRU_DRAW_COMMAND_BASE* ClonePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void TickFrame() override;
    void BeginScene() override;
    bool EndScene(bool present) override;
    IRenderTarget* SelectRenderTarget(IRenderTarget* target) override;
    IRenderTarget* GetMainWindow() override;
    void UnsupportedMethodA() override;
    void SetActive(bool active) override;
    bool IsActive() override;
    void RequestLoadWait() override;
    void SetSoundInterface(IHostSoundSystem* sound) override;
    bool IsHardwareCursorSupported() override;
    bool ShowCursor(bool show) override;
    void SetCursorHotSpot(std::int32_t x, std::int32_t y) override;
    void SetCursorTexture(std::int32_t x, std::int32_t y, ITexture* texture, const RECT* source) override;
    void SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1, PFN_FILE_SEEK seek1,
                       PFN_FILE_OPEN open2, PFN_FILE_CLOSE close2, PFN_FILE_READ read2, PFN_FILE_SEEK seek2) override;
    bool HasCircleBeam(STRU_DRAW_COMMAND_BASE* cmd) override;
    void SetBackgroundColor(D3DCOLOR color) override;
    std::int16_t GetWidth() override;
    std::int16_t GetHeight() override;
    void DrawEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy,
                     std::int32_t param, float scale) override;
    void DrawEmitterAlt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy,
                        std::int32_t param, float scale) override;
    void DrawCircleEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                           std::int32_t dy, std::int32_t param, float scale) override;
    void DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color) override;
    void DrawLine(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  D3DCOLOR color) override;
    void DrawLines(STRU_DRAW_COMMAND_BASE* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count,
                   D3DCOLOR color) override;
    void DrawTriangle(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                      std::int32_t x3, std::int32_t y3, D3DCOLOR color, bool filled) override;
    void DrawRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                  std::int32_t bottom, D3DCOLOR color, bool filled) override;
    void DrawReserved(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, std::int32_t e, std::int32_t f,
                      std::int32_t g, std::int32_t h) override;
    void DrawText(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color, bool outline,
                  D3DCOLOR outlineColor, std::int32_t spacing) override;
    void DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                        std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline, D3DCOLOR outlineColor,
                        std::int32_t spacing) override;
    ITexture* CreateUITexture(std::int32_t width, std::int32_t height) override;
    ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) override;
    ITexture* CreateTexture(const WCHAR* path) override;
    ITexture* CreateTexture() override;
    ITexture* CreateMaskTexture(float size) override;
    void DestroyTexture(ITexture* texture) override;
    ISwapChain* CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) override;
    void DestroyRenderWindow(ISwapChain* swapChain) override;
    IRenderTarget* SelectRenderWindow(ISwapChain* swapChain) override;
    ITextureCell* AllocTextureCell(std::int32_t size) override;
    void ReleaseTextureCell(ITextureCell** cell) override;
    bool IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    D3DCOLOR GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    STRU_IMAGE_FILE_SIZE GetImageFileSize(const WCHAR* path) override;
    bool GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) override;
    bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                       std::int32_t spacing) override;
    bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) override;
    void PreloadTexture(const WCHAR* path) override;
    bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) override;
    bool AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t ignored) override;
    void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) override;
    float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) override;
    std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) override;
    bool SetFonts(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored1, const WCHAR* mainPath, std::int32_t mainSize,
                  std::int32_t ignored2, const WCHAR* westernPath, std::int32_t westernSize,
                  std::int32_t ignored3) override;
    bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) override;
    CRenderFont* SetDefaultFont(const WCHAR* path, std::int32_t size) override;
    void SetWesternFontPath(const WCHAR* path) override;
    IFont* GetFont(const WCHAR* path, std::int32_t size, std::int32_t flags, std::int32_t ignored) override;
    CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool IsTextureLoaded(const WCHAR* path) override;
    bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) override;
    void DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                     std::int32_t flags) override;
    void DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, const RECT* source,
                                std::int32_t flags, D3DCOLOR color) override;
    void DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                              std::int32_t flags, D3DCOLOR color) override;
    float GetFPS() override;
    bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) override;
    void UnsupportedMethodB() override;
    bool SaveTexture(ITexture* texture, const WCHAR* path) override;
    bool SaveImageRegion(const WCHAR* imagePath, const RECT* region, const WCHAR* outPath, const SIZE* size) override;
    bool IsImageTransparent(const WCHAR* path) override;
    bool GetTexOptimizationRect(const WCHAR* path, RECT* out) override;
    void DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color,
                                const RECT* destination, const RECT* source) override;
    bool SetFontAntialias(bool on) override;
    bool GetFontAntialias() override;
    void OnFrameBegin() override;
    void OnFrameEnd() override;
    STRU_RENDER_STATS* GetStatistics() override;
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
    IDirect3D9* GetDirect3D() const { return direct3d_; }
    IDirect3DDevice9* GetDevice() const { return device_; }  // null between devices
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const { return settings_; }
    const D3DCAPS9& GetCaps() const { return caps_; }
    const STRU_RENDERER_PARAM& GetParams() const { return param_; }

    bool IsDeviceLost() const { return deviceLost_; }
    // The render windows and the scene manager call this when the device reports a loss:
    // the first call of a loss marks the renderer lost and runs OnLostDevice; later ones do
    // nothing until a reset succeeds.
    void EnterLostState();

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

    // Grows the shared dynamic buffers to a frame's needs (bytes). False when a buffer could
    // not be made, even after the idle textures gave back their video memory.
    bool GrowDynamicBuffers(std::uint32_t vertexNeed, std::uint32_t indexNeed);

    CSceneManager* GetSceneManager() const { return sceneManager_.get(); }
    CTexMgr* GetTexMgr() const { return texMgr_.get(); }
    CFontTexMgr* GetFontTexMgr() const { return fontTexMgr_.get(); }
    CParticleEmitterMgr* GetParticleEmitterMgr() const { return emitterMgr_.get(); }
    CD3DVertexBuffer* GetVertexBuffer() const { return vertexBuffer_.get(); }
    CD3DIndexBuffer* GetIndexBuffer() const { return indexBuffer_.get(); }
    CD3DRenderWindow* GetMainRenderWindow() const { return mainWindow_.get(); }

    // Draw bookkeeping of the current frame.
    std::uint32_t NextDrawSequence() { return drawSequence_++; }
    // The depth between two submissions, chosen with the device's depth format.
    float GetDepthStep() const { return depthStep_; }
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
    // The submission every textured draw ends in: flags chosen by the texture's format, the
    // source moved and clipped to the current frame of an animated texture, then queued and
    // counted. Nothing when the command holds no loaded texture.
    void SubmitTexturedRect(const RECT& source, const RECT& destination, std::int32_t flags, STRU_RECT_COMMAND* cmd,
                            D3DCOLOR color);
    // One device draw of a flush; the last finished frame's count is statistics field 5.
    void AddBatch() { ++batchCount_; }
    // Host submissions of the current frame (statistics field 4).
    void AddDrawCalls(std::int32_t count) { stats_.DrawCalls += count; }
    std::uint32_t GetEmitterFrameId() const { return emitterFrameId_; }
    bool IsGreyMode() const { return greyMode_; }
    IDirect3DPixelShader9* GetGreyPixelShader() const { return greyShader_; }

    // Capabilities and texture formats chosen at device creation.
    bool IsA8Supported() const { return a8Supported_; }
    bool IsDxt3Supported() const { return dxt3Supported_; }
    bool IsAlphaFormatDxt3() const { return alphaIsDxt3_; }
    bool IsSquareOnly() const { return squareOnly_; }
    bool HasDynamicTextures() const { return dynamicTextures_; }
    bool HasPixelShader11() const { return pixelShader11_; }
    DWORD GetMaxTextureSide() const { return maxTextureSide_; }
    DWORD GetAtlasPageSize() const { return atlasPageSize_; }
    D3DFORMAT GetAlphaFormat() const { return alphaFormat_; }
    D3DFORMAT GetNormalFormat() const { return normalFormat_; }
    D3DFORMAT GetUIFormat() const { return uiFormat_; }

    // The first set serves the background loader, the second the host-thread loads.
    const STRU_FILE_CALLBACKS* GetBackgroundFileCallbacks() const { return &fileCallbacks_[0]; }
    const STRU_FILE_CALLBACKS* GetForegroundFileCallbacks() const { return &fileCallbacks_[1]; }
    IHostSoundSystem* GetSoundInterface() const { return sound_; }

    const std::vector<DEVMODEW>& GetDisplayModes() const { return displayModes_; }
    LONG GetSavedWindowStyle() const { return savedWindowStyle_; }

private:
    enum class RoadMode { kFatal, kSoft };  // construction stops the process; a mode change returns false

    // A host-filled texture of a size the host gives as signed numbers; null without a texture
    // manager or for a side outside 0 to 65535. Pooled when `usage` has D3DUSAGE_DYNAMIC.
    ITexture* CreateSizedTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage);

    // lifecycle
    void Construct(const STRU_RENDERER_PARAM& param);
    void ReleaseEverything();
    void FillDisplayModes();
    [[noreturn]] void FatalSetupError(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // device
    STRU_DEVICE_SETTINGS MakeDesiredSettings(const STRU_RENDERER_PARAM& param) const;
    bool CreateDeviceRoad(const STRU_RENDERER_PARAM& param, RoadMode mode);
    bool CheckDeviceCaps();
    HRESULT CreateDevice(const STRU_DEVICE_SETTINGS* settings);
    bool CheckTextureFormat(D3DFORMAT format);
    void CheckOptionalFormats();
    // Stops the process (fatal) when the alpha or the normal format cannot be textured.
    bool ChooseTextureFormats(std::int32_t quality);
    void SetDefaultRenderStates();
    void CreateGreyPixelShader();
    // A restore after a successful Reset threw: the renderer is lost again, and the caller
    // gives back what the restore made, so that the next BeginScene resets once more. That
    // retry comes every frame: the reason is logged once, until a restore succeeds (which
    // clears restoreFailureLogged_).
    void StayLostAfterFailedRestore(const std::exception& error);
    void ApplyWindowStyle(HWND window, std::int32_t width, std::int32_t height, bool fullScreenStyle);
    void CycleDisplayModeToFreeVideoMemory();
    bool RecreateDevice(const STRU_RENDERER_PARAM& param);
    void TearDownForModeChange();
    void RebuildAfterModeChange(const STRU_RENDERER_PARAM& param);
    void CreateMainWindow(const STRU_RENDERER_PARAM& param, bool createCamera);
    void DestroyMainWindow();
    void RecreateExtraWindowSurfaces();
    void ReleaseCursorSurface();
    // Copies the remembered cursor texture into the cursor surface (made when missing) and
    // hands it to the device; false when any step fails. A texture without pixels (unloaded
    // by a display-mode change, or still loading) gives the image it gave last.
    bool ApplyCursor();
    // The cursor's 32 x 32 image from the texture into `image` (system memory) and kept; or,
    // while the texture is still loading, the kept one. False when neither is there.
    bool CaptureCursorImage(IDirect3DSurface9* image);
    bool WriteCursorImage(IDirect3DSurface9* image);

    // frame
    void UpdateFrameStats();
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
    bool CreateBufferWithRetry(bool vertex, std::uint32_t bytes);

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
    // The command as a textured rectangle holding a texture; null otherwise.
    STRU_RECT_COMMAND* TexturedRectOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    CD3DRenderWindow* FindExtraWindow(const ISwapChain* swapChain) const;

    // emitters
    // What a released particle command's emitter goes back to: the emitter manager.
    std::function<void(CParticleEmitter*)> EmitterHandBack();
    // The command as a particle command holding an emitter; null otherwise.
    STRU_PARTICLE_COMMAND* EmitterCommandOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    // The emitter's draw for this frame, shared by the emitter draw operations: a particle
    // command whose emitter is loaded and alive takes its sequence number, offset and
    // parameter, and its emitter is updated; its beams' textures are held for the frame.
    // Null (nothing done) for any other command.
    STRU_PARTICLE_COMMAND* UpdateEmitterForDraw(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                std::int32_t dx, std::int32_t dy, std::int32_t param, float scale);
    // Queues a particle command that UpdateEmitterForDraw prepared.
    void QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles);
    [[noreturn]] void ThrowUnsupported() const;

    // Platform objects.
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    STRU_DEVICE_SETTINGS settings_{};
    const STRU_DEVICE_INFO* deviceInfo_ = nullptr;  // the chosen device's record; not owned
    D3DCAPS9 caps_{};
    CAdapterEnum* adapterEnum_ = nullptr;  // process-wide; not owned

    // Capability flags.
    bool hardwareCursor_ = false;
    bool a8Supported_ = false;
    bool alphaTestGreaterEqual_ = false;
    bool dynamicTextures_ = false;
    bool dxt3Supported_ = false;
    bool pixelShader11_ = false;
    bool alphaIsDxt3_ = false;
    bool squareOnly_ = false;
    DWORD maxTextureSide_ = 0;  // the smaller of MaxTextureWidth and MaxTextureHeight
    DWORD atlasPageSize_ = 0;

    // Texture formats.
    D3DFORMAT alphaFormat_ = D3DFMT_A8R8G8B8;
    D3DFORMAT normalFormat_ = D3DFMT_X8R8G8B8;
    D3DFORMAT uiFormat_ = D3DFMT_A8R8G8B8;

    // Display modes.
    std::vector<DEVMODEW> displayModes_;
    DEVMODEW mode800x600x16_{};  // zeroed until found
    LONG savedWindowStyle_ = 0;

    // Parameters.
    STRU_RENDERER_PARAM param_{};  // copied whole as the last construction step
    std::int32_t userData_ = 0;
    bool vsync_ = false;           // taken at construction; a successful mode change replaces it
    std::int32_t constructionQuality_ = 0;  // the quality the texture formats were chosen with

    // Owned subsystems.
    std::unique_ptr<CTexMgr> texMgr_;
    std::unique_ptr<CFontTexMgr> fontTexMgr_;
    std::unique_ptr<CParticleEmitterMgr> emitterMgr_;
    std::unique_ptr<CSceneManager> sceneManager_;
    std::unique_ptr<CD3DRenderWindow> mainWindow_;
    std::vector<CD3DRenderWindow*> extraWindows_;  // owned
    std::map<std::string, CRenderTarget*> targetsByName_;
    std::set<std::pair<std::uint8_t, CRenderTarget*>> targetsByPriority_;
    CRenderTarget* currentTarget_ = nullptr;
    viewport_t* currentViewport_ = nullptr;
    bool viewportStale_ = true;  // device surfaces changed: the next ApplyViewport sets them again
    std::unique_ptr<CD3DVertexBuffer> vertexBuffer_;
    std::unique_ptr<CD3DIndexBuffer> indexBuffer_;
    static constexpr int kFramePoolCount = 5;  // types 0, 1, 2, 3 and 5
    std::unique_ptr<CFramePool> framePools_[kFramePoolCount];
    // Every command queued this frame with the number it was queued under; in number order
    // while queuedSorted_.
    std::vector<std::pair<std::uint32_t, STRU_DRAW_COMMAND_BASE*>> queuedThisFrame_;
    bool queuedSorted_ = true;
    std::vector<STRU_DRAW_COMMAND_BASE*> deferredReleases_;  // released by the host while queued
    CRenderFont* defaultFont_ = nullptr;
    IDirect3DSurface9* cursorSurface_ = nullptr;
    // The last cursor the host set, applied again after a reset. The texture holds one
    // reference of the renderer's, so the host cannot destroy it while it is the cursor.
    CD3DTexture* cursorTexture_ = nullptr;
    RECT cursorSource_{};
    bool cursorHasSource_ = false;
    std::vector<std::uint32_t> cursorImage_;  // ARGB rows of the cursor last applied; empty before
    std::int32_t cursorHotSpotX_ = 0;
    std::int32_t cursorHotSpotY_ = 0;
    IDirect3DPixelShader9* greyShader_ = nullptr;

    // State bytes.
    bool active_ = true;
    bool deviceLost_ = false;
    bool restoreFailureLogged_ = false;
    bool frameBegun_ = false;
    bool inFrame_ = false;
    bool syncLoading_ = false;
    bool loadWaitRequested_ = false;
    bool greyMode_ = false;
    std::int32_t autoWindowCounter_ = 1;
    IHostSoundSystem* sound_ = nullptr;
    D3DCOLOR backgroundColor_ = 0;

    // Statistics.
    std::uint32_t constructionTimeMs_ = 0;
    std::uint64_t frameCount_ = 0;
    std::uint64_t runningTimeMs_ = 0;
    std::uint32_t sampleStartMs_ = 0;
    std::uint32_t framesInSample_ = 0;
    float lastFps_ = 0.0f;
    std::uint32_t drawSequence_ = 0;
    float depthStep_ = 0.00001f;  // until a device chose its depth format
    std::uint32_t batchCount_ = 0;
    std::uint32_t emitterFrameId_ = 1;
    static constexpr std::uint32_t kSampleIntervalMs = 1000;
    STRU_RENDER_STATS stats_{};

    STRU_FILE_CALLBACKS fileCallbacks_[2]{};
    SystemInfoRecords systemInfo_;  // gathered before a fatal set-up stop; kept until destruction
    bool timerPeriodBegun_ = false;
};

#endif  // LUMI_LEGACY
