#pragma once
// IRenderer of the legacy library (liblumiscriber_legacy): 79 operations in an older order
// than the current library's. core/renderer_interface.h declares this form when LUMI_LEGACY
// is 1, which the legacy package passes to its hosts (CMake target
// Lumiscriber::lumiscriber_legacy, pkg-config lumiscriber_legacy); included without it, this
// header adds nothing.
//
// A frame, as the host drives it:
//   BeginScene();            frame clock, device reset after a loss, OnFrameBegin when the
//                            host has not called it this frame
//   SetBackgroundColor(c);   clears the current target at once (the only clear of a frame)
//   ... draw operations ...  queued in submission order
//   EndScene(true);          draws everything queued into the current target and presents
//                            the device's own back buffer
// OnFrameBegin and OnFrameEnd may bracket the frame; neither is checked for pairing, and each
// BeginScene/EndScene pair counts as a frame of the statistics. To draw into an additional
// swap chain, attach it (AttachSwapChain), run a BeginScene/EndScene(false) pair and present
// the swap chain yourself (ISwapChain::Present); AttachSwapChain(null) draws into the device's
// back buffer again.
//
// The runs of operations this table holds in the same order as the current library's are
// declared once for both, in core/renderer_slots_*.inc, included where the run stands.
//
// Threads, failures and exceptions as in the current library (core/renderer_interface.h):
// failures return false, null or 0 with a line in the event log; lumi::Exception reaches the
// host for pool exhaustion and for releasing a particle command whose emitter is not the
// renderer's ("invalid pointer"); tarnel::FatalError for a null file callback.
//
// While the device is lost (BeginScene found it so), draw operations queue nothing and
// EndScene draws nothing; each BeginScene resets the device once it can be.
#include "core/renderer_interface.h"

#if defined(LUMI_LEGACY) && LUMI_LEGACY

