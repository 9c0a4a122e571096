#include "platform/d3d9/control.h"

#include "platform/d3d9/control_state.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/device_pixel_shader.h"
#include "platform/d3d9/direct3d.h"
#include "platform/d3d9/raster_rows.h"
#include "platform/d3d9/swap_chain.h"

namespace d3d9ctl {

using d3d9sw::Control;
using d3d9sw::LockApi;

void SetAdapters(const std::vector<AdapterConfig>& adapters) {
    auto lock = LockApi();
    Control().adapters = adapters;
}

std::vector<AdapterConfig> Adapters() {
    auto lock = LockApi();
    return Control().adapters;
}

namespace {

AdapterConfig* MutableAdapter(UINT adapter) {
    auto& adapters = Control().adapters;
    return adapter < adapters.size() ? &adapters[adapter] : nullptr;
}

}  // namespace

void SetCaps(UINT adapter, const D3DCAPS9& caps) {
    auto lock = LockApi();
    if (AdapterConfig* config = MutableAdapter(adapter)) config->caps = caps;
}

void SetFormatSupport(UINT adapter, D3DFORMAT format, const FormatSupport& support) {
    auto lock = LockApi();
    if (AdapterConfig* config = MutableAdapter(adapter)) config->formats[format] = support;
}

void SetModes(UINT adapter, const std::vector<D3DDISPLAYMODE>& modes) {
    auto lock = LockApi();
    if (AdapterConfig* config = MutableAdapter(adapter)) config->modes = modes;
}

void SetTextureMemory(UINT adapter, std::uint64_t bytes) {
    auto lock = LockApi();
    if (AdapterConfig* config = MutableAdapter(adapter)) config->textureMemoryBytes = bytes;
}

std::uint64_t TextureMemoryTotal() {
    auto lock = LockApi();
    return d3d9sw::TextureBudget(0);
}

std::uint64_t TextureMemoryFree() {
    auto lock = LockApi();
    for (d3d9sw::Device* device : Control().devices) device->FlushDraws();  // queued draws hold textures
    const std::uint64_t budget = d3d9sw::TextureBudget(0);
    const std::uint64_t used = d3d9sw::TextureUsed(0);
    return used >= budget ? 0 : budget - used;
}

void FailCall(const std::string& operation, int nth, HRESULT hr, int times) {
    auto lock = LockApi();
    if (nth < 1 || times < 1) return;
    const int first = CallCount(operation) + nth;
    Control().scripts.push_back(d3d9sw::FailureScript{operation, first, first + times - 1, hr});
}

int CallCount(const std::string& operation) {
    auto lock = LockApi();
    const auto it = Control().callCounts.find(operation);
    return it != Control().callCounts.end() ? it->second : 0;
}

void ClearFailures() {
    auto lock = LockApi();
    Control().scripts.clear();
}

bool TakeScriptedFailure(const std::string& operation, HRESULT* result) {
    auto lock = LockApi();
    return d3d9sw::TakeScriptedFailure(operation, result);
}

void LoseDevice() {
    auto lock = LockApi();
    Control().lost = true;
    for (d3d9sw::Device* device : Control().devices) device->LoseFromControl();
}

void RestoreDevice() {
    auto lock = LockApi();
    Control().lost = false;
    for (d3d9sw::Device* device : Control().devices) device->RestoreFromControl();
}

bool IsDeviceLost() {
    auto lock = LockApi();
    if (Control().lost) return true;
    for (const d3d9sw::Device* device : Control().devices)
        if (device->Lost()) return true;
    return false;
}

Counters GetCounters() {
    auto lock = LockApi();
    return Control().counters;
}

void ResetCounters() {
    auto lock = LockApi();
    Control().counters = Counters{};
    Control().misuses.clear();
}

std::vector<std::string> MisuseReports() {
    auto lock = LockApi();
    return Control().misuses;
}

std::vector<CallRecord> CallLog() {
    auto lock = LockApi();
    return Control().log;
}

void ClearCallLog() {
    auto lock = LockApi();
    Control().log.clear();
}

void SetCallLogEnabled(bool enabled) {
    auto lock = LockApi();
    Control().logCalls = enabled;
}

d3d9sw::SurfaceView SurfaceMemory(IDirect3DSurface9* surface) {
    auto lock = LockApi();
    d3d9sw::Surface* ours = d3d9sw::Surface::From(surface);
    return ours != nullptr ? ours->View() : d3d9sw::SurfaceView{};
}

std::uint32_t ReadPixel(IDirect3DSurface9* surface, int x, int y) {
    auto lock = LockApi();
    const d3d9sw::SurfaceView view = SurfaceMemory(surface);
    if (view.bits == nullptr || x < 0 || y < 0 || x >= view.width || y >= view.height) return 0;
    return d3d9sw::ReadPixel(view, x, y);
}

std::vector<std::uint32_t> ReadPixels(IDirect3DSurface9* surface, int* width, int* height) {
    auto lock = LockApi();
    const d3d9sw::SurfaceView view = SurfaceMemory(surface);
    if (width != nullptr) *width = view.bits != nullptr ? view.width : 0;
    if (height != nullptr) *height = view.bits != nullptr ? view.height : 0;
    std::vector<std::uint32_t> pixels;
    if (view.bits == nullptr) return pixels;
    pixels.reserve(static_cast<std::size_t>(view.width) * view.height);
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x) pixels.push_back(d3d9sw::ReadPixel(view, x, y));
    return pixels;
}

