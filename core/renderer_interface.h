#pragma once
// The renderer as the host sees it: the creation parameters, the file callbacks, the frame
// statistics, the draw-command types and flags, the handles the renderer gives out, and
// IRenderer, whose virtual operations are declared in their fixed order (the order is the
// library's binary interface with its host; never insert or reorder). A host includes
// "core/lumiscriber_api.h", which brings this header and the factory pair.
//
// The two libraries differ in IRenderer: the current one (liblumiscriber) is declared below,
// the legacy one (liblumiscriber_legacy) in legacy/renderer_interface_legacy.h, which this
// header declares instead when LUMI_LEGACY is 1. The legacy package passes LUMI_LEGACY=1 to
// its hosts; the rest of this header serves both. The runs of operations that both tables
// hold in the same order are declared once, in core/renderer_slots_*.inc, which each table
// includes where the run stands.
//
// A frame, as the host drives it:
//   OnFrameBegin();          per-frame start of the texture and font managers
//   BeginScene();            frame clock, per-frame pools, device reset after a loss
//   ... draw operations ...  queued into the current render target, in submission order
//   EndScene(true);          draws every render target (main window last) and presents
//   OnFrameEnd();            per-frame bookkeeping; must follow every OnFrameBegin
// BeginScene runs OnFrameBegin itself when the host left it out, so a host may call only
// BeginScene, EndScene and OnFrameEnd. Calling OnFrameBegin twice without OnFrameEnd, or
// OnFrameEnd without OnFrameBegin, is a fatal error. Everything a frame queued is drawn in
// submission order: a later submission lies in front of an earlier one.
//
// Threads: every operation runs on the host's thread. Only the file callbacks of the first
// set (SetFileSystem) may be called from the resource loader's threads.
//
// Failures: operations that can fail return false, null or 0 and write a line to the event
// log, "logs/lumiscriber.log" under the working folder. The log is written only where that
// logs/ folder exists: a host that wants the lines creates the folder before
// CreateLumiscriber. Exceptions reach the host in these cases, all derived from
// std::exception:
//   - lumi::Exception ("core/exception.h"; what() is a short English message) for misuse and
//     states the renderer cannot go on from:
//       "restore d3d device failed."   ChangeDisplayMode could restore neither mode
//       "string overflow."             a texture path of 260 units or more (CreateTexture,
//                                      PreloadTexture, SetTexture, DrawTex2Tex)
//       "unsupported"                  ClonePrimitive of a text or particle command
//       "unsupported method!"          UnsupportedMethodA/B
//       "invalid texture data."        DestroyTexture of a host texture destroyed before
//       "invalid texture name."        DestroyTexture of a file texture this renderer does not
//                                      hold (made by another renderer)
//       "Not enough memory in pool"    CreateMaskTexture, or CreateTexture with
//                                      D3DUSAGE_DYNAMIC, when the device refuses the memory
//       "CreateAdditionalSwapChain failed. ", "failed to create depth stencil buffer."
//                                      CreateRenderWindow when the device refuses the window
//       "d3d error"                    ITexture::LoadFromMemory when the device refuses the
//                                      texture's surface
//     A pointer the renderer did not give out, or one used after it was given back, may also
//     meet one of the library's internal checks, whose messages are not listed here.
//   - std::bad_alloc (lumi::OutOfMemory, "out of memory!") and std::runtime_error from a named
//     memory pool, when memory runs out.
//   - tarnel::FatalError ("platform/tarnel/tarnel.h") from the base library's Error, which on
//     the real platform ends the process: a frame-pairing mismatch, a null file callback, and
//     a display-mode change on a device without the texture formats the quality needs.
// CreateLumiscriber catches everything its construction throws and returns null; the event
// log says why (where logs/ exists).
//
// While the device is lost (Present or EndScene reported it), draw operations queue nothing,
// OnFrameBegin sleeps 25 ms, and each BeginScene tries to reset the device once it can be.
#include <cstdint>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_types.h"

