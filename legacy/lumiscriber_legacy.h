#pragma once
// CLumiscriber of the legacy build (core/lumiscriber.h declares this form in that build): the
// renderer object behind the legacy IRenderer (legacy/renderer_interface_legacy.h).
//
// Unlike the current renderer object it has no render windows, scene manager, cameras or
// viewports. Everything a frame submits goes into one draw layer and is drawn by EndScene into
// the device's current render target: the device's own back buffer, the back buffer of an
// attached additional swap chain (AttachSwapChain), or, for the length of one of the
// renderer's off-screen draws, a render-target texture. Clip space follows the current
// target's size through the process-wide clip scale (legacy/clip_scale.h).
//
// Its code: lifecycle_legacy (construction, destruction), frame_legacy (frame loop, device
// loss and reset), drawing_legacy (draw operations, frame commands), targets_legacy (swap
// chains, render targets, render-target switching, off-screen draws), resources_legacy (the
// operations of this build's interface alone), emitters_legacy (particle emitters); text in
// lumiscriber_text_legacy.cpp. The device
// road, statistics, textures, image files, cursor and glyph-library settings are the current
// build's files (core/lumiscriber_common.cpp, _device.cpp, _stats.cpp, _textures.cpp,
// _cursor.cpp, _fonts.cpp), compiled against this class.
//
// Threads: host thread only. Errors as in the current build: fatal set-up stops go through
// tarnel Error after the system information report; misuse throws lumi::Exception;
// recoverable failures log a line and return false or null.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "core/build_variant.h"
#include "core/device_enumeration.h"
#include "core/renderer_interface.h"
#include "core/system_info_report_records.h"
#include "core/viewport.h"
#include "legacy/cmd_pool_set.h"
#include "legacy/frame_commands.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"

#if !LUMI_LEGACY
#error "this renderer object belongs to the legacy build"
#endif

class CD3DIndexBuffer;
class CD3DRenderTarget;
class CD3DSwapChain;
class CD3DTexture;
class CD3DVertexBuffer;
class CFontTexMgr;
class CParticleEmitterMgr;
class CTexMgr;
struct draw_layer_t;
struct font_desc_t;
struct STRU_PARTICLE_COMMAND;
struct STRU_RECT_COMMAND;

class CLumiscriber : public IRenderer {
public:
    // Builds everything in one pass. A fatal set-up failure throws tarnel::FatalError (after
    // the system information report); a width or height of 0 throws lumi::Exception
    // "div by zero." (the clip scale); anything built before is released again.
    explicit CLumiscriber(const STRU_RENDERER_PARAM& param);
    ~CLumiscriber() override;
    CLumiscriber(const CLumiscriber&) = delete;
    CLumiscriber& operator=(const CLumiscriber&) = delete;

