#pragma once
// CLumiscriberCommon: what the renderer objects of both builds hold and do alike. Each build
// derives its one CLumiscriber from it (core/lumiscriber.h, legacy/lumiscriber_legacy.h) and
// adds only what it does its own way.
//
// It holds the device and what was chosen with it (capabilities, texture formats, display
// modes), the creation parameters, the managers and dynamic buffers both builds own, the
// hardware cursor, the frame statistics and the file callbacks. Its members are defined in the
// files both builds compile: lumiscriber_common.cpp (construction and destruction steps,
// display modes, fatal stops, file callbacks, device reset), lumiscriber_device.cpp (device
// road, default states), lumiscriber_stats.cpp (statistics, buffer sizing),
// lumiscriber_textures.cpp (textures and image files), lumiscriber_cursor.cpp,
// lumiscriber_fonts.cpp (glyph-library settings, DrawText), lumiscriber_emitters.cpp (particle
// emitters on commands) and lumiscriber_shared_draws.cpp (commands, shapes, sprites).
//
// Where shared code needs a step the builds take differently (how a command is found and
// queued, how an emitter's draw is numbered), it calls its build's CLumiscriber through
// Renderer(): each build has exactly one renderer object, so the call is chosen at compile
// time. This class adds no virtual function: the slots after IRenderer's are each build's own.
//
// Threads: everything runs on the host's thread. Errors: fatal set-up stops go through tarnel
// Error (which throws tarnel::FatalError here) after the system information report; misuse
// throws lumi::Exception; recoverable failures log a line and return false or null.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "core/device_enumeration.h"
#include "core/renderer_interface.h"
#include "core/system_info_report_records.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/display.h"

class CLumiscriber;
class CD3DIndexBuffer;
class CD3DTexture;
class CD3DVertexBuffer;
class CParticleEmitterMgr;
class CTexMgr;
struct STRU_PARTICLE_COMMAND;
struct STRU_POINT_COMMAND;
struct STRU_RECT_COMMAND;

class CLumiscriberCommon : public IRenderer {
public:
    CLumiscriberCommon(const CLumiscriberCommon&) = delete;
    CLumiscriberCommon& operator=(const CLumiscriberCommon&) = delete;

    // ---- IRenderer operations both builds carry out alike, by the file that defines them ----
    // lumiscriber_common.cpp
    std::int32_t GetUserData() override;
    void SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1, PFN_FILE_SEEK seek1,
                       PFN_FILE_OPEN open2, PFN_FILE_CLOSE close2, PFN_FILE_READ read2, PFN_FILE_SEEK seek2) override;
    // lumiscriber_stats.cpp
    void SetActive(bool active) override;
    bool IsActive() override;
    void RequestLoadWait() override;
    float GetFPS() override;
    STRU_RENDER_STATS* GetStatistics() override;
    // lumiscriber_cursor.cpp
    bool IsHardwareCursorSupported() override;
    bool ShowCursor(bool show) override;
    void SetCursorHotSpot(std::int32_t x, std::int32_t y) override;
    void SetCursorTexture(std::int32_t x, std::int32_t y, ITexture* texture, const RECT* source) override;
    // lumiscriber_textures.cpp
    std::int16_t GetWidth() override;
    std::int16_t GetHeight() override;
    ITexture* CreateUITexture(std::int32_t width, std::int32_t height) override;
    ITexture* CreateTexture(const WCHAR* path) override;
    ITexture* CreateTexture() override;
    ITexture* CreateMaskTexture(float size) override;
    void DestroyTexture(ITexture* texture) override;
    void PreloadTexture(const WCHAR* path) override;
    bool IsTextureLoaded(const WCHAR* path) override;
    bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) override;
    bool GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) override;
    bool IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    D3DCOLOR GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) override;
    bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) override;
    bool SaveTexture(ITexture* texture, const WCHAR* path) override;
    bool SaveImageRegion(const WCHAR* imagePath, const RECT* region, const WCHAR* outPath, const SIZE* size) override;
    bool IsImageTransparent(const WCHAR* path) override;
    bool GetTexOptimizationRect(const WCHAR* path, RECT* out) override;
    STRU_IMAGE_FILE_SIZE GetImageFileSize(const WCHAR* path) override;
    // lumiscriber_fonts.cpp
    void SetWesternFontPath(const WCHAR* path) override;
    bool SetFontAntialias(bool on) override;
    bool GetFontAntialias() override;
    void DrawText(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color, bool outline,
                  D3DCOLOR outlineColor, std::int32_t spacing) override;
    // lumiscriber_emitters.cpp
    void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) override;
    CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) override;
    float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) override;
    bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) override;
    void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) override;
    bool HasCircleBeam(STRU_DRAW_COMMAND_BASE* cmd) override;
    void DrawEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy,
                     std::int32_t param, float scale) override;
    void DrawEmitterAlt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy,
                        std::int32_t param, float scale) override;
    void DrawCircleEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                           std::int32_t dy, std::int32_t param, float scale) override;
    // lumiscriber_shared_draws.cpp
    std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) override;
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
    void DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, const RECT* source,
                                std::int32_t flags, D3DCOLOR color) override;
    void DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                              std::int32_t flags, D3DCOLOR color) override;
    void DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color,
                                const RECT* destination, const RECT* source) override;

    // ---- For the library's own parts ----
    IDirect3D9* GetDirect3D() const { return direct3d_; }
    IDirect3DDevice9* GetDevice() const { return device_; }  // null before the device and between devices
    const STRU_DEVICE_SETTINGS& GetDeviceSettings() const { return settings_; }
    const D3DCAPS9& GetCaps() const { return caps_; }

    bool IsDeviceLost() const { return deviceLost_; }
    // A loss reported by a render target, a render window or the scene manager: the first
    // report marks the renderer lost and runs the build's OnLostDevice; later ones do nothing
    // until a reset succeeds.
    void EnterLostState();

    // Grows the shared dynamic buffers to a frame's needs (bytes). False when a buffer could
    // not be made, even after the idle textures gave back their video memory.
    bool GrowDynamicBuffers(std::uint32_t vertexNeed, std::uint32_t indexNeed);

    CTexMgr* GetTexMgr() const { return texMgr_.get(); }
    CParticleEmitterMgr* GetParticleEmitterMgr() const { return emitterMgr_.get(); }
    CD3DVertexBuffer* GetVertexBuffer() const { return vertexBuffer_.get(); }
    CD3DIndexBuffer* GetIndexBuffer() const { return indexBuffer_.get(); }

    // The depth between two submissions, chosen with the device's depth format.
    float GetDepthStep() const { return depthStep_; }
    // One device draw of a flush; the last finished frame's count is statistics field 5.
    void AddBatch() { ++batchCount_; }
    // Host submissions of the current frame (statistics field 4).
    void AddDrawCalls(std::int32_t count) { stats_.DrawCalls += count; }
    std::uint32_t GetEmitterFrameId() const { return emitterFrameId_; }
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