// Handles the renderer gives out and takes back; the host never looks inside them.
struct STRU_DRAW_COMMAND_BASE;  // a draw command ("cmd"): made by CreatePrimitive, freed by ReleasePrimitive
class IFont;                    // a font of the font manager (GetFont)
class CRenderFont;              // a main and western font pair (SetDefaultFont)
class CParticleEmitter;         // the emitter of a particle command (GetParticleEmitter); a host
                                // edits it through EmitterScriptOf (particle/particle_emitter_script.h)
class IHostSoundSystem;         // the host's sound object; the library only keeps the pointer
struct STRU_TEX_STATS;          // the texture manager's counters (STRU_RENDER_STATS::TexStats)

// ---- Draw-command types (CreatePrimitive, GetPrimitiveType; 4 is never used) ----
inline constexpr std::int32_t kDrawCmdPoint = 0;
inline constexpr std::int32_t kDrawCmdLine = 1;
inline constexpr std::int32_t kDrawCmdTriangle = 2;
inline constexpr std::int32_t kDrawCmdRect = 3;          // filled or outlined rectangle
inline constexpr std::int32_t kDrawCmdTexturedRect = 5;  // sprite: a rectangle of a texture
inline constexpr std::int32_t kDrawCmdText = 6;
inline constexpr std::int32_t kDrawCmdParticle = 7;      // a particle emitter