    // ---- IRenderer, in table order ----
    std::int32_t GetUserData() override;
    std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) override;
    STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) override;
    void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void BeginScene() override;
    bool EndScene(bool present) override;
    void SetActive(bool active) override;
    bool IsActive() override;
    void RequestLoadWait() override;
    bool EvictManagedResources() override;
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
    STRU_DRAW_COMMAND_BASE* DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                      D3DCOLOR color) override;
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
    ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format) override;
    ITexture* CreateTexture(const WCHAR* path) override;
    ITexture* CreateTexture() override;
    ITexture* CreateMaskTexture(float size) override;
    void DestroyTexture(ITexture* texture) override;
    ISwapChain* CreateAdditionalSwapChain(std::int32_t width, std::int32_t height) override;
    void DestroySwapChain(ISwapChain* swapChain) override;
    void AttachSwapChain(ISwapChain* swapChain) override;
    bool IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    D3DCOLOR GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    STRU_IMAGE_FILE_SIZE GetImageFileSize(const WCHAR* path) override;
    bool GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) override;
    bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                       std::int32_t spacing) override;
    bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) override;
    void PreloadTexture(const WCHAR* path) override;
    bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) override;
    void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) override;
    float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) override;
    std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) override;
    bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) override;
    void SetDefaultFont(const WCHAR* path, std::int32_t size) override;
    void SetWesternFontPath(const WCHAR* path) override;
    CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool IsTextureLoaded(const WCHAR* path) override;
    bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) override;
    void DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                     std::int32_t flags) override;
    void DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, const RECT* source,
                                std::int32_t flags, D3DCOLOR color) override;
    void DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                              std::int32_t flags, D3DCOLOR color) override;
    bool Draw2Texture(ITexture* texture, const WCHAR* path, const RECT* source, const RECT* destination,
                      std::int32_t flags, D3DCOLOR color, bool clearTexture) override;
    void ReservedA(std::int32_t a, std::int32_t b) override;
    float GetFPS() override;
    void ReservedB(std::int32_t a) override;
    IRenderTarget* CreateRenderTarget(std::int32_t width, std::int32_t height) override;
    void DestroyRenderTarget(IRenderTarget* target) override;
    bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target, const POINT* position) override;
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
    IDirect3D9* GetDirect3D() const { return direct3d_; }
    IDirect3DDevice9* GetDevice() const { return device_; }  // null before the device
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const { return settings_; }
    const D3DCAPS9& GetCaps() const { return caps_; }
    const STRU_RENDERER_PARAM& GetParams() const { return param_; }
    bool IsDeviceLost() const { return deviceLost_; }
    // A loss reported by a render target: marks the renderer lost; BeginScene resets.
    void EnterLostState();

    // Grows the shared dynamic buffers to a draw's needs (bytes). False when a buffer could
    // not be made, even after the idle textures gave back their video memory.
    bool GrowDynamicBuffers(std::uint32_t vertexNeed, std::uint32_t indexNeed);

    CTexMgr* GetTexMgr() const { return texMgr_.get(); }
    CFontTexMgr* GetFontTexMgr() const { return fontTexMgr_.get(); }
    CParticleEmitterMgr* GetParticleEmitterMgr() const { return emitterMgr_.get(); }
    CD3DVertexBuffer* GetVertexBuffer() const { return vertexBuffer_.get(); }
    CD3DIndexBuffer* GetIndexBuffer() const { return indexBuffer_.get(); }
    // The typed pools every command of this renderer comes from.
    cmd_pool_set_t& GetCommandPools() { return *commandPools_; }
    // The commands of the immediate draws (ScratchCommand()) and of DrawTexture.
    const frame_commands_t& GetFrameCommands() const { return *frameCommands_; }
    // The one layer every submission goes to.
    draw_layer_t* GetDrawLayer() const { return layer_.get(); }

    // Draw bookkeeping.
    float GetDepthStep() const { return depthStep_; }
    // One device draw of a flush; the batches of the last EndScene are statistics field 5.
    void AddBatch() { ++batchCount_; }
    void AddDrawCalls(std::int32_t count) { stats_.DrawCalls += count; }
    bool IsGreyMode() const { return false; }  // the legacy build has no grey mode
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

    // The first set serves background loads, the second the host-thread loads.
    const STRU_FILE_CALLBACKS* GetBackgroundFileCallbacks() const { return &fileCallbacks_[0]; }
    const STRU_FILE_CALLBACKS* GetForegroundFileCallbacks() const { return &fileCallbacks_[1]; }
    const std::vector<DEVMODEW>& GetDisplayModes() const { return displayModes_; }
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
    enum class RoadMode { kFatal, kSoft };  // kSoft is the current build's display-mode change

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
    // Flags chosen by the texture's format, the source moved and clipped to the current frame
    // of an animated texture, then queued and counted. Nothing when the texture has no pixels.
    void SubmitTexturedRect(const RECT& source, const RECT& destination, std::int32_t flags, STRU_RECT_COMMAND* cmd,
                            D3DCOLOR color);
    // The particle command holding an emitter; null otherwise.
    STRU_PARTICLE_COMMAND* EmitterCommandOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    // Updates the command's emitter for this frame at the next draw sequence; null (nothing
    // updated) without one.
    STRU_PARTICLE_COMMAND* UpdateEmitterForDraw(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                std::int32_t dx, std::int32_t dy, std::int32_t param, float scale);
    // Queues a particle command that UpdateEmitterForDraw prepared.
    void QueueEmitterCommand(STRU_PARTICLE_COMMAND* particles);

    // The command as a textured rectangle holding a texture; null otherwise.
    STRU_RECT_COMMAND* TexturedRectOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    // The host's command of `type`, or for ScratchCommand() the renderer's next one.
    STRU_DRAW_COMMAND_BASE* CommandFor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t type);

    // A host-filled texture of a size the host gives as signed numbers; null without a texture
    // manager or for a side outside 0 to 65535.
    ITexture* CreateSizedTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage);

    // lifecycle
    void Construct(const STRU_RENDERER_PARAM& param);
    void ReleaseEverything();
    void FillDisplayModes();
    [[noreturn]] void FatalSetupError(const char* format, ...) __attribute__((format(printf, 2, 3)));
    [[noreturn]] void ThrowUnsupported() const;

    // device
    STRU_DEVICE_SETTINGS MakeDesiredSettings(const STRU_RENDERER_PARAM& param) const;
    bool CreateDeviceRoad(const STRU_RENDERER_PARAM& param, RoadMode mode);
    bool CheckDeviceCaps();
    HRESULT CreateDevice(const STRU_DEVICE_SETTINGS* settings);
    bool CheckTextureFormat(D3DFORMAT format);
    void CheckOptionalFormats();
    bool ChooseTextureFormats(std::int32_t quality);
    void SetDefaultRenderStates();
    void CreateGreyPixelShader();
    // A restore after a successful Reset threw: the renderer is lost again, and the caller
    // gives back what the restore made, so that the next BeginScene resets once more. That
    // retry comes every frame: the reason is logged once, until a restore succeeds (which
    // clears restoreFailureLogged_).
    void StayLostAfterFailedRestore(const std::exception& error);
    void CycleDisplayModeToFreeVideoMemory();
    void ReleaseCursorSurface();
    bool ApplyCursor();
    bool CaptureCursorImage(IDirect3DSurface9* image);
    bool WriteCursorImage(IDirect3DSurface9* image);

    // frame
    void UpdateFrameStats();
    bool CreateBufferWithRetry(bool vertex, std::uint32_t bytes);

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

    // Parameters.
    STRU_RENDERER_PARAM param_{};  // copied whole as the last construction step
    std::int32_t userData_ = 0;
    bool vsync_ = false;

    // Owned subsystems. The command pools come first and go last: every command the others
    // hold comes from them.
    std::unique_ptr<cmd_pool_set_t> commandPools_;
    std::unique_ptr<frame_commands_t> frameCommands_;
    std::unique_ptr<CTexMgr> texMgr_;
    std::unique_ptr<CFontTexMgr> fontTexMgr_;
    std::unique_ptr<CParticleEmitterMgr> emitterMgr_;
    std::unique_ptr<CD3DVertexBuffer> vertexBuffer_;
    std::unique_ptr<CD3DIndexBuffer> indexBuffer_;
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
    IDirect3DSurface9* cursorSurface_ = nullptr;
    CD3DTexture* cursorTexture_ = nullptr;  // one reference, applied again after a reset
    RECT cursorSource_{};
    bool cursorHasSource_ = false;
    std::vector<std::uint32_t> cursorImage_;
    std::int32_t cursorHotSpotX_ = 0;
    std::int32_t cursorHotSpotY_ = 0;
    IDirect3DPixelShader9* greyShader_ = nullptr;

    // State bytes.
    bool active_ = true;
    bool deviceLost_ = false;
    bool restoreFailureLogged_ = false;
    bool inFrame_ = false;
    bool syncLoading_ = false;
    bool loadWaitRequested_ = false;
    D3DCOLOR backgroundColor_ = 0;

    // Statistics.
    std::uint32_t constructionTimeMs_ = 0;
    std::uint64_t frameCount_ = 0;
    std::uint64_t runningTimeMs_ = 0;
    std::uint32_t sampleStartMs_ = 0;
    std::uint32_t framesInSample_ = 0;
    float lastFps_ = 0.0f;
    std::uint32_t drawSequence_ = 0;
    // 1 / the commands queued by the last drawn frame (0 for none); kept for the processors,
    // which build their vertices at submission and do not read it.
    float commandShare_ = 0.0f;
    float depthStep_ = 0.00001f;
    std::uint32_t batchCount_ = 0;
    std::uint32_t emitterFrameId_ = 1;
    static constexpr std::uint32_t kSampleIntervalMs = 1000;
    STRU_RENDER_STATS stats_{};

    STRU_FILE_CALLBACKS fileCallbacks_[2]{};
    SystemInfoRecords systemInfo_;
    bool timerPeriodBegun_ = false;
};
