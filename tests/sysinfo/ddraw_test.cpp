// DirectDraw 7 video-memory read-out, reached the way the renderer reaches it: through the
// system directory's ddraw.dll and its DirectDrawCreateEx export.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/d3d9/control.h"
#include "platform/ddraw/control.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/modules.h"
#include "platform/win32/window.h"

namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;

struct VideoMemory {
    HRESULT result = E_FAIL;
    DWORD total = 0;
    DWORD free = 0;
};

// Path, load, create, cooperative level, caps, release, free: any failure leaves 0, 0.
VideoMemory ReadVideoMemory() {
    VideoMemory memory;
    char16_t directory[260];
    const UINT length = GetSystemDirectoryW(directory, 260);
    if (length == 0 || length >= 260) return memory;
    const std::u16string path = std::u16string(directory, length) + u"\\ddraw.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) return memory;
    auto create = reinterpret_cast<DirectDrawCreateExFunction>(GetProcAddress(module, "DirectDrawCreateEx"));
    IDirectDraw7* directDraw = nullptr;
    memory.result = create ? create(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr)
                           : E_FAIL;
    if (SUCCEEDED(memory.result)) memory.result = directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
    if (SUCCEEDED(memory.result)) {
        DDCAPS caps{};
        caps.dwSize = sizeof caps;
        memory.result = directDraw->GetCaps(&caps, nullptr);
        if (SUCCEEDED(memory.result)) {
            memory.total = caps.dwVidMemTotal;
            memory.free = caps.dwVidMemFree;
        }
    }
    if (directDraw) directDraw->Release();
    FreeLibrary(module);
    return memory;
}

class DirectDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        ddrawctl::Reset();
        win32::SetModuleMissing(u"ddraw.dll", false);
    }
    void TearDown() override {
        EXPECT_EQ(ddrawctl::LiveObjects(), 0) << "a DirectDraw object was not released";
        EXPECT_EQ(win32::ModuleLoadCount(u"ddraw.dll"), 0) << "ddraw.dll was not freed";
        win32::SetModuleMissing(u"ddraw.dll", false);
    }

    static IDirectDraw7* Create() {
        IDirectDraw7* directDraw = nullptr;
        EXPECT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr), DD_OK);
        return directDraw;
    }
};

TEST_F(DirectDrawTest, ReportsTheDeviceBudgetThroughTheSystemDirectoryModule) {
    d3d9ctl::SetTextureMemory(0, 96 * kMegabyte);
    const VideoMemory memory = ReadVideoMemory();
    EXPECT_EQ(memory.result, DD_OK);
    EXPECT_EQ(memory.total, 96 * kMegabyte);
    EXPECT_EQ(memory.free, d3d9ctl::TextureMemoryFree());
    EXPECT_LE(memory.free, memory.total);
    ASSERT_EQ(ddrawctl::CooperativeLevelCalls().size(), 1u);
    EXPECT_EQ(ddrawctl::CooperativeLevelCalls()[0].flags, DDSCL_NORMAL);
    EXPECT_EQ(ddrawctl::CooperativeLevelCalls()[0].window, nullptr);
}

TEST_F(DirectDrawTest, FreeMemoryFollowsLiveDefaultPoolTextures) {
    HWND window = win32::CreateTestWindow(u"ddraw", 0, 0, 64, 64);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS present{};
    present.Windowed = TRUE;
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &present, &device),
              S_OK);
    const DWORD before = ReadVideoMemory().free;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    const VideoMemory during = ReadVideoMemory();
    EXPECT_LE(during.free + 256 * 256 * 4, before) << "each GetCaps reads the budget live";
    texture->Release();
    EXPECT_EQ(ReadVideoMemory().free, before);
    device->Release();
    d3d->Release();
    DestroyWindow(window);
}

TEST_F(DirectDrawTest, BudgetsBeyondThirtyTwoBitsSaturate) {
    d3d9ctl::SetTextureMemory(0, 6ull << 30);
    const VideoMemory memory = ReadVideoMemory();
    EXPECT_EQ(memory.result, DD_OK);
    EXPECT_EQ(memory.total, 0xFFFFFFFFu) << "6 GiB must not wrap to 2 GiB";
    EXPECT_EQ(memory.free, 0xFFFFFFFFu);
}