// ---- Draw flags (the flags argument of the textured draws) ----
inline constexpr std::int32_t kDrawFlagOpaque = 0x1;  // opaque pass
inline constexpr std::int32_t kDrawFlagAlpha = 0x2;   // alpha-blended pass
// How a sprite's colour combines with its texture in the alpha-blended pass (with
// kDrawFlagAlpha); without one of these the texture's colour is drawn as it is.
inline constexpr std::int32_t kDrawFlagGrey = 0x10000;  // grey image (needs pixel shader 1.1)
inline constexpr std::int32_t kDrawFlagModulate = 0x20000;
inline constexpr std::int32_t kDrawFlagAdd = 0x40000;
inline constexpr std::int32_t kDrawFlagSubtract = 0x80000;
inline constexpr std::int32_t kDrawFlagAddSigned = 0x100000;
inline constexpr std::int32_t kDrawFlagAddSmooth = 0x200000;
// A command with exactly these flags is drawn in colour also while grey mode is on.
inline constexpr std::int32_t kDrawFlagsNoGrey = -1;

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
struct STRU_RENDER_STATS {
    float MinFps;                 // over all one-second samples; 0 until the first
    float MaxFps;
    float Reserved;               // always 0
    std::int32_t DrawCalls;       // the host's draw submissions in the current frame
    std::int32_t Batches;         // of the last finished frame
    std::int32_t FrameCleared;    // cleared each frame; nothing else writes it
    STRU_TEX_STATS* TexStats;     // the texture manager's counters (opaque); null before the first GetStatistics
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

class IRenderTarget;
class ITextureCell;

// A texture. Textures are made and destroyed only by the renderer (CreateTexture...,
// DestroyTexture); the host never deletes one.
class ITexture : public IBaseInterface {
public:
    // Whether the pixel's alpha is 0 (pixels outside the texture count as transparent).
    virtual bool IsPixelTransparent(std::int32_t x, std::int32_t y) = 0;
    // The allocated size (powers of two for file textures).
    virtual std::uint16_t GetWidth() = 0;
    virtual std::uint16_t GetHeight() = 0;
    // Turns the texture into a file texture of `path` and reads the file's size at once; no
    // pixels are bound until the texture is drawn. Null or empty is ignored. A texture made
    // from a path (CreateTexture(path)) is found by the new path from then on, not by the
    // old; when another texture is already found by the new path, that one keeps it.
    virtual void SetFileName(const WCHAR* path) = 0;
    // Decodes an image file held in memory into the texture. False when the data is not an
    // image D3DX knows or cannot be loaded, or when the image is larger than the device's
    // largest texture or would need more than the 256 MiB one load may hold (logged).
    virtual bool LoadFromMemory(const void* data, std::uint32_t size) = 0;
    // True when the texture has pixels; else whether its file's size could be read.
    virtual bool EnsureLoaded() = 0;
    // Writes host pixels (1, 8, 16, 24 or 32 bits each, `pitch` bytes a row) at (x, y),
    // clipped to the texture. True when written (or nothing to write); false when the
    // texture has no pixels, (x, y) lies outside it, or the lock fails (logged).
    virtual bool UpdateRect(const void* data, std::int32_t width, std::int32_t height, std::int32_t pitch,
                            std::int32_t bitsPerPixel, std::int32_t x, std::int32_t y) = 0;
    // The source image's size; 0 when the texture was not made from an image.
    virtual std::uint32_t GetImageWidth() = 0;
    virtual std::uint32_t GetImageHeight() = 0;
    // The render target of a render-target texture (memory bound on demand); else null.
    virtual IRenderTarget* GetRenderTarget() = 0;
};

// Something the renderer draws into: the main window (GetMainWindow), an additional window
// (SelectRenderWindow gives it back) or a render-target texture. Owned by the renderer.
class IRenderTarget {
public:
    virtual std::uint16_t GetWidth() = 0;
    virtual std::uint16_t GetHeight() = 0;
    // Saves the target's pixels; the extension after the last '.' picks the file format.
    // A render window (the main window, or one made by CreateRenderWindow) holds no pixels of
    // its own to save and returns false by design: a host saves a window's presented frame
    // from the platform's window instead (win32::SaveWindowPixelsPng, or win32::WindowPixels
    // to read it, "platform/win32/window.h"), after EndScene(true).
    virtual bool SaveToFile(const WCHAR* path) = 0;
    virtual bool SaveToFileEx(const WCHAR* path, std::int32_t ignored) = 0;
    // The pixel scale of every viewport (drawing at scale s draws p pixels as p x s).
    virtual void SetScale(float scale) = 0;
    virtual float GetScale() = 0;
    // Sampler filters for textured drawing into this target; -1 leaves the device's value.
    virtual void SetFilters(std::int32_t magFilter, std::int32_t minFilter, std::int32_t third) = 0;

protected:
    ~IRenderTarget() = default;  // the host never deletes a target
};

// The host's handle of an additional render window (CreateRenderWindow). The renderer deletes
// it in DestroyRenderWindow or when it is destroyed; the host never deletes it.
class ISwapChain : public IBaseInterface {
public:
    virtual std::uint16_t GetWidth() = 0;
    virtual std::uint16_t GetHeight() = 0;
    // Presents the window's back buffer; D3DERR_INVALIDCALL while it has no swap chain.
    virtual HRESULT Present(const RECT* source, const RECT* destination, HWND window) = 0;
    // A disabled window is neither drawn nor presented by EndScene.
    virtual void SetEnabled(bool enabled) = 0;
};

// The host's object told when a cell it holds goes away, or loses its pixels with a
// display-mode change (the cell itself then stays the host's, on the same square of the
// re-created page, until ReleaseTextureCell; the listener is not told again). The library
// calls only OnCellReleased; the host owns the listener.
class ITextureCellListener {
public:
    virtual ~ITextureCellListener() = default;
    virtual void OnCellReleased(ITextureCell* cell) = 0;
};

// A square of an atlas page lent to the host as a drawing area (AllocTextureCell), until
// ReleaseTextureCell, across display-mode changes too.
class ITextureCell : public IBaseInterface {
public:
    // The atlas page holding the cell.
    virtual ITexture* GetTexture() = 0;
    // The cell's rectangle in the page; valid while the cell lives.
    virtual const RECT* GetRect() = 0;
    // Stores the listener; a different listener held before is told first that the cell is
    // released from it. The same listener again does nothing.
    virtual void SetListener(ITextureCellListener* listener) = 0;
};

#if defined(LUMI_LEGACY) && LUMI_LEGACY
#include "legacy/renderer_interface_legacy.h"
#else

// The renderer. Made by CreateLumiscriber, destroyed by ReleaseLumiscriber (never deleted by
// the host). Coordinates are pixels of the current render target, (0, 0) at its top left;
// colours are D3DCOLOR, 0xAARRGGBB; rectangles are left, top, right, bottom.
//
// Commands ("cmd"): a host either keeps its own (CreatePrimitive ... ReleasePrimitive, usable
// for many frames) or passes ScratchCommand() to the immediate draws, which then take one from
// the renderer's per-frame pools. A command of the wrong type for an operation is ignored (the
// operation returns false, null or 0). A submitted command is drawn at EndScene; releasing it
// earlier is safe (the release waits for the frame end).
class IRenderer : public IBaseInterface {
public:
    // The creation parameters' UserData, unchanged.
    virtual std::int32_t GetUserData() = 0;
    // The command's type (kDrawCmd*); -1 for null and for ScratchCommand().
    virtual std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // A new host command of `type` (kDrawCmd*), owned by the host until ReleasePrimitive; null
    // for 4 and unknown types.
    virtual STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) = 0;
    // A new host command with the type, flags, colour, geometry and texture of `cmd` (the
    // texture gets a reference of its own); null for null. Throws lumi::Exception("unsupported")
    // for text and particle commands.
    virtual STRU_DRAW_COMMAND_BASE* ClonePrimitive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Frees a host command, its texture reference and its emitter; null is ignored. A command
    // queued this frame is freed at the frame end.
    virtual void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Advances the frame clock once per frame and empties the per-frame pools; runs
    // OnFrameBegin when the host has not. BeginScene calls it; a second call in a frame does
    // nothing.
    virtual void TickFrame() = 0;
    // Starts the frame's drawing: TickFrame, then, with synchronous loading or after
    // RequestLoadWait, waits for the resource loader; while the device is lost, tries to reset
    // it.
    virtual void BeginScene() = 0;
    // Draws every enabled render target in priority order (the main window last) and, when
    // `present`, presents them. False, with nothing drawn, when the shared vertex or index
    // buffer could not be grown to the frame's needs. Sleeps 10 ms after a frame shorter than
    // 10 ms while Vsync is on (as made, or as the last successful ChangeDisplayMode set it).
    virtual bool EndScene(bool present) = 0;
    // Makes `target` (null: the main window) the target later draws go into; returns the
    // previous one. A target that is not the renderer's changes nothing.
    virtual IRenderTarget* SelectRenderTarget(IRenderTarget* target) = 0;
    // The main render window; null only after ChangeDisplayMode threw.
    virtual IRenderTarget* GetMainWindow() = 0;
    // Keeps a slot of the table; always throws lumi::Exception("unsupported method!").
    virtual void UnsupportedMethodA() = 0;
    // An inactive renderer sleeps 25 ms in each OnFrameBegin (a host that is not in front).
    virtual void SetActive(bool active) = 0;
    virtual bool IsActive() = 0;
    // The next BeginScene waits until the resource loader has finished every queued load.
    virtual void RequestLoadWait() = 0;
    // Emitters created afterwards play their sounds through `sound` (not owned; may be null).
    virtual void SetSoundInterface(IHostSoundSystem* sound) = 0;
#include "core/renderer_slots_cursor_to_emitters.inc"
    // Immediate shapes into the current render target; `cmd` is a host command of the type or
    // ScratchCommand(). A filled shape whose colour's alpha is below 0xFF is alpha-blended.
    virtual void DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y, D3DCOLOR color) = 0;
