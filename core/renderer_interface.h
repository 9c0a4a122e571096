#pragma once
// The renderer as the host sees it: the creation parameters, the file callbacks, the frame
// statistics and IRenderer, whose virtual operations are declared in their fixed order (the
// order is the library's binary interface with its host; never insert or reorder).
//
// Everything here runs on the host's thread unless an operation says otherwise.
#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

// Handle types the host passes back and forth; each is defined by the subsystem that owns it.
struct STRU_DRAW_COMMAND_BASE;  // a draw-command record ("cmd")
class ITexture;
class IRenderTarget;
class ISwapChain;
class ITextureCell;
class IFont;
class CRenderFont;
class CParticleEmitter;
class IHostSoundSystem;  // the host's sound object; the library only keeps the pointer

// The creation parameters, copied whole into the renderer. Field order is fixed; the size is
// 28 bytes only where a window handle is 4 bytes.
struct STRU_RENDERER_PARAM {
    std::int32_t UserData;      // returned by GetUserData, never interpreted
    HWND Window;                // device and focus window, window of the main render window
    std::int32_t Width;         // back buffer; the main render window takes the low 16 bits
    std::int32_t Height;
    std::int32_t BitsPerPixel;  // 16 -> R5G6B5, 32 -> X8R8G8B8, else the desktop's depth decides
    std::int32_t Quality;       // 1 full colour (and the low-memory prompt), 2 sixteen-bit, 3 compressed
    std::uint8_t Windowed;      // zero: full screen
    std::uint8_t Vsync;         // non-zero: interval ONE and the frame limiter; zero: IMMEDIATE
    std::uint8_t Padding[2];
};
static_assert(sizeof(void*) != 4 || sizeof(STRU_RENDERER_PARAM) == 28, "28 bytes on 32-bit targets");

// One set of host file functions. Handles are opaque to the library. The first set serves
// the background resource loader (and may be called from its threads), the second the loads
// made on the host's thread while synchronous loading is on.
using LumiFileHandle = void*;
using PFN_FILE_OPEN = std::int32_t (*)(const WCHAR* path, std::int32_t* size, LumiFileHandle* file);  // 0 or -1
using PFN_FILE_CLOSE = std::int32_t (*)(LumiFileHandle file);                                       // 0
using PFN_FILE_READ = std::int32_t (*)(LumiFileHandle file, void* buffer, std::int32_t length,
                                      std::int32_t* count);                                         // 0 or -1
using PFN_FILE_SEEK = std::int32_t (*)(LumiFileHandle file, std::int32_t offset, std::int32_t origin);  // 0 on success

struct STRU_FILE_CALLBACKS {
    PFN_FILE_OPEN Open;
    PFN_FILE_CLOSE Close;
    PFN_FILE_READ Read;
    PFN_FILE_SEEK Seek;
};

// What GetStatistics returns; the renderer owns it, the host reads it.
struct STRU_TEX_STATS;  // the texture manager's statistics block
struct STRU_RENDER_STATS {
    float MinFps;                 // over all one-second samples; 0 until the first
    float MaxFps;
    float Reserved;               // always 0
    std::int32_t DrawCalls;       // of the current frame
    std::int32_t Batches;         // of the last finished frame
    std::int32_t FrameCleared;    // cleared each frame; nothing else writes it
    STRU_TEX_STATS* TexStats;     // filled by GetStatistics; null before its first call
};

// One segment of DrawLines.
struct STRU_LINE_SEGMENT {
    std::int32_t x1, y1, x2, y2;
};

// The result of GetImageFileSize; {0, 0} for an unreadable file.
struct STRU_IMAGE_FILE_SIZE {
    std::int32_t Width;
    std::int32_t Height;
};

// Immediate draw operations accept this value in place of a command: the renderer then takes
// a scratch command of the right type from its per-frame pools. Compared exactly.
inline constexpr std::intptr_t kScratchCommandValue = -1;
inline STRU_DRAW_COMMAND_BASE* ScratchCommand() {
    return reinterpret_cast<STRU_DRAW_COMMAND_BASE*>(kScratchCommandValue);
}
inline bool IsScratchCommand(const STRU_DRAW_COMMAND_BASE* cmd) {
    return reinterpret_cast<std::intptr_t>(cmd) == kScratchCommandValue;
}

