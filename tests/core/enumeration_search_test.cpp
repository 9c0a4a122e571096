// The device settings search: the settings the renderer's strict and relaxed searches get on
// differently configured adapters, the ranking and preserve rules that decide them, and the
// reduced settings and their log.
#include <string>
#include <vector>

#include "tests/core/enumeration_fixture.h"

namespace {

using lumi::test::EnumerationTest;

// The renderer's two searches: the strict one keeps windowed and size and comes close to
// everything else but the adapter; the relaxed one keeps only windowed and size.
STRU_MATCH_OPTIONS StrictOptions() {
    STRU_MATCH_OPTIONS options{};
    options.DeviceType = kMatchClosest;
    options.Windowed = kMatchPreserve;
    options.VertexProcessing = kMatchClosest;
    options.Resolution = kMatchPreserve;
    options.BackBufferFormat = options.BackBufferCount = options.MultiSample = options.SwapEffect = kMatchClosest;
    options.DepthFormat = options.StencilFormat = options.PresentFlags = kMatchClosest;
    options.RefreshRate = options.PresentInterval = kMatchClosest;
    return options;
}

STRU_MATCH_OPTIONS RelaxedOptions() {
    STRU_MATCH_OPTIONS options{};
    options.Windowed = kMatchPreserve;
    options.Resolution = kMatchPreserve;
    return options;
}

class SearchTest : public EnumerationTest {
protected:
    // What the renderer asks for: 3 back buffers, D16, hardware vertex processing.
    STRU_DEVICE_SETTINGS Desired(UINT width, UINT height, D3DFORMAT backBuffer, BOOL windowed,
                                 UINT interval = D3DPRESENT_INTERVAL_ONE) {
        STRU_DEVICE_SETTINGS settings{};
        settings.DeviceType = D3DDEVTYPE_HAL;
        settings.AdapterFormat = D3DFMT_X8R8G8B8;
        settings.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        settings.pp.BackBufferWidth = width;
        settings.pp.BackBufferHeight = height;
        settings.pp.BackBufferFormat = backBuffer;
        settings.pp.BackBufferCount = 3;
        settings.pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        settings.pp.hDeviceWindow = window_;
        settings.pp.Windowed = windowed;
        settings.pp.EnableAutoDepthStencil = 1;
        settings.pp.AutoDepthStencilFormat = D3DFMT_D16;
        settings.pp.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
        settings.pp.PresentationInterval = interval;
        return settings;
    }

    HRESULT Search(const STRU_DEVICE_SETTINGS& in, const STRU_MATCH_OPTIONS* options) {
        return FindValidDeviceSettings(Direct3D(), window_, &found_, &in, options);
    }
    const STRU_DEVICE_COMBO* Chosen() { return GetAdapterEnum(Direct3D(), window_)->ChosenCombo(); }