#include "core/renderer_slots_shapes_and_text.inc"
    // Textures. Every texture stays the renderer's: DestroyTexture gives it back, and one
    // that commands still draw is kept until they let go. Null when it cannot be made.
    // CreateUITexture: width x height in the quality's UI format, host-filled (UpdateRect).
    virtual ITexture* CreateUITexture(std::int32_t width, std::int32_t height) = 0;
    // Host-filled texture in D3DFMT_A8R8G8B8, X8R8G8B8 or A4R4G4B4 (other formats: null and
    // a log line); D3DUSAGE_DYNAMIC (0x200) in `usage` takes its memory from the reuse pool.
    virtual ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format, DWORD usage) = 0;
    // The texture of an image file, one per path (case and slash direction do not matter);
    // its pixels load in the background when it is first drawn. Null for a null or empty path.
    // An image larger than the device's largest texture, or whose load would hold more than
    // 256 MiB, stays unloaded; so does a file that cannot be read or decoded (each logged with
    // its reason). A failed file is tried again 300 frames later (and not decoded again while
    // its bytes stay the same), or at once when it is asked for again after its size changed.
    virtual ITexture* CreateTexture(const WCHAR* path) = 0;
    // An empty texture under a unique name, to be filled through SetFileName or LoadFromMemory.
    virtual ITexture* CreateTexture() = 0;
    // A square alpha mask of side trunc(size): drawn in the command's colour with the mask's
    // alpha, never packed into an atlas page.
    virtual ITexture* CreateMaskTexture(float size) = 0;
    // Gives the texture back; ignored while commands or the cursor still hold it.
    virtual void DestroyTexture(ITexture* texture) = 0;
    // An additional render window on `window` with its own swap chain, drawn and presented by
    // every EndScene; owned by the renderer until DestroyRenderWindow. Null without a device,
    // for an unknown window or a size below 1.
    virtual ISwapChain* CreateRenderWindow(HWND window, std::int32_t width, std::int32_t height) = 0;
    // Destroys a window made by CreateRenderWindow (anything else is ignored); when it was the
    // current target, drawing goes back to the main window.
    virtual void DestroyRenderWindow(ISwapChain* swapChain) = 0;
    // SelectRenderTarget for an additional window (null: the main window); returns the previous
    // target.
    virtual IRenderTarget* SelectRenderWindow(ISwapChain* swapChain) = 0;
    // A square of side `size` (rounded up to a power of two) on a render-target atlas page,
    // lent to the host until ReleaseTextureCell; null when it cannot be had.
    virtual ITextureCell* AllocTextureCell(std::int32_t size) = 0;
    // Gives the cell back (its listener is not told) and nulls the host's pointer.
    virtual void ReleaseTextureCell(ITextureCell** cell) = 0;