// The root of the library's interfaces: deleting through it destroys the whole object.
class IBaseInterface {
public:
    virtual ~IBaseInterface() = default;
};

// Operations that a later piece of work has not built yet throw lumi::Exception
// ("unsupported method!"); so do UnsupportedMethodA and UnsupportedMethodB always.
class IRenderer : public IBaseInterface {
public:
    virtual std::int32_t GetUserData() = 0;
    virtual std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) = 0;
    virtual STRU_DRAW_COMMAND_BASE* ClonePrimitive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void TickFrame() = 0;
    virtual void BeginScene() = 0;
    virtual bool EndScene(bool present) = 0;
    // Null selects the main render window; returns the previous current target.
    virtual IRenderTarget* SelectRenderTarget(IRenderTarget* target) = 0;
    virtual IRenderTarget* GetMainWindow() = 0;
    virtual void UnsupportedMethodA() = 0;
    virtual void SetActive(bool active) = 0;
    virtual bool IsActive() = 0;
    virtual void RequestLoadWait() = 0;
    virtual void SetSoundInterface(IHostSoundSystem* sound) = 0;
    virtual bool IsHardwareCursorSupported() = 0;
    virtual bool ShowCursor(bool show) = 0;
    virtual void SetCursorHotSpot(std::int32_t x, std::int32_t y) = 0;
    virtual void SetCursorTexture(std::int32_t x, std::int32_t y, ITexture* texture, const RECT* source) = 0;
    // Replaces both callback sets; a null pointer in either set is a fatal error.
    virtual void SetFileSystem(PFN_FILE_OPEN open1, PFN_FILE_CLOSE close1, PFN_FILE_READ read1, PFN_FILE_SEEK seek1,
                               PFN_FILE_OPEN open2, PFN_FILE_CLOSE close2, PFN_FILE_READ read2,
                               PFN_FILE_SEEK seek2) = 0;
    virtual bool HasCircleBeam(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void SetBackgroundColor(D3DCOLOR color) = 0;
    virtual std::int16_t GetWidth() = 0;
    virtual std::int16_t GetHeight() = 0;
    virtual void DrawEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                             std::int32_t dy, std::int32_t param, float scale) = 0;
    virtual void DrawEmitterAlt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                std::int32_t dy, std::int32_t param, float scale) = 0;
    virtual void DrawCircleEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, std::int32_t dx,
                                   std::int32_t dy, std::int32_t param, float scale) = 0;
    virtual void DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color) = 0;
    virtual void DrawLine(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                          std::int32_t y2, D3DCOLOR color) = 0;
    virtual void DrawLines(STRU_DRAW_COMMAND_BASE* cmd, const STRU_LINE_SEGMENT* segments, std::int32_t count,
                           D3DCOLOR color) = 0;
    virtual void DrawTriangle(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                              std::int32_t y2, std::int32_t x3, std::int32_t y3, D3DCOLOR color, bool filled) = 0;
    virtual void DrawRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                          std::int32_t bottom, D3DCOLOR color, bool filled) = 0;
    virtual void DrawReserved(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, std::int32_t e,
                              std::int32_t f, std::int32_t g, std::int32_t h) = 0;
    // Text commands (type 6): nothing is drawn until the command has a font and a text whose
    // glyphs are all rasterised; a later call draws it. The glyphs' rectangles are placed
    // again only when the rectangle, wrap or spacing changes. DrawText reaches 65535 pixels
    // right and down without wrapping.
    virtual void DrawText(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color, bool outline,
                          D3DCOLOR outlineColor, std::int32_t spacing) = 0;
    virtual void DrawTextInRect(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t left, std::int32_t top, std::int32_t right,
                                std::int32_t bottom, D3DCOLOR color, bool wrap, bool outline, D3DCOLOR outlineColor,
                                std::int32_t spacing) = 0;
    virtual ITexture* CreateUITexture(std::int32_t width, std::int32_t height) = 0;
    virtual ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) = 0;
    virtual ITexture* CreateTexture(const WCHAR* path) = 0;
    virtual ITexture* CreateTexture() = 0;
    virtual ITexture* CreateMaskTexture(float size) = 0;
    virtual void DestroyTexture(ITexture* texture) = 0;
    // Null without a device. The window stays the renderer's until DestroyRenderWindow or
    // the renderer's destruction.
    virtual ISwapChain* CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) = 0;
    virtual void DestroyRenderWindow(ISwapChain* swapChain) = 0;
    virtual IRenderTarget* SelectRenderWindow(ISwapChain* swapChain) = 0;
    virtual ITextureCell* AllocTextureCell(std::int32_t size) = 0;
    virtual void ReleaseTextureCell(ITextureCell** cell) = 0;
    virtual bool IsPixelTransparent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) = 0;
    virtual D3DCOLOR GetPixelColor(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y) = 0;
    virtual STRU_IMAGE_FILE_SIZE GetImageFileSize(const WCHAR* path) = 0;
    virtual bool GetTextureSize(STRU_DRAW_COMMAND_BASE* cmd, std::int16_t* width, std::int16_t* height) = 0;
    virtual bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                               std::int32_t spacing) = 0;
    virtual bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) = 0;
    virtual void PreloadTexture(const WCHAR* path) = 0;
    virtual bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) = 0;
    virtual bool AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t ignored) = 0;
    virtual void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) = 0;
    virtual float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) = 0;
    // Sizes are pixel heights, held to 0..255. SetFont returns the font's line height (low 8
    // bits; 0 until its first glyph is rasterised). A code unit the fonts have no glyph for
    // is drawn as nothing; no text operation throws for the text it is given.
    virtual std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) = 0;
    virtual bool SetFonts(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored1, const WCHAR* mainPath,
                          std::int32_t mainSize, std::int32_t ignored2, const WCHAR* westernPath,
                          std::int32_t westernSize, std::int32_t ignored3) = 0;
    // Keeps at most 255 code units; false for unchanged text, else whether it is laid out.
    virtual bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) = 0;
    // Fonts and font pairs belong to the renderer; the host only points at them.
    virtual CRenderFont* SetDefaultFont(const WCHAR* path, std::int32_t size) = 0;
    virtual void SetWesternFontPath(const WCHAR* path) = 0;
    virtual IFont* GetFont(const WCHAR* path, std::int32_t size, std::int32_t flags, std::int32_t ignored) = 0;
    virtual CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual bool IsTextureLoaded(const WCHAR* path) = 0;
    virtual bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void DrawTexture(ITexture* texture, const RECT* destination, const RECT* source, D3DCOLOR color,
                             std::int32_t flags) = 0;
    virtual void DrawTexturePrimitiveAt(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                        const RECT* source, std::int32_t flags, D3DCOLOR color) = 0;
    virtual void DrawTexturePrimitive(STRU_DRAW_COMMAND_BASE* cmd, const RECT* source, const RECT* destination,
                                      std::int32_t flags, D3DCOLOR color) = 0;
    virtual float GetFPS() = 0;
    virtual bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target,
                             const POINT* position) = 0;
    virtual void UnsupportedMethodB() = 0;
    virtual bool SaveTexture(ITexture* texture, const WCHAR* path) = 0;
    virtual bool SaveImageRegion(const WCHAR* imagePath, const RECT* region, const WCHAR* outPath,
                                 const SIZE* size) = 0;
    virtual bool IsImageTransparent(const WCHAR* path) = 0;
    virtual bool GetTexOptimizationRect(const WCHAR* path, RECT* out) = 0;
    virtual void DrawTexturePrimitiveEx(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color,
                                        const RECT* destination, const RECT* source) = 0;
    virtual bool SetFontAntialias(bool on) = 0;
    virtual bool GetFontAntialias() = 0;
    virtual void OnFrameBegin() = 0;
    virtual void OnFrameEnd() = 0;
    virtual STRU_RENDER_STATS* GetStatistics() = 0;
    virtual void SetGreyMode(bool on) = 0;
    // False (and the old mode kept) when the new mode cannot be had; throws
    // lumi::Exception("restore d3d device failed.") when not even the old one can.
    virtual bool ChangeDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                   std::int32_t quality, bool vsync, bool windowed) = 0;
};