TEST_F(DirectDrawTest, EachFailureSwitchLeavesNoFigures) {
    win32::SetModuleMissing(u"ddraw.dll", true);
    VideoMemory memory = ReadVideoMemory();
    EXPECT_EQ(memory.total, 0u);
    EXPECT_EQ(ddrawctl::CreateCalls(), 0);
    win32::SetModuleMissing(u"ddraw.dll", false);

    ddrawctl::SetCreateResult(DDERR_GENERIC);
    IDirectDraw7* directDraw = reinterpret_cast<IDirectDraw7*>(this);
    EXPECT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr),
              DDERR_GENERIC);
    EXPECT_EQ(directDraw, nullptr) << "a failed creation hands out null";
    memory = ReadVideoMemory();
    EXPECT_EQ(memory.result, DDERR_GENERIC);
    EXPECT_EQ(memory.total, 0u);
    ddrawctl::SetCreateResult(S_OK);

    ddrawctl::SetCooperativeLevelResult(DDERR_INVALIDOBJECT);
    memory = ReadVideoMemory();
    EXPECT_EQ(memory.result, DDERR_INVALIDOBJECT);
    EXPECT_EQ(ddrawctl::GetCapsCalls(), 0);
    ddrawctl::SetCooperativeLevelResult(S_OK);

    ddrawctl::SetGetCapsResult(DDERR_INVALIDOBJECT);
    memory = ReadVideoMemory();
    EXPECT_EQ(memory.result, DDERR_INVALIDOBJECT);
    EXPECT_EQ(memory.total, 0u);
    EXPECT_EQ(memory.free, 0u);
}

TEST_F(DirectDrawTest, FailedGetCapsLeavesTheRecordUntouched) {
    IDirectDraw7* directDraw = Create();
    DDCAPS caps;
    std::memset(&caps, 0xAB, sizeof caps);
    caps.dwSize = sizeof caps;
    ddrawctl::SetGetCapsResult(DDERR_GENERIC);
    EXPECT_EQ(directDraw->GetCaps(&caps, nullptr), DDERR_GENERIC);
    EXPECT_EQ(caps.dwVidMemTotal, 0xABABABABu);

    ddrawctl::SetGetCapsResult(S_OK);
    caps.dwSize = 124;  // an older, smaller record: not modelled
    EXPECT_EQ(directDraw->GetCaps(&caps, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(caps.dwVidMemTotal, 0xABABABABu);
    EXPECT_EQ(directDraw->GetCaps(nullptr, nullptr), DDERR_INVALIDPARAMS);
    directDraw->Release();
}

TEST_F(DirectDrawTest, EmulationLayerHasNoVideoMemory) {
    IDirectDraw7* directDraw = Create();
    DDCAPS driver{}, hel;
    std::memset(&hel, 0xAB, sizeof hel);
    driver.dwSize = hel.dwSize = sizeof(DDCAPS);
    ASSERT_EQ(directDraw->GetCaps(&driver, &hel), DD_OK);
    EXPECT_EQ(driver.dwVidMemTotal, d3d9ctl::TextureMemoryTotal());
    EXPECT_EQ(hel.dwVidMemTotal, 0u);
    EXPECT_EQ(hel.dwReserved[77], 0u) << "the whole record is filled";
    directDraw->Release();
}

TEST_F(DirectDrawTest, RejectsWhatIsNotModelled) {
    IDirectDraw7* directDraw = reinterpret_cast<IDirectDraw7*>(this);
    void** out = reinterpret_cast<void**>(&directDraw);
    GUID device{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(DirectDrawCreateEx(&device, out, IID_IDirectDraw7, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(directDraw, nullptr);
    EXPECT_EQ(DirectDrawCreateEx(nullptr, out, IID_IDirect3D9, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(DirectDrawCreateEx(nullptr, out, IID_IDirectDraw7, reinterpret_cast<IUnknown*>(this)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(DirectDrawCreateEx(nullptr, nullptr, IID_IDirectDraw7, nullptr), DDERR_INVALIDPARAMS);

    directDraw = Create();
    EXPECT_EQ(directDraw->SetCooperativeLevel(nullptr, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->SetCooperativeLevel(nullptr, 0x11), DDERR_UNSUPPORTED) << "exclusive full-screen";
    void* same = nullptr;
    EXPECT_EQ(directDraw->QueryInterface(IID_IDirectDraw7, &same), S_OK);
    EXPECT_EQ(same, directDraw);
    EXPECT_EQ(directDraw->Release(), 1u);
    EXPECT_EQ(directDraw->Release(), 0u);
}

}  // namespace