#include "core/renderer_slots_sprite_queries.inc"
    // The laid-out text's width (advances plus `spacing` per character) and height (the
    // tallest line height); 0 and 0 before the layout is built. False for other commands.
    virtual bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                               std::int32_t spacing) = 0;
    // Saves `rect` (null: all) of the sprite's texture; the extension picks the format.
    virtual bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) = 0;
    // Starts loading the image file's texture in the background; null or empty is ignored.
    virtual void PreloadTexture(const WCHAR* path) = 0;
    // Binds the sprite command to the file's texture (an empty path unbinds it) and starts its
    // load, ahead of others when `urgent`. False for other commands or when no texture could
    // be made (logged).
    virtual bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) = 0;
    // Binds the sprite command to `texture` (null unbinds it) and starts its load. Always
    // returns false, also when the texture was bound.
    virtual bool AttachTexture(STRU_DRAW_COMMAND_BASE* cmd, ITexture* texture, std::int32_t ignored) = 0;
    // Gives the particle command the emitter of the script file (read and compiled in the
    // background through the first file-callback set; an empty path removes it); the same
    // path again keeps the running emitter. A script that cannot be read or compiled leaves an
    // emitter that draws what it compiled, and a line in the event log: "script parse
    // failed.[path] " and the reader's message, or "CParticleEmitter: script not read.[path]".
    virtual void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) = 0;
    // The loaded emitter's life in seconds (negative: endless); 0 otherwise.
    virtual float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // True while the command's emitter is loading or alive; false without emitter.
    virtual bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Starts the command's emitter over from the current frame time.
    virtual void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) = 0;
    // Gives the text command the font of `path` at `size` pixels (one font per path and size,
    // owned by the renderer) and lays the text out again; returns the line height (low 8 bits;
    // 0 until its first glyph is rasterised). Sizes are pixel heights, held to 0..255. A code
    // unit the fonts have no glyph for is drawn as nothing; no text operation throws for the
    // text it is given.
    virtual std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) = 0;
    // As SetFont with a second, western font that draws the code units up to 254; true.
    virtual bool SetFonts(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored1, const WCHAR* mainPath,
                          std::int32_t mainSize, std::int32_t ignored2, const WCHAR* westernPath,
                          std::int32_t westernSize, std::int32_t ignored3) = 0;
    // Stores the first 255 UTF-16 units of `text` and lays it out (glyphs load over the next
    // frames). False when the text is unchanged, else whether it is laid out.
    virtual bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) = 0;
    // Replaces the default font pair with the font of `path` at `size`; fonts and font pairs
    // belong to the renderer (the previous pair is freed); the host only points at them.
    virtual CRenderFont* SetDefaultFont(const WCHAR* path, std::int32_t size) = 0;
    // The western font file of the glyph library (used for code units up to 254).
    virtual void SetWesternFontPath(const WCHAR* path) = 0;
    // The font of `path` at `size` with style `flags`, made on first use; owned by the renderer.
    virtual IFont* GetFont(const WCHAR* path, std::int32_t size, std::int32_t flags, std::int32_t ignored) = 0;
    // The particle command's emitter (owned by the renderer; valid while the command holds
    // it); null otherwise.
    virtual CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Whether the file's texture exists and has its pixels.
    virtual bool IsTextureLoaded(const WCHAR* path) = 0;
    // Whether the sprite command's texture has its pixels (true without texture; false for
    // other commands); starts its load when it has not.
    virtual bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Sprites. The texture's colour is drawn as it is (see kDrawFlagModulate and the other
    // colour operations); in the alpha-blended pass its alpha is multiplied by the colour's.
    // A sprite is alpha-blended when its flags hold kDrawFlagAlpha, after two adjustments:
    // with a texture format that has alpha (A8R8G8B8, A1R5G5B5, A4R4G4B4, A8, DXT3) flags 0
    // become kDrawFlagAlpha; with one that has none, an opaque colour (alpha 0xFF) takes
    // kDrawFlagAlpha away. A texture whose pixels are not loaded yet draws nothing this frame
    // (its load is started).