DeviceInfo InspectDevice(IDirect3DDevice9* device) {
    auto lock = LockApi();
    auto* ours = dynamic_cast<d3d9sw::Device*>(device);
    if (ours == nullptr) return DeviceInfo{};
    ours->FlushDraws();  // queued draws hold their resources until they are drawn
    return ours->Inspect();
}

LiveObjects CountLiveObjects() {
    auto lock = LockApi();
    for (d3d9sw::Device* device : Control().devices) device->FlushDraws();  // queued draws hold resources
    LiveObjects live;
    for (d3d9sw::RefCounted* object : Control().objects) {
        if (object->IsContained()) continue;
        if (dynamic_cast<d3d9sw::Direct3D*>(object) != nullptr) ++live.direct3d;
        else if (dynamic_cast<d3d9sw::Device*>(object) != nullptr) ++live.devices;
        else if (dynamic_cast<d3d9sw::SwapChain*>(object) != nullptr) ++live.swapChains;
        else if (dynamic_cast<d3d9sw::DevicePixelShader*>(object) != nullptr) ++live.shaders;
        else ++live.resources;
    }
    return live;
}

std::vector<DWORD> PixelShaderTokens(IDirect3DPixelShader9* shader) {
    auto lock = LockApi();
    d3d9sw::DevicePixelShader* ours = d3d9sw::DevicePixelShader::From(shader);
    return ours != nullptr ? ours->Program().Tokens() : std::vector<DWORD>{};
}

void SetRasterizationEnabled(bool enabled) {
    auto lock = LockApi();
    Control().rasterize = enabled;
}

void SetRasterThreadCount(int threads) {
    auto lock = LockApi();
    Control().rasterThreads = threads < 0 ? 0 : threads;
}

int RasterThreadCount() {
    auto lock = LockApi();
    return d3d9sw::RasterThreadsInEffect();
}

void SetRasterAvx2Enabled(bool enabled) {
    auto lock = LockApi();
    Control().rasterAvx2 = enabled;
}

bool RasterAvx2Available() { return d3d9sw::CpuHasAvx2(); }

void ResetAll() {
    auto lock = LockApi();
    d3d9sw::ControlState& state = Control();
    state.rasterize = true;
    state.rasterThreads = 0;
    state.rasterAvx2 = true;
    state.adapters = {DefaultAdapter()};
    state.scripts.clear();
    state.callCounts.clear();
    state.counters = Counters{};
    state.misuses.clear();
    state.log.clear();
    state.logCalls = false;
    state.lost = false;
}

}  // namespace d3d9ctl
