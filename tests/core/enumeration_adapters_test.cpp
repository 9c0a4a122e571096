// Enumeration of adapters, display modes, devices and combos against the software adapter
// configured in several ways: the log lines and the records kept.
#include <string>
#include <vector>

#include "platform/dxerr/dxerr.h"
#include "platform/win32/modules.h"
#include "tests/core/enumeration_fixture.h"

namespace {

using lumi::test::EnumerationTest;

const STRU_DEVICE_COMBO* FindCombo(const STRU_DEVICE_INFO& device, D3DFORMAT adapterFormat, D3DFORMAT backBuffer,
                                   BOOL windowed) {
    for (const auto& combo : device.DeviceCombos)
        if (combo->AdapterFormat == adapterFormat && combo->BackBufferFormat == backBuffer &&
            combo->Windowed == windowed)
            return combo.get();
    return nullptr;
}

TEST_F(EnumerationTest, DefaultAdapterLogsEveryStepAndKeepsHalAndRef) {
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_TRUE(adapterEnum.IsEnumerated());

    EXPECT_TRUE(LogHas({u"Total Video Memory : 256.00(mb)", u"Free Video Memory : 256.00(mb)", u"Adapter Count : 1",
                        u"Adapter Ordinal : [0]", u"\tDriver : lumisw.dll",
                        u"\tDescription : Lumiscriber Software Adapter", u"\tDeviceName : \\\\.\\DISPLAY1", u"",
                        u"\tTotal Display Mode : 14", u"\tEnumerate Devices:", u"\tDeviceType: D3DDEVTYPE_HAL",
                        u"\tCheck Device Caps:", u"\tDevice Caps Check pass.", u"\tEnumerate Device Combos:",
                        u"\tUnsupported combos:", u"\tWindowed : False", u"\tAdapterFormat : D3DFMT_X8R8G8B8",
                        u"\tBackbufferFormat : D3DFMT_R5G6B5"}));
    EXPECT_TRUE(LogHas({u"\tDevice Combos Count : 13", u"", u"\tDeviceType: D3DDEVTYPE_SW",
                        u"\tDevice NOT supported.", u"", u"\tDeviceType: D3DDEVTYPE_REF", u"\tCheck Device Caps:",
                        u"\tDevice Caps Check pass.", u"\tTry test REF device.", u"\tREF device test OK.",
                        u"\tEnumerate Device Combos:"}));
    // The REF test device was released again.
    EXPECT_EQ(d3d9ctl::CallCount("CreateDevice"), 1);

    ASSERT_EQ(adapterEnum.Adapters().size(), 1u);
    const STRU_ADAPTER_INFO& adapter = *adapterEnum.Adapters()[0];
    EXPECT_EQ(adapter.UniqueDescription, u"Lumiscriber Software Adapter");
    ASSERT_EQ(adapter.DisplayModes.size(), 14u);
    // By width, height, then format: X8R8G8B8 (22) before R5G6B5 (23).
    EXPECT_EQ(adapter.DisplayModes[0].Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(adapter.DisplayModes[1].Width, 640u);
    EXPECT_EQ(adapter.DisplayModes[1].Format, D3DFMT_R5G6B5);
    EXPECT_EQ(adapter.DisplayModes[2].Width, 800u);
    ASSERT_EQ(adapter.DeviceInfos.size(), 2u);
    EXPECT_EQ(adapter.DeviceInfos[0]->DevType, D3DDEVTYPE_HAL);
    EXPECT_EQ(adapter.DeviceInfos[1]->DevType, D3DDEVTYPE_REF);
    EXPECT_EQ(adapterEnum.GetDeviceInfo(0, D3DDEVTYPE_REF), adapter.DeviceInfos[1].get());
    EXPECT_EQ(adapterEnum.GetDeviceInfo(0, D3DDEVTYPE_SW), nullptr);

    const STRU_DEVICE_INFO& hal = *adapter.DeviceInfos[0];
    ASSERT_EQ(hal.DeviceCombos.size(), 13u);
    // Adapter formats in ascending value order, back-buffer formats in candidate order,
    // full screen before windowed.
    EXPECT_EQ(hal.DeviceCombos[0]->AdapterFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(hal.DeviceCombos[0]->BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(hal.DeviceCombos[0]->Windowed, 0);
    EXPECT_EQ(hal.DeviceCombos[1]->Windowed, 1);
    EXPECT_EQ(hal.DeviceCombos.back()->AdapterFormat, D3DFMT_R5G6B5);

    const STRU_DEVICE_COMBO* full = FindCombo(hal, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 0);
    const STRU_DEVICE_COMBO* windowed = FindCombo(hal, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 1);
    ASSERT_NE(full, nullptr);
    ASSERT_NE(windowed, nullptr);
    EXPECT_EQ(full->DepthStencilFormats, (std::vector<D3DFORMAT>{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8}));
    EXPECT_EQ(full->MultiSampleTypes, std::vector<D3DMULTISAMPLE_TYPE>{D3DMULTISAMPLE_NONE});
    EXPECT_EQ(full->MultiSampleQualities, std::vector<DWORD>{1});
    EXPECT_TRUE(full->DSMSConflicts.empty());
    EXPECT_EQ(full->PresentIntervals,
              (std::vector<UINT>{D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE,
                                 D3DPRESENT_INTERVAL_TWO, D3DPRESENT_INTERVAL_THREE, D3DPRESENT_INTERVAL_FOUR}));
    // A window cannot wait for more than one retrace.
    EXPECT_EQ(windowed->PresentIntervals, (std::vector<UINT>{D3DPRESENT_INTERVAL_IMMEDIATE,
                                                             D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE}));
    EXPECT_EQ(windowed->AdapterInfo, &adapter);
    EXPECT_EQ(windowed->DeviceInfo, &hal);
}

TEST_F(EnumerationTest, WeakDevicesAreDroppedEachForItsReason) {
    struct Case {
        const char* name;
        void (*configure)(d3d9ctl::AdapterConfig*);
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {"no LESSEQUAL", [](d3d9ctl::AdapterConfig* a) { a->caps.ZCmpCaps = D3DPCMPCAPS_ALWAYS; },
         {u"\tCheck Device Caps:", u"Z Testing(LESSEQUAL) NOT supported!", u"\tDevice Caps Check NOT pass.", u""}},
        {"small textures", [](d3d9ctl::AdapterConfig* a) { a->caps.MaxTextureHeight = 256; },
         {u"\tCheck Device Caps:", u"Adapter does NOT support texture size with [512x512]",
          u"\tDevice Caps Check NOT pass.", u""}},
        {"both", [](d3d9ctl::AdapterConfig* a) { a->caps.ZCmpCaps = 0; a->caps.MaxTextureWidth = 511; },
         {u"Z Testing(LESSEQUAL) NOT supported!", u"Adapter does NOT support texture size with [512x512]",
          u"\tDevice Caps Check NOT pass."}},
        {"no blending",
         [](d3d9ctl::AdapterConfig* a) {
             for (auto& [format, support] : a->formats) support.postPixelShaderBlending = false;
         },
         {u"\tAlpha test NOT supported:", u"\tWindowed : True", u"\tAdapterFormat : D3DFMT_R5G6B5",
          u"\tBackbufferFormat : D3DFMT_X1R5G5B5", u"\tDevice Combos Count : 0", u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
        c.configure(&adapter);
        d3d9ctl::SetAdapters({adapter});
        RestartLog();
        CAdapterEnum adapterEnum;
        ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
        EXPECT_TRUE(LogHas(c.lines));
        EXPECT_TRUE(adapterEnum.Adapters().empty()) << "an adapter without devices is dropped";
    }
}

TEST_F(EnumerationTest, FailingReferenceTestDropsOnlyThatDevice) {
    d3d9ctl::FailCall("CreateDevice", 1, D3DERR_NOTAVAILABLE);
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    const std::u16string failed = std::u16string(u"\tREF device test failed.[") +
                                  DXGetErrorDescriptionW(D3DERR_NOTAVAILABLE) + u"]";
    EXPECT_TRUE(LogHas({u"\tDeviceType: D3DDEVTYPE_REF", u"\tCheck Device Caps:", u"\tDevice Caps Check pass.",
                        u"\tTry test REF device.", u"\tOrdinal:0", u"\tType:D3DDEVTYPE_REF",
                        u"\tBackBuffer:D3DFMT_X8R8G8B8", u"\tFlags:64", failed, u""}));
    ASSERT_EQ(adapterEnum.Adapters().size(), 1u);
    ASSERT_EQ(adapterEnum.Adapters()[0]->DeviceInfos.size(), 1u);
    EXPECT_EQ(adapterEnum.Adapters()[0]->DeviceInfos[0]->DevType, D3DDEVTYPE_HAL);
}

TEST_F(EnumerationTest, NoAdapterLeavesAnEmptyList) {
    d3d9ctl::SetAdapters({});
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_TRUE(adapterEnum.Adapters().empty());
    EXPECT_TRUE(LogHas({u"Free Video Memory : 0.00(mb)", u"Adapter Count : 0"}));
    STRU_DEVICE_SETTINGS in{}, out{};
    EXPECT_EQ(adapterEnum.FindValidDeviceSettings(Direct3D(), &out, &in, nullptr), E_FAIL);
    EXPECT_EQ(adapterEnum.ChosenCombo(), nullptr);
}

TEST_F(EnumerationTest, VideoMemoryComesFromDirectDrawAndIsZeroWithoutIt) {
    d3d9ctl::SetTextureMemory(0, 268435456);
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_EQ(adapterEnum.TotalVideoMemory(), 268435456u);
    EXPECT_EQ(ddrawctl::LiveObjects(), 0) << "the DirectDraw object is released";
    EXPECT_EQ(win32::ModuleLoadCount(u"ddraw.dll"), 0) << "the library is freed";

    const auto failures = {+[] { win32::SetModuleMissing(u"ddraw.dll", true); },
                           +[] { ddrawctl::SetGetCapsResult(DDERR_INVALIDPARAMS); }};
    for (auto fail : failures) {
        ddrawctl::Reset();
        fail();
        RestartLog();
        CAdapterEnum broken;
        ASSERT_EQ(Enumerate(&broken), S_OK);
        EXPECT_EQ(broken.TotalVideoMemory(), 0u);
        EXPECT_EQ(broken.FreeVideoMemory(), 0u);
        EXPECT_TRUE(LogHas({u"Total Video Memory : 0.00(mb)", u"Free Video Memory : 0.00(mb)"}));
        EXPECT_EQ(ddrawctl::LiveObjects(), 0);
    }
    win32::SetModuleMissing(u"ddraw.dll", false);
}

TEST_F(EnumerationTest, SameDescriptionsGetTheirOrdinalsAppended) {
    d3d9ctl::AdapterConfig first = d3d9ctl::DefaultAdapter();
    d3d9ctl::AdapterConfig second = d3d9ctl::DefaultAdapter();
    second.description = "LUMISCRIBER software ADAPTER";
    d3d9ctl::SetAdapters({first, second});
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    ASSERT_EQ(adapterEnum.Adapters().size(), 2u);
    EXPECT_EQ(adapterEnum.Adapters()[0]->UniqueDescription, u"Lumiscriber Software Adapter (#0)");
    EXPECT_EQ(adapterEnum.Adapters()[1]->UniqueDescription, u"LUMISCRIBER software ADAPTER (#1)");

    second.description = std::string(150, 'x');
    d3d9ctl::SetAdapters({first, second});
    CAdapterEnum distinct;
    ASSERT_EQ(distinct.Enumerate(Direct3D(), window_), S_OK);
    EXPECT_EQ(distinct.Adapters()[0]->UniqueDescription, u"Lumiscriber Software Adapter");
    EXPECT_EQ(distinct.Adapters()[1]->UniqueDescription, std::u16string(100, u'x'));
}

TEST_F(EnumerationTest, ModesBelowTheMinimumLeaveOnlyWindowedCombos) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    adapter.modes = {{320, 200, 60, D3DFMT_X8R8G8B8}, {300, 240, 60, D3DFMT_X8R8G8B8}, {320, 240, 60, D3DFMT_A8R8G8B8}};
    d3d9ctl::SetAdapters({adapter});
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_TRUE(LogHas({u"\tTotal Display Mode : 0", u"\tEnumerate Devices:"}));
    ASSERT_EQ(adapterEnum.Adapters().size(), 1u);
    const STRU_ADAPTER_INFO& info = *adapterEnum.Adapters()[0];
    EXPECT_TRUE(info.DisplayModes.empty());
    for (const auto& device : info.DeviceInfos)
        for (const auto& combo : device->DeviceCombos) {
            EXPECT_EQ(combo->Windowed, 1);
            EXPECT_EQ(combo->AdapterFormat, D3DFMT_X8R8G8B8) << "only the desktop format is offered";
        }
}

TEST_F(EnumerationTest, MultisampleTypesQualitiesAndConflicts) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    adapter.refAvailable = false;
    adapter.multiSample = {{D3DMULTISAMPLE_2_SAMPLES, 1}, {D3DMULTISAMPLE_4_SAMPLES, 3}};
    d3d9ctl::SetAdapters({adapter});

    // Find which check of the depth buffer against 4 samples a run makes first, then fail
    // exactly that check in a second run.
    d3d9ctl::SetCallLogEnabled(true);
    d3d9ctl::ClearCallLog();
    {
        CAdapterEnum dryRun;
        ASSERT_EQ(Enumerate(&dryRun), S_OK);
    }
    int nth = 0, count = 0;
    for (const d3d9ctl::CallRecord& call : d3d9ctl::CallLog()) {
        if (call.method != "CheckDeviceMultiSampleType") continue;
        ++count;
        if (nth == 0 && call.args.find(std::to_string(D3DFMT_D24S8)) != std::string::npos &&
            call.args.rfind(", 4") == call.args.size() - 3)
            nth = count;
    }
    ASSERT_GT(nth, 0);
    RestartLog();
    d3d9ctl::FailCall("CheckDeviceMultiSampleType", nth, D3DERR_NOTAVAILABLE);

    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_TRUE(LogHas({u"\tDepth-Stencil / MultiSample Conflict : D3DFMT_D24S8 / D3DMULTISAMPLE_4_SAMPLES"}));
    EXPECT_EQ(CountLines(u"\tDepth-Stencil / MultiSample Conflict : D3DFMT_D24S8 / D3DMULTISAMPLE_4_SAMPLES"), 1);
    const STRU_DEVICE_INFO& hal = *adapterEnum.Adapters()[0]->DeviceInfos[0];
    const STRU_DEVICE_COMBO& first = *hal.DeviceCombos[0];
    EXPECT_EQ(first.MultiSampleTypes, (std::vector<D3DMULTISAMPLE_TYPE>{
                                          D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES}));
    EXPECT_EQ(first.MultiSampleQualities, (std::vector<DWORD>{1, 1, 3}));
    ASSERT_EQ(first.DSMSConflicts.size(), 1u);
    EXPECT_EQ(first.DSMSConflicts[0].DSFormat, D3DFMT_D24S8);
    EXPECT_EQ(first.DSMSConflicts[0].MSType, D3DMULTISAMPLE_4_SAMPLES);
}

TEST_F(EnumerationTest, CombosWithoutAnyMultisampleTypeAreDropped) {
    d3d9ctl::AdapterConfig adapter = d3d9ctl::DefaultAdapter();
    adapter.refAvailable = false;
    d3d9ctl::SetAdapters({adapter});
    d3d9ctl::FailCall("CheckDeviceMultiSampleType", 1, D3DERR_NOTAVAILABLE, 1000);
    CAdapterEnum adapterEnum;
    ASSERT_EQ(Enumerate(&adapterEnum), S_OK);
    EXPECT_EQ(CountLines(u"No valid MultiSample type."), 13);
    EXPECT_TRUE(LogHas({u"\tDevice Combos Count : 0", u""}));
    EXPECT_TRUE(adapterEnum.Adapters().empty());
}

TEST_F(EnumerationTest, ProcessWideInstanceEnumeratesOnceAndFollowsTheCallersObject) {
    // Without a window nothing is enumerated yet; the next call with one does it.
    EXPECT_FALSE(GetAdapterEnum(Direct3D(), nullptr)->IsEnumerated());
    EXPECT_TRUE(LogLines().empty());
    CAdapterEnum* first = GetAdapterEnum(Direct3D(), window_);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsEnumerated());
    EXPECT_EQ(CountLines(u"Adapter Count : 1"), 1);

    // A later renderer with its own object: the first object is gone by then.
    direct3d_->Release();
    direct3d_ = nullptr;
    IDirect3D9* second = Direct3D();
    HWND otherWindow = win32::CreateTestWindow(u"second", 0, 0, 320, 240);
    EXPECT_EQ(GetAdapterEnum(second, otherWindow), first);
    EXPECT_EQ(CountLines(u"Adapter Count : 1"), 1) << "no second enumeration";

    STRU_DEVICE_SETTINGS in{}, out{};
    EXPECT_EQ(FindValidDeviceSettings(second, otherWindow, &out, &in, nullptr), S_OK);
    EXPECT_EQ(first->ChosenCombo()->DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(FindValidDeviceSettings(second, otherWindow, nullptr, &in, nullptr), E_FAIL);

    DestroyAdapterEnum();
    CAdapterEnum* fresh = GetAdapterEnum(second, otherWindow);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(CountLines(u"Adapter Count : 1"), 2) << "a new instance enumerates again";
}

}  // namespace
