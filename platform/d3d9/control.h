#pragma once
// Control of the software Direct3D 9 for tests, the demo and the sibling stand-ins (D3DX,
// DirectDraw): adapter configuration, scripted failures, device loss, counters, a call log and
// read-back of surface memory. Product code never includes this header.
//
// All state is process-wide and guarded by one mutex; ResetAll() brings everything back to the
// defaults described below (tests call it in their set-up).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/pixel_format.h"

namespace d3d9ctl {

// What one format supports on an adapter (for every device type the adapter offers).
struct FormatSupport {
    bool texture = false;        // D3DRTYPE_TEXTURE, usage 0 / DYNAMIC
    bool renderTarget = false;   // D3DUSAGE_RENDERTARGET (textures and surfaces)
    bool depthStencil = false;   // D3DUSAGE_DEPTHSTENCIL
    bool surface = false;        // plain surfaces (D3DRTYPE_SURFACE, usage 0)
    bool postPixelShaderBlending = false;  // D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING
    bool indexBuffer = false;    // D3DRTYPE_INDEXBUFFER
};

struct AdapterConfig {
    std::string driver = "lumisw.dll";
    std::string description = "Lumiscriber Software Adapter";
    std::string deviceName = "\\\\.\\DISPLAY1";
    DWORD vendorId = 0x1414;
    DWORD deviceId = 0x008c;
    DWORD subSysId = 0;
    DWORD revision = 0;
    std::int64_t driverVersion = 0x0006000e000b0000LL;  // 6.14.11.0
    GUID deviceIdentifier{};
    // Display modes offered (any order; enumeration filters by format). Default: 640x480,
    // 800x600, 1024x768, 1280x720, 1280x1024, 1600x900, 1920x1080 at 60 Hz in X8R8G8B8 and
    // R5G6B5.
    std::vector<D3DDISPLAYMODE> modes;
    // Desktop mode reported by GetAdapterDisplayMode when no virtual display drives it.
    D3DDISPLAYMODE desktop{1920, 1080, 60, D3DFMT_X8R8G8B8};
    // Caps of the HAL device; REF has the same caps with DeviceType REF.
    D3DCAPS9 caps{};
    bool halAvailable = true;
    bool refAvailable = true;   // REF: caps and a windowed test device can be created
    bool swAvailable = false;   // SW: GetDeviceCaps fails with D3DERR_NOTAVAILABLE
    // Per format; formats absent from the map are unsupported. Default: A8R8G8B8, X8R8G8B8,
    // R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, A8, DXT1, DXT3, DXT5 textures; the first six render
    // targets; D16, D16_LOCKABLE, D24S8, D24X8 depth; INDEX16.
    std::map<D3DFORMAT, FormatSupport> formats;
    // Multisample types supported (beyond NONE) and their quality level count.
    std::map<D3DMULTISAMPLE_TYPE, DWORD> multiSample;
    std::uint64_t textureMemoryBytes = 256ull << 20;  // budget of DEFAULT-pool allocations
};

// The default adapter as described above.
AdapterConfig DefaultAdapter();
// The default HAL caps (ps 1.1, LESSEQUAL/GREATEREQUAL compares, dynamic textures, HW T&L,
// max texture 4096, colour cursor, one render target).
D3DCAPS9 DefaultCaps();

// Replaces the adapters (an empty list: GetAdapterCount 0). Objects created earlier keep the
// configuration they started with, except texture memory, which is read live.
void SetAdapters(const std::vector<AdapterConfig>& adapters);
std::vector<AdapterConfig> Adapters();
// Edits one adapter in place (no-op for a bad index).
void SetCaps(UINT adapter, const D3DCAPS9& caps);
void SetFormatSupport(UINT adapter, D3DFORMAT format, const FormatSupport& support);
void SetModes(UINT adapter, const std::vector<D3DDISPLAYMODE>& modes);
void SetTextureMemory(UINT adapter, std::uint64_t bytes);

// Texture memory of the default adapter: the budget, and what DEFAULT-pool allocations of live
// devices leave of it (bytes). Used by the DirectDraw stand-in.
std::uint64_t TextureMemoryTotal();
std::uint64_t TextureMemoryFree();

// ---- Scripted failures ---------------------------------------------------------------------
// The `nth` next call (1 = the very next) of `operation` returns `hr` without doing anything;
// `times` consecutive calls fail from there. Operation names are the method names
// ("CreateDevice", "CreateVertexBuffer", "LockRect", "Present", "TestCooperativeLevel", ...);
// "Lock" covers vertex and index buffers, "LockRect" textures and surfaces, "Present" the
// device and swap chains. "Direct3DCreate9" makes the creator return null (hr ignored).
// Several scripts on one operation are kept independently.
void FailCall(const std::string& operation, int nth, HRESULT hr, int times = 1);
// Calls of `operation` seen so far (including failed ones), whether scripted or not.
int CallCount(const std::string& operation);
void ClearFailures();
// For the sibling stand-ins (D3DX), whose functions are scripted by name here too: counts a
// call of `operation` and returns true, with `*result` set, when a script makes it fail.
bool TakeScriptedFailure(const std::string& operation, HRESULT* result);

// ---- Device loss ----------------------------------------------------------------------------
// Windows' own events lose a full-screen device too: its focus window leaving the foreground
// (win32 SetForegroundWindow; lost until it comes back, then to be reset) and a display-mode
// change made by anyone but a device (ChangeDisplaySettingsW; to be reset).
// Loses every live device: Present and EndScene return D3DERR_DEVICELOST, TestCooperativeLevel
// D3DERR_DEVICELOST, Reset D3DERR_DEVICELOST, CreateDevice D3DERR_DEVICELOST. Other calls keep
// working as on the platform; draws and clears succeed without touching memory.
void LoseDevice();
// The loss is over: TestCooperativeLevel returns D3DERR_DEVICENOTRESET until a Reset succeeds.
void RestoreDevice();
bool IsDeviceLost();  // any live device lost or not yet reset

// ---- Rasterisation ----------------------------------------------------------------------------
// Off: the device does no pixel work, which on the platform is the GPU's and costs the caller
// next to nothing, so a benchmark measures the caller's own work: draws, clears and presents are
// validated, counted and succeed, but touch no pixel of a surface or window (a present still
// rasterises draws queued while it was on). Locks, the application's own writes through them
// and the copies between surfaces (UpdateSurface, GetRenderTargetData) stay real. On by default
// and after ResetAll.
void SetRasterizationEnabled(bool enabled);

// How the rasteriser works, never what it draws: the pixels are the same for every setting.
// A device keeps its draws in a queue and rasterises them when anything reads or writes the
// memory of one of its surfaces (a lock, a present, a clear, the read-back below). Threads:
// the queued draws are split into bands of rows drawn at once by this many threads of one
// process-wide pool (created as needed, kept for the process) when they cover enough pixels;
// 0 means one per core, the default and the value after ResetAll. AVX2: its row kernels are
// used when the CPU has them and this is on (the default); off, the SSE2 ones are.
void SetRasterThreadCount(int threads);
int RasterThreadCount();  // the count in effect (at least 1)
void SetRasterAvx2Enabled(bool enabled);
bool RasterAvx2Available();  // whether the CPU runs the AVX2 kernels

// ---- Counters and the call log ---------------------------------------------------------------
struct Counters {
    std::uint64_t drawCalls = 0;      // successful DrawPrimitive / DrawIndexedPrimitive
    std::uint64_t primitives = 0;     // primitives in those draws
    std::uint64_t stateChanges = 0;   // successful Set*State, SetTexture, SetFVF, SetStreamSource,
                                      // SetIndices, SetPixelShader, SetVertexShader (changed or not)
    std::uint64_t locks = 0;          // successful buffer, texture and surface locks
    std::uint64_t locksDiscard = 0;
    std::uint64_t locksNoOverwrite = 0;
    std::uint64_t locksReadOnly = 0;
    std::uint64_t clears = 0;
    std::uint64_t presents = 0;       // successful presents (device and swap chains)
    std::uint64_t misuses = 0;        // MisuseReports().size()
};
Counters GetCounters();
void ResetCounters();

// What Direct3D 9's debug runtime reports and the platform may tolerate, one line each: a draw
// outside BeginScene/EndScene, from a locked vertex or index buffer, with a locked texture bound,
// with the render target bound as a texture, into a render target larger than the depth buffer,
// wrapping a texture that only conditional non-power-of-two support allows, with indices outside
// the declared range; and a NOOVERWRITE lock over bytes drawn since the last DISCARD.
std::vector<std::string> MisuseReports();

struct CallRecord {
    std::string method;  // "CreateTexture", "SetRenderState", ...
    std::string args;    // the arguments in short form, e.g. "27, 1"
    HRESULT result;
};
// Calls made on the Direct3D objects since the last ClearCallLog (state reads are not logged),
// while the log is on. It is off by default and after ResetAll: a host drawing thousands of
// calls a frame would otherwise pay for a record of each.
std::vector<CallRecord> CallLog();
void ClearCallLog();
void SetCallLogEnabled(bool enabled);

// ---- Surface memory and read-back ------------------------------------------------------------
// The memory of any surface (a texture level, back buffer, depth buffer, plain surface) in
// every pool, for tests; an empty view for null or a foreign object. The view stays valid while
// the surface is alive (and the device not reset, for back buffers). D3DX goes through the
// device's locks and copies instead, as on the platform.
d3d9sw::SurfaceView SurfaceMemory(IDirect3DSurface9* surface);

// One pixel as 0xAARRGGBB (via d3d9sw::ReadPixel); 0 outside the surface or for null.
std::uint32_t ReadPixel(IDirect3DSurface9* surface, int x, int y);
// All pixels, row-major; empty for null.
std::vector<std::uint32_t> ReadPixels(IDirect3DSurface9* surface, int* width, int* height);

// ---- Device inspection -----------------------------------------------------------------------
struct DeviceInfo {
    bool inScene = false;
    bool lost = false;
    bool dialogBoxMode = false;
    bool cursorVisible = false;
    int cursorX = 0, cursorY = 0;
    UINT cursorHotSpotX = 0, cursorHotSpotY = 0;
    std::vector<std::uint32_t> cursorPixels;  // ARGB copy of the last cursor bitmap
    int cursorWidth = 0, cursorHeight = 0;
    int liveDefaultPoolResources = 0;  // textures, buffers, surfaces in the DEFAULT pool
    int additionalSwapChains = 0;
    std::uint64_t defaultPoolBytes = 0;
    DWORD behaviorFlags = 0;
    D3DPRESENT_PARAMETERS presentParameters{};
};
// Snapshot of a device's state that the interfaces do not expose; default for null.
DeviceInfo InspectDevice(IDirect3DDevice9* device);
// Objects of the software device that are still alive, whoever holds them (the application or a
// binding). Objects contained in another (texture levels, a swap chain's back buffers, a device's
// implicit surfaces) are counted with their container, not on their own.
struct LiveObjects {
    int direct3d = 0;    // IDirect3D9 objects
    int devices = 0;
    int resources = 0;   // textures, vertex and index buffers, stand-alone surfaces, in every pool
    int swapChains = 0;  // additional swap chains
    int shaders = 0;     // pixel shaders
    int Total() const { return direct3d + devices + resources + swapChains + shaders; }
};
LiveObjects CountLiveObjects();

// The tokens a pixel shader was created from (empty for null).
std::vector<DWORD> PixelShaderTokens(IDirect3DPixelShader9* shader);

// Everything back to the defaults: one default adapter, no scripts, no loss, zero counters, an
// empty call log (switched off) and misuse list. Live objects stay valid.
void ResetAll();

}  // namespace d3d9ctl