#include "core/renderer_slots_sprites.inc"
    // The FPS of the last one-second sample.
    virtual float GetFPS() = 0;
    // Draws `source` (null: all) of the image file into the render-target texture `target` at
    // `position` (null: 0, 0) at once, waiting for the file to load. False without a device, for
    // an empty path or a target that is not a render-target texture (logged).
    virtual bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target,
                             const POINT* position) = 0;
    // Keeps a slot of the table; always throws lumi::Exception("unsupported method!").
    virtual void UnsupportedMethodB() = 0;
#include "core/renderer_slots_image_files.inc"
    // Switches the glyph library's antialiasing; returns the resulting state (false, logged,
    // without a glyph library).
    virtual bool SetFontAntialias(bool on) = 0;
    virtual bool GetFontAntialias() = 0;
    // Frame bracket; see the frame order at the top of this header.
    virtual void OnFrameBegin() = 0;
    virtual void OnFrameEnd() = 0;
    // The renderer's statistics block (valid as long as the renderer).
    virtual STRU_RENDER_STATS* GetStatistics() = 0;
    // While on, every command drawn (but those whose flags are kDrawFlagsNoGrey) is drawn grey
    // through the grey pixel shader, which needs pixel shader 1.1 on the device.
    virtual void SetGreyMode(bool on) = 0;
    // Re-creates the device for a new back-buffer size, depth, quality, vsync and windowed
    // state; textures reload when next drawn, host-filled ones must be written again. True
    // when the mode is in place (also when nothing changed); false (and the old mode kept)
    // when it cannot be had or is larger than the desktop, and at once while the device is
    // lost (until BeginScene has reset it); throws
    // lumi::Exception("restore d3d device failed.") when not even the old one can.
    virtual bool ChangeDisplayMode(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                   std::int32_t quality, bool vsync, bool windowed) = 0;
};

#endif  // LUMI_LEGACY