protected:
    enum class RoadMode { kFatal, kSoft };  // construction stops the process; a mode change returns false

    // Takes the user data word and vsync of the parameters; builds nothing (the build's
    // constructor calls ConstructOrRelease).
    explicit CLumiscriberCommon(const STRU_RENDERER_PARAM& param);
    ~CLumiscriberCommon() override;

    // This build's renderer object (defined in core/lumiscriber.h, once it is declared).
    CLumiscriber& Renderer();

    // ---- Construction and destruction (lumiscriber_common.cpp) ----
    // Runs the build's Construct; when it throws, the build's ReleaseEverything gives back what
    // was built before the exception goes on: nothing half-built outlives a failed construction.
    void ConstructOrRelease(const STRU_RENDERER_PARAM& param);
    // The destruction both builds run: the run's statistics logged, the build's
    // ReleaseEverything, then the event log closed.
    void Destroy();
    // The first construction steps, the same in both builds: the event log opened afresh, the
    // timer resolution raised, the path buffer, settings and records cleared, the clocks
    // started, the default file callbacks set and the display modes listed.
    void BeginConstruction();
    // The Direct3D object, the adapter enumeration and the device, each a fatal set-up stop
    // when it cannot be had; then the shared dynamic buffers (not yet sized).
    void CreateDeviceAndBuffers(const STRU_RENDERER_PARAM& param);
    void CreateTextureManager();
    // The device's default states and, with pixel shader 1.1, the grey pixel shader.
    void FinishDeviceSetup();
    // The grey pixel shader and the cursor surface, the device objects the renderer makes
    // besides textures and buffers.
    void ReleaseDeviceObjects();
    // The shared buffers, the device and the Direct3D object, in that order. Never throws.
    void ReleaseBuffersAndDevice();
    // What construction began last: the system information and the raised timer resolution.
    void EndRelease();

    // ---- Device reset (lumiscriber_common.cpp) ----
    // Resets the device with the current present parameters. False when it fails or there is
    // no device: logged, and the renderer is (or stays) lost.
    bool ResetWithPresentParameters();
    // After a successful Reset: `restore` makes again what the reset needed released, then the
    // renderer works again and the cursor the host set once is applied to the new cursor
    // surface. When `restore` throws, the renderer stays lost and `release` gives back what it
    // made (never half restored), so that the next BeginScene resets once more.
    void FinishReset(const std::function<void()>& restore, const std::function<void()>& release);
    // The cursor surface went with the device (a reset or a new device): the host's cursor
    // comes back.
    void ReapplyCursor();

    // ---- The device road (lumiscriber_device.cpp) ----
    bool CreateDeviceRoad(const STRU_RENDERER_PARAM& param, RoadMode mode);
    void SetDefaultRenderStates();
    void CreateGreyPixelShader();
    void ReleaseCursorSurface();

    // ---- Frames and commands (lumiscriber_stats.cpp, lumiscriber_shared_draws.cpp) ----
    // With synchronous loading on, or once after RequestLoadWait: waits until the resource
    // loader has ended every queued load.
    void WaitForLoadsWhenAsked();
    // A renderer whose device is lost, or that the host made inactive, sleeps 25 ms at the start
    // of a frame rather than spin.
    void SleepWhenIdle();
    void UpdateFrameStats();
    [[noreturn]] void ThrowUnsupported() const;
    // A host-filled texture of a size the host gives as signed numbers; null without a texture
    // manager or for a side outside 0 to 65535. Pooled when `usage` has D3DUSAGE_DYNAMIC.
    ITexture* CreateSizedTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage);
    // The particle command holding an emitter; null otherwise.
    STRU_PARTICLE_COMMAND* EmitterCommandOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    // DrawPoint of both builds: the point queued in the command of type 0 (or, for
    // ScratchCommand(), the renderer's own); null, with nothing queued, for any other command.
    STRU_POINT_COMMAND* QueuePoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color);
    // The submission every textured draw ends in: flags chosen by the texture's format, the
    // source moved and clipped to the current frame of an animated texture, then queued and
    // counted. Nothing when the command's texture has no pixels to draw.
    void SubmitTexturedRect(const RECT& source, const RECT& destination, std::int32_t flags, STRU_RECT_COMMAND* cmd,
                            D3DCOLOR color);

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
    // Taken at construction; in the current build a successful display-mode change replaces it.
    bool vsync_ = false;

    // Owned subsystems both builds have. The builds release them in their own order
    // (ReleaseEverything); the build's font manager is its own.
    std::unique_ptr<CTexMgr> texMgr_;
    std::unique_ptr<CParticleEmitterMgr> emitterMgr_;
    std::unique_ptr<CD3DVertexBuffer> vertexBuffer_;
    std::unique_ptr<CD3DIndexBuffer> indexBuffer_;

    // The hardware cursor. The last cursor the host set is applied again after a reset: the
    // texture holds one reference of the renderer's, so the host cannot destroy it while it is
    // the cursor.
    IDirect3DSurface9* cursorSurface_ = nullptr;
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
    float depthStep_ = 0.00001f;  // until a device chose its depth format
    std::uint32_t batchCount_ = 0;
    std::uint32_t emitterFrameId_ = 1;
    static constexpr std::uint32_t kSampleIntervalMs = 1000;
    STRU_RENDER_STATS stats_{};

    STRU_FILE_CALLBACKS fileCallbacks_[2]{};
    SystemInfoRecords systemInfo_;  // gathered before a fatal set-up stop; kept until destruction
    bool timerPeriodBegun_ = false;