// The renderer. Made by CreateLumiscriber, destroyed by ReleaseLumiscriber. Coordinates are
// pixels of the current render target, (0, 0) at its top left.
//
// Commands ("cmd"): a host keeps its own (CreatePrimitive ... ReleasePrimitive) or passes
// ScratchCommand() to the immediate shapes, which then take one of the renderer's commands
// of that type in turn. A command is read when it is submitted: a host may refill, resubmit
// or release it at once.
class IRenderer : public IBaseInterface {
public:
    // The creation parameters' UserData, unchanged.
    virtual std::int32_t GetUserData() = 0;
    // The command's type (kDrawCmd*); -1 for null and for ScratchCommand().
    virtual std::int32_t GetPrimitiveType(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // A new host command of `type` (kDrawCmd*); null for 4 and unknown types.
    virtual STRU_DRAW_COMMAND_BASE* CreatePrimitive(std::int32_t type) = 0;
    // Frees a host command and its texture reference; null is ignored.
    virtual void ReleasePrimitive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Starts a frame: with synchronous loading or after RequestLoadWait, waits for every
    // texture load; advances the frame clock; tests the device and resets it after a loss;
    // runs OnFrameBegin when the frame has not begun.
    virtual void BeginScene() = 0;
    // Draws what was queued into the current target and, when `present`, presents the
    // device's back buffer. Nothing is drawn while the device is lost. False, with nothing
    // drawn, when the shared vertex or index buffer could not be grown to the frame's needs.
    virtual bool EndScene(bool present) = 0;
    // An inactive renderer sleeps 25 ms in each OnFrameBegin.
    virtual void SetActive(bool active) = 0;
    virtual bool IsActive() = 0;
    // The next BeginScene waits until every texture load has ended.
    virtual void RequestLoadWait() = 0;
    // True when the device evicted its managed resources; false without a device.
    virtual bool EvictManagedResources() = 0;
#include "core/renderer_slots_cursor_to_emitters.inc"
    // Immediate shapes, as in the current library. DrawPoint returns the command it drew (the
    // renderer's own for ScratchCommand()), null for a command of another type.
    virtual STRU_DRAW_COMMAND_BASE* DrawPoint(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t x, std::int32_t y,
                                              D3DCOLOR color) = 0;
    // Text is drawn from the layout SetText or SetFont made (a text without font draws
    // nothing), whose glyphs SetFont and SetText rasterise in the call. Lines are as high as the
    // larger line height of the font's 'A' and U+9AD8.
#include "core/renderer_slots_shapes_and_text.inc"
    // Textures, as in the current library, but for CreateTexture(width, height, format):
    // D3DFMT_A8R8G8B8 or A4R4G4B4 only (other formats: null and a log line).
    virtual ITexture* CreateUITexture(std::int32_t width, std::int32_t height) = 0;
    virtual ITexture* CreateTexture(std::int32_t width, std::int32_t height, D3DFORMAT format) = 0;
    virtual ITexture* CreateTexture(const WCHAR* path) = 0;
    virtual ITexture* CreateTexture() = 0;
    virtual ITexture* CreateMaskTexture(float size) = 0;
    virtual void DestroyTexture(ITexture* texture) = 0;
    // An additional swap chain of `width` x `height` in the back buffer's format (copy swap
    // effect, windowed), owned by the renderer until DestroySwapChain; it draws once attached
    // and is presented by the host into a window of its choice. Null, with a log line, when
    // the device cannot make it. It survives device loss.
    virtual ISwapChain* CreateAdditionalSwapChain(std::int32_t width, std::int32_t height) = 0;
    // Destroys a swap chain of this renderer (anything else is ignored); when it is attached,
    // drawing goes back to the device's back buffer first.
    virtual void DestroySwapChain(ISwapChain* swapChain) = 0;
    // Later frames draw into the swap chain's back buffer (null: the device's own back
    // buffer). A swap chain that is not the renderer's is refused with a log line.
    virtual void AttachSwapChain(ISwapChain* swapChain) = 0;
#include "core/renderer_slots_sprite_queries.inc"
    // The sum of the glyphs' advances plus `spacing` each, and their largest line height; 0
    // and 0 until the text is laid out.
    virtual bool GetTextExtent(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t* width, std::int32_t* height,
                               std::int32_t spacing) = 0;
    virtual bool SavePrimitiveTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, const RECT* rect) = 0;
    virtual void PreloadTexture(const WCHAR* path) = 0;
    // Binds the sprite command to the file's texture (an empty path unbinds it); its load
    // starts when it has no pixels yet. False for other commands or when no texture could be
    // made (logged). An image larger than the device's largest texture, or whose load would
    // hold more than 256 MiB, stays unloaded, as does a file that cannot be read or decoded
    // (logged with its reason); that texture does not load its file again.
    virtual bool SetTexture(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, bool urgent) = 0;
    // Reads and compiles the script at once (through the second file-callback set) and gives
    // the particle command the new emitter, releasing the one it had; the same path keeps it.
    // A script that does not read or compile leaves the command without an emitter (a compile
    // failure logs "script parse failed." with the path and the reader's message).
    virtual void SetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* scriptPath, std::int32_t ignored) = 0;
    // -1 (endless: legacy emitters always live) with an emitter, else 0.
    virtual float GetEmitterLife(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual bool IsEmitterAlive(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual void RestartEmitter(STRU_DRAW_COMMAND_BASE* cmd, std::int32_t ignored) = 0;
    // Gives the text command the font of `path` at `size` pixels (held to 0..255; paths of
    // more than 63 units are cut) and lays the text out again when the font changed; returns
    // the line height (low 8 bits). Glyphs are rasterised in the call; a code unit the font
    // has no glyph for is drawn as nothing.
    virtual std::uint8_t SetFont(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* path, std::int32_t size) = 0;
    // Stores the first 255 UTF-16 units of `text`. False when the text is unchanged, else
    // whether it is laid out.
    virtual bool SetText(STRU_DRAW_COMMAND_BASE* cmd, const WCHAR* text) = 0;
    // Stores the default font description, `path` at `size` pixels; text commands name
    // their own font with SetFont.
    virtual void SetDefaultFont(const WCHAR* path, std::int32_t size) = 0;
    virtual void SetWesternFontPath(const WCHAR* path) = 0;
    virtual CParticleEmitter* GetParticleEmitter(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    virtual bool IsTextureLoaded(const WCHAR* path) = 0;
    virtual bool IsPrimitiveTextureLoaded(STRU_DRAW_COMMAND_BASE* cmd) = 0;
    // Sprites, as in the current library (core/renderer_interface.h), with two differences: a
    // texture whose format has alpha is always drawn alpha-blended (kDrawFlagAlpha is added to
    // the flags), and a texture draws as soon as it has pixels in any copy.
#include "core/renderer_slots_sprites.inc"
    // Draws `source` of the image file over `destination` of `texture` at once (waiting for
    // the file to load), as DrawTexturePrimitive would draw it on the screen; with
    // `clearTexture` the texture is cleared to transparent black first, else the image goes
    // over its pixels. Textures of every format take the result, DXT ones included. The
    // frame the host is building is not disturbed. False, logged, without a usable texture or
    // path; false without a device or while it is lost.
    virtual bool Draw2Texture(ITexture* texture, const WCHAR* path, const RECT* source, const RECT* destination,
                              std::int32_t flags, D3DCOLOR color, bool clearTexture) = 0;
    // Keeps a slot of the table; does nothing.
    virtual void ReservedA(std::int32_t a, std::int32_t b) = 0;
    // The FPS of the last one-second sample.
    virtual float GetFPS() = 0;
    // Keeps a slot of the table; does nothing.
    virtual void ReservedB(std::int32_t a) = 0;
    // A render-target texture of `width` x `height` (A8R8G8B8), cleared to transparent black,
    // owned by the renderer until DestroyRenderTarget; DrawTex2Tex draws into it, SaveToFile
    // saves it. Its pixels are cleared again after a device loss. Null when the device cannot
    // make it (a size of 0 or beyond the device's largest texture).
    virtual IRenderTarget* CreateRenderTarget(std::int32_t width, std::int32_t height) = 0;
    // Destroys a render target of CreateRenderTarget; anything else is refused with a log line.
    virtual void DestroyRenderTarget(IRenderTarget* target) = 0;
    // Draws `source` (null: all) of the image file into `target` at `position` (null: 0, 0)
    // at once, waiting for the file to load; the target keeps its other pixels. False, logged,
    // without a device, for an empty path or a target that is not one of CreateRenderTarget.
    virtual bool DrawTex2Tex(const WCHAR* path, const RECT* source, IRenderTarget* target,
                             const POINT* position) = 0;
#include "core/renderer_slots_image_files.inc"
    virtual bool SetFontAntialias(bool on) = 0;
    virtual bool GetFontAntialias() = 0;
    // Sleeps 25 ms while the device is lost or the renderer inactive; starts the texture
    // manager's frame and the frame's draw-call count.
    virtual void OnFrameBegin() = 0;
    // Marks the frame as ended; calling it again does nothing more.
    virtual void OnFrameEnd() = 0;
    // The renderer's statistics block (valid as long as the renderer). Batches are those of
    // the last EndScene.
    virtual STRU_RENDER_STATS* GetStatistics() = 0;
};

#endif  // LUMI_LEGACY