    STRU_DEVICE_SETTINGS found_{};
};

TEST_F(SearchTest, IgnoringEveryFieldPicksAWindowedHalDeviceOnTheDesktopFormat) {
    const STRU_DEVICE_SETTINGS in{};
    ASSERT_EQ(Search(in, nullptr), S_OK);
    EXPECT_EQ(found_.AdapterOrdinal, 0u);
    EXPECT_EQ(found_.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(found_.AdapterFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(found_.BehaviorFlags, D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(found_.pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(found_.pp.Windowed, 1);
    EXPECT_EQ(found_.pp.BackBufferWidth, 640u);
    EXPECT_EQ(found_.pp.BackBufferHeight, 480u);
    EXPECT_EQ(found_.pp.BackBufferCount, 2u);
    EXPECT_EQ(found_.pp.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(found_.pp.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(found_.pp.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
    EXPECT_EQ(found_.pp.EnableAutoDepthStencil, 1);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D24X8) << "cost 8, before D24S8 at 16";
    EXPECT_EQ(found_.pp.Flags, D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL);
    ASSERT_NE(Chosen(), nullptr);
    EXPECT_EQ(Chosen()->Windowed, 1);
}

TEST_F(SearchTest, StrictSearchKeepsWindowedSizeAndComesCloseToTheRest) {
    const STRU_MATCH_OPTIONS strict = StrictOptions();
    ASSERT_EQ(Search(Desired(800, 600, D3DFMT_X8R8G8B8, 1), &strict), S_OK);
    EXPECT_EQ(found_.pp.Windowed, 1);
    EXPECT_EQ(found_.pp.BackBufferWidth, 800u);
    EXPECT_EQ(found_.pp.BackBufferHeight, 600u);
    EXPECT_EQ(found_.pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(found_.pp.BackBufferCount, 3u);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(found_.pp.PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(found_.pp.hDeviceWindow, window_);
    EXPECT_EQ(found_.pp.FullScreen_RefreshRateInHz, 0u);

    ASSERT_EQ(Search(Desired(1024, 768, D3DFMT_X8R8G8B8, 0, D3DPRESENT_INTERVAL_TWO), &strict), S_OK);
    EXPECT_EQ(found_.pp.Windowed, 0);
    EXPECT_EQ(found_.pp.BackBufferWidth, 1024u);
    EXPECT_EQ(found_.pp.PresentationInterval, D3DPRESENT_INTERVAL_TWO) << "full screen offers two retraces";
    EXPECT_EQ(Chosen()->Windowed, 0);

    // A window cannot wait for two retraces: the closest choice falls back to DEFAULT.
    ASSERT_EQ(Search(Desired(800, 600, D3DFMT_X8R8G8B8, 1, D3DPRESENT_INTERVAL_TWO), &strict), S_OK);
    EXPECT_EQ(found_.pp.PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
}

TEST_F(SearchTest, SizesTheModesCannotHoldFailBothSearches) {
    const STRU_MATCH_OPTIONS strict = StrictOptions();
    const STRU_MATCH_OPTIONS relaxed = RelaxedOptions();
    // Full screen: the size must be a mode; a window must fit inside one.
    for (const STRU_DEVICE_SETTINGS& in : {Desired(1000, 700, D3DFMT_X8R8G8B8, 0),
                                            Desired(2560, 1600, D3DFMT_X8R8G8B8, 1)}) {
        SCOPED_TRACE(in.pp.Windowed ? "windowed" : "full screen");
        found_ = {};
        EXPECT_EQ(Search(in, &strict), E_FAIL);
        EXPECT_EQ(Search(in, &relaxed), E_FAIL);
        EXPECT_EQ(Chosen(), nullptr);
        EXPECT_EQ(found_.pp.BackBufferWidth, 0u) << "nothing written on failure";
    }
    // A window smaller than the largest mode keeps its own size.
    ASSERT_EQ(Search(Desired(1000, 700, D3DFMT_X8R8G8B8, 1), &relaxed), S_OK);
    EXPECT_EQ(found_.pp.BackBufferWidth, 1000u);
    EXPECT_EQ(found_.pp.BackBufferHeight, 700u);
    EXPECT_EQ(found_.pp.BackBufferCount, 2u);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D24X8);

    // Coming close instead of preserving finds the nearest full-screen mode.
    STRU_MATCH_OPTIONS closest = strict;
    closest.Resolution = kMatchClosest;
    ASSERT_EQ(Search(Desired(1000, 700, D3DFMT_X8R8G8B8, 0), &closest), S_OK);
    EXPECT_EQ(found_.pp.BackBufferWidth, 1024u);
    EXPECT_EQ(found_.pp.BackBufferHeight, 768u);
}

TEST_F(SearchTest, SixteenBitOnlyMachineGetsSixteenBitFullScreenSettings) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    std::erase_if(adapter.modes, [](const D3DDISPLAYMODE& mode) { return mode.Format != D3DFMT_R5G6B5; });
    d3d9ctl::SetAdapters({adapter});
    win32::SetCurrentDisplayMode({1024, 768, 16});

    const STRU_MATCH_OPTIONS strict = StrictOptions();
    ASSERT_EQ(Search(Desired(800, 600, D3DFMT_X8R8G8B8, 0), &strict), S_OK);
    EXPECT_EQ(found_.AdapterFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(found_.pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(found_.pp.BackBufferWidth, 800u);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D16);

    // Windowed on the 16-bit desktop: only combos of the desktop format qualify.
    ASSERT_EQ(Search(Desired(800, 600, D3DFMT_R5G6B5, 1), &strict), S_OK);
    EXPECT_EQ(found_.AdapterFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(found_.pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(SearchTest, WindowedCombosOfAnotherFormatThanTheDesktopAreNeverChosen) {
    win32::SetCurrentDisplayMode({1024, 768, 16});
    STRU_MATCH_OPTIONS options = RelaxedOptions();
    options.AdapterFormat = kMatchPreserve;
    EXPECT_EQ(Search(Desired(640, 480, D3DFMT_X8R8G8B8, 1), &options), E_FAIL);
    ASSERT_EQ(Search(Desired(640, 480, D3DFMT_X8R8G8B8, 0), &options), S_OK);
    EXPECT_EQ(found_.AdapterFormat, D3DFMT_X8R8G8B8) << "full screen may change the display format";
}

TEST_F(SearchTest, MultisampleIsChosenClosestPreservedOrDroppedWithoutDiscard) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    adapter.multiSample = {{D3DMULTISAMPLE_2_SAMPLES, 1}, {D3DMULTISAMPLE_4_SAMPLES, 3}};
    d3d9ctl::SetAdapters({adapter});
    const STRU_MATCH_OPTIONS strict = StrictOptions();
    STRU_DEVICE_SETTINGS in = Desired(800, 600, D3DFMT_X8R8G8B8, 1);
    in.pp.MultiSampleType = D3DMULTISAMPLE_16_SAMPLES;
    in.pp.MultiSampleQuality = 5;
    ASSERT_EQ(Search(in, &strict), S_OK);
    EXPECT_EQ(found_.pp.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(found_.pp.MultiSampleQuality, 2u) << "the highest quality level the type offers";
    in.pp.MultiSampleType = D3DMULTISAMPLE_3_SAMPLES;
    ASSERT_EQ(Search(in, &strict), S_OK);
    EXPECT_EQ(found_.pp.MultiSampleType, D3DMULTISAMPLE_2_SAMPLES) << "the first of two equally close types";
    EXPECT_EQ(found_.pp.MultiSampleQuality, 0u);

    in.pp.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_EQ(Search(in, &strict), S_OK);
    EXPECT_EQ(found_.pp.MultiSampleType, D3DMULTISAMPLE_NONE) << "only a discarded back buffer is multisampled";
    EXPECT_EQ(found_.pp.SwapEffect, D3DSWAPEFFECT_COPY);

    STRU_MATCH_OPTIONS preserve = strict;
    preserve.MultiSample = kMatchPreserve;
    in.pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    in.pp.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
    in.pp.MultiSampleQuality = 2;
    ASSERT_EQ(Search(in, &preserve), S_OK);
    EXPECT_EQ(found_.pp.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(found_.pp.MultiSampleQuality, 2u);
    in.pp.MultiSampleQuality = 3;
    EXPECT_EQ(Search(in, &preserve), E_FAIL) << "quality 3 needs four levels";
}

TEST_F(SearchTest, DeviceWithoutHardwareVertexProcessing) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    adapter.caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    d3d9ctl::SetAdapters({adapter});
    STRU_DEVICE_SETTINGS in = Desired(800, 600, D3DFMT_X8R8G8B8, 1);

    const STRU_MATCH_OPTIONS strict = StrictOptions();
    ASSERT_EQ(Search(in, &strict), S_OK);
    EXPECT_EQ(found_.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    in.BehaviorFlags = D3DCREATE_FPU_PRESERVE;
    ASSERT_EQ(Search(in, &strict), S_OK);
    EXPECT_EQ(found_.BehaviorFlags, D3DCREATE_FPU_PRESERVE | D3DCREATE_SOFTWARE_VERTEXPROCESSING);

    STRU_MATCH_OPTIONS preserve = strict;
    preserve.VertexProcessing = kMatchPreserve;
    in.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    EXPECT_EQ(Search(in, &preserve), E_FAIL);
}

TEST_F(SearchTest, PreservedDepthRefreshAndIntervalMustBeOffered) {
    const STRU_MATCH_OPTIONS strict = StrictOptions();
    STRU_MATCH_OPTIONS options = strict;
    options.DepthFormat = options.StencilFormat = kMatchPreserve;
    STRU_DEVICE_SETTINGS in = Desired(1024, 768, D3DFMT_X8R8G8B8, 0);
    in.pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_EQ(Search(in, &options), S_OK);
    EXPECT_EQ(found_.pp.AutoDepthStencilFormat, D3DFMT_D24S8);
    in.pp.AutoDepthStencilFormat = D3DFMT_D32;
    EXPECT_EQ(Search(in, &options), E_FAIL);

    options = strict;
    options.RefreshRate = kMatchPreserve;
    in = Desired(1024, 768, D3DFMT_X8R8G8B8, 0);
    in.pp.FullScreen_RefreshRateInHz = 60;
    ASSERT_EQ(Search(in, &options), S_OK);
    EXPECT_EQ(found_.pp.FullScreen_RefreshRateInHz, 60u);
    in.pp.FullScreen_RefreshRateInHz = 75;
    EXPECT_EQ(Search(in, &options), E_FAIL);

    options = strict;
    options.PresentInterval = kMatchPreserve;
    EXPECT_EQ(Search(Desired(800, 600, D3DFMT_X8R8G8B8, 1, D3DPRESENT_INTERVAL_TWO), &options), E_FAIL);
}

TEST_F(SearchTest, ClosestDeviceTypeAndAdapterFollowTheInput) {
    d3d9ctl::SetAdapters({d3d9ctl::DefaultAdapter(), d3d9ctl::DefaultAdapter()});
    STRU_MATCH_OPTIONS options = StrictOptions();
    options.AdapterOrdinal = kMatchClosest;
    STRU_DEVICE_SETTINGS in = Desired(1024, 768, D3DFMT_X8R8G8B8, 0);
    in.AdapterOrdinal = 1;
    in.DeviceType = D3DDEVTYPE_REF;
    ASSERT_EQ(Search(in, &options), S_OK);
    EXPECT_EQ(found_.AdapterOrdinal, 1u);
    EXPECT_EQ(found_.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(Chosen()->DeviceInfo->DevType, D3DDEVTYPE_REF);
}

TEST_F(SearchTest, ReducedSettingsAndTheirLog) {
    STRU_DEVICE_SETTINGS settings = Desired(800, 600, D3DFMT_X8R8G8B8, 1);
    settings.pp.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    settings.pp.MultiSampleQuality = 1;
    settings.pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ReduceDeviceSettings(&settings);
    EXPECT_EQ(settings.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(settings.pp.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(settings.pp.BackBufferCount, 1u);
    EXPECT_EQ(settings.pp.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(settings.pp.MultiSampleQuality, 0u);
    EXPECT_EQ(settings.pp.AutoDepthStencilFormat, D3DFMT_D16);
    ReduceDeviceSettings(nullptr);

    settings.pp.hDeviceWindow = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234ABCD));
    settings.pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    LogDeviceSettings(&settings);
    EXPECT_TRUE(LogHas({u"DeviceType : D3DDEVTYPE_HAL", u"AdapterFormat : D3DFMT_X8R8G8B8", u"BehaviorFlags: 32",
                        u">>> Present Params <<<", u"\tBackBufferWidth : 800", u"\tBackBufferHeight : 600",
                        u"\tBackBufferFormat : D3DFMT_R5G6B5", u"\tBackBufferCount : 1", u"\tSwapEffect : 1",
                        u"\tMultiSampleType : D3DMULTISAMPLE_NONE", u"\tMultiSampleQuality : 0",
                        u"\tDeviceWindow : 0X1234ABCD", u"\tWindowed : 1", u"\tEnableAutoDepthStencil : 1",
                        u"\tAutoDepthStencilFormat : D3DFMT_D16", u"\tFlags : 2",
                        u"\tFullScreen_RefreshRateInHz : 0", u"\tPresentationInterval : 0X80000000"}));
}

}  // namespace