private:
    void FillDisplayModes();
    [[noreturn]] void FatalSetupError(const char* format, ...) __attribute__((format(printf, 2, 3)));
    STRU_DEVICE_SETTINGS MakeDesiredSettings(const STRU_RENDERER_PARAM& param) const;
    bool CheckDeviceCaps();
    HRESULT CreateDevice(const STRU_DEVICE_SETTINGS* settings);
    bool CheckTextureFormat(D3DFORMAT format);
    void CheckOptionalFormats();
    // Stops the process (fatal) when the alpha or the normal format cannot be textured.
    bool ChooseTextureFormats(std::int32_t quality);
    void CycleDisplayModeToFreeVideoMemory();
    // Copies the remembered cursor texture into the cursor surface (made when missing) and
    // hands it to the device; false when any step fails. A texture without pixels (unloaded
    // by a display-mode change, or still loading) gives the image it gave last.
    bool ApplyCursor();
    // The cursor's 32 x 32 image from the texture into `image` (system memory) and kept; or,
    // while the texture is still loading, the kept one. False when neither is there.
    bool CaptureCursorImage(IDirect3DSurface9* image);
    bool WriteCursorImage(IDirect3DSurface9* image);
    bool CreateBufferWithRetry(bool vertex, std::uint32_t bytes);
    // A restore after a successful Reset threw: the renderer is lost again. The retry comes
    // every frame: the reason is logged once, until a restore succeeds (which clears
    // restoreFailureLogged_).
    void StayLostAfterFailedRestore(const std::exception& error);
    // The command as a textured rectangle holding a texture; null otherwise.
    STRU_RECT_COMMAND* TexturedRectOf(STRU_DRAW_COMMAND_BASE* cmd) const;
    // The emitter's draw for this frame, shared by the emitter draw operations: a particle
    // command whose emitter is loaded and still draws takes its sequence number, offset and
    // parameter, and its emitter is updated; its beams' textures are held for the frame.
    // Null (nothing done) for any other command.
    STRU_PARTICLE_COMMAND* UpdateEmitterForDraw(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                                std::int32_t dx, std::int32_t dy, std::int32_t param, float scale);
};
