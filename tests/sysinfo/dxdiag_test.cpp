// The DxDiag provider read the way the system-information report and the DirectX version
// check read it: by container path and property name, with the VARIANT kind each expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/d3d9/control.h"
#include "platform/dxdiag/control.h"
#include "platform/dxdiag/dxdiag.h"
#include "platform/win32/com.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"

namespace {

using dxdiagctl::DiagValue;

class DxDiagTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d9ctl::ResetAll();
        win32::ResetDisplay();
        dxdiagctl::Reset();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        bstrsBefore_ = win32::LiveBstrCount();
    }
    void TearDown() override {
        for (IDxDiagContainer* container : held_) container->Release();
        if (root_) root_->Release();
        if (provider_) provider_->Release();
        CoUninitialize();
        EXPECT_EQ(dxdiagctl::LiveObjects(), 0) << "a provider or container was not released";
        EXPECT_EQ(win32::LiveBstrCount(), bstrsBefore_) << "a property text was not freed";
        dxdiagctl::Reset();
    }

    HRESULT Open(BOOL allowWhql = TRUE) {
        HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                      reinterpret_cast<void**>(&provider_));
        if (FAILED(hr)) return hr;
        DXDIAG_INIT_PARAMS params{sizeof(DXDIAG_INIT_PARAMS), DXDIAG_DX9_SDK_VERSION, allowWhql, nullptr};
        hr = provider_->Initialize(&params);
        if (FAILED(hr)) return hr;
        return provider_->GetRootContainer(&root_);
    }

    // The container at `path`, owned by the test (released at tear-down).
    IDxDiagContainer* Container(const std::u16string& path) {
        IDxDiagContainer* container = nullptr;
        const HRESULT hr = root_->GetChildContainer(path.c_str(), &container);
        EXPECT_EQ(hr, S_OK) << win32::Utf16ToUtf8(path);
        if (container) held_.push_back(container);
        return container;
    }

    struct Prop {
        HRESULT result;
        VARTYPE vt;
        std::u16string text;
        std::int64_t number;
    };
    static Prop Read(IDxDiagContainer* container, const char16_t* name) {
        VARIANT value;
        VariantInit(&value);
        Prop prop{container->GetProp(name, &value), value.vt, {}, 0};
        if (value.vt == VT_BSTR) prop.text = value.bstrVal;
        if (value.vt == VT_UI4) prop.number = value.ulVal;
        if (value.vt == VT_I4) prop.number = value.lVal;
        if (value.vt == VT_BOOL) prop.number = value.boolVal;
        VariantClear(&value);
        return prop;
    }

    static std::vector<std::u16string> ChildNames(IDxDiagContainer* container) {
        DWORD count = 0;
        EXPECT_EQ(container->GetNumberOfChildContainers(&count), S_OK);
        std::vector<std::u16string> names;
        for (DWORD i = 0; i < count; ++i) {
            char16_t name[256];
            EXPECT_EQ(container->EnumChildContainerNames(i, name, 256), S_OK);
            names.emplace_back(name);
        }
        return names;
    }

    IDxDiagProvider* provider_ = nullptr;
    IDxDiagContainer* root_ = nullptr;
    std::vector<IDxDiagContainer*> held_;
    int bstrsBefore_ = 0;
};

// Every property the system-information report reads, with the kind it requires.
TEST_F(DxDiagTest, DefaultTreeHoldsEveryPropertyTheReportReads) {
    ASSERT_EQ(Open(), S_OK);
    EXPECT_EQ(ChildNames(root_), (std::vector<std::u16string>{u"DxDiag_SystemInfo", u"DxDiag_DisplayDevices"}));

    IDxDiagContainer* system = Container(u"DxDiag_SystemInfo");
    ASSERT_NE(system, nullptr);
    const std::vector<std::pair<std::u16string, VARTYPE>> systemProps = {
        {u"dwOSMajorVersion", VT_UI4}, {u"dwOSMinorVersion", VT_UI4}, {u"dwOSBuildNumber", VT_UI4},
        {u"dwOSPlatformID", VT_UI4}, {u"dwDirectXVersionMajor", VT_UI4}, {u"dwDirectXVersionMinor", VT_UI4},
        {u"szDirectXVersionLetter", VT_BSTR}, {u"bDebug", VT_BOOL}, {u"bNECPC98", VT_BOOL},
        {u"ullPhysicalMemory", VT_BSTR}, {u"ullUsedPageFile", VT_BSTR}, {u"ullAvailPageFile", VT_BSTR},
        {u"bNetMeetingRunning", VT_BOOL}, {u"bIsD3D8DebugRuntimeAvailable", VT_BOOL}, {u"bIsD3DDebugRuntime", VT_BOOL},
        {u"bIsDInput8DebugRuntimeAvailable", VT_BOOL}, {u"bIsDInput8DebugRuntime", VT_BOOL},
        {u"bIsDMusicDebugRuntimeAvailable", VT_BOOL}, {u"bIsDMusicDebugRuntime", VT_BOOL},
        {u"bIsDDrawDebugRuntime", VT_BOOL}, {u"bIsDPlayDebugRuntime", VT_BOOL}, {u"bIsDSoundDebugRuntime", VT_BOOL},
        {u"nD3DDebugLevel", VT_I4}, {u"nDDrawDebugLevel", VT_I4}, {u"nDIDebugLevel", VT_I4},
        {u"nDMusicDebugLevel", VT_I4}, {u"nDPlayDebugLevel", VT_I4}, {u"nDSoundDebugLevel", VT_I4},
        {u"nDShowDebugLevel", VT_I4}, {u"szWindowsDir", VT_BSTR}, {u"szBuildLab", VT_BSTR},
        {u"szDxDiagVersion", VT_BSTR}, {u"szSetupParamEnglish", VT_BSTR}, {u"szProcessorEnglish", VT_BSTR},
        {u"szSystemManufacturerEnglish", VT_BSTR}, {u"szSystemModelEnglish", VT_BSTR}, {u"szBIOSEnglish", VT_BSTR},
        {u"szPhysicalMemoryEnglish", VT_BSTR}, {u"szCSDVersion", VT_BSTR}, {u"szDirectXVersionEnglish", VT_BSTR},
        {u"szDirectXVersionLongEnglish", VT_BSTR}, {u"szMachineNameLocalized", VT_BSTR}, {u"szOSLocalized", VT_BSTR},
        {u"szOSExLocalized", VT_BSTR}, {u"szOSExLongLocalized", VT_BSTR}, {u"szLanguagesLocalized", VT_BSTR},
        {u"szPageFileLocalized", VT_BSTR}, {u"szTimeLocalized", VT_BSTR}, {u"szMachineNameEnglish", VT_BSTR},
        {u"szOSEnglish", VT_BSTR}, {u"szOSExEnglish", VT_BSTR}, {u"szOSExLongEnglish", VT_BSTR},
        {u"szLanguagesEnglish", VT_BSTR}, {u"szPageFileEnglish", VT_BSTR}, {u"szTimeEnglish", VT_BSTR},
        {u"ExtendedCPUFunctionBitmasks_0x80000009_bits0_31", VT_UI4},
        {u"ExtendedCPUFunctionBitmasks_0x80000018_bits96_127", VT_UI4}};
    for (const auto& [name, vt] : systemProps) {
        const Prop prop = Read(system, name.c_str());
        EXPECT_EQ(prop.result, S_OK) << win32::Utf16ToUtf8(name);
        EXPECT_EQ(prop.vt, vt) << win32::Utf16ToUtf8(name);
    }
    DWORD count = 0;
    EXPECT_EQ(system->GetNumberOfProps(&count), S_OK);
    EXPECT_EQ(count, 55u + 64u) << "the report's properties plus sixteen CPUID leaves of four words";

    // Figures the version check and the report rely on.
    EXPECT_EQ(Read(system, u"dwDirectXVersionMajor").number, 9);
    EXPECT_EQ(Read(system, u"szDirectXVersionLetter").text, u"c");
    EXPECT_GT(_wtoi64(Read(system, u"ullPhysicalMemory").text.c_str()), 0) << "from /proc/meminfo";
    EXPECT_FALSE(Read(system, u"szOSEnglish").text.empty());

    IDxDiagContainer* device = Container(u"DxDiag_DisplayDevices.0");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetNumberOfProps(&count), S_OK);
    EXPECT_EQ(count, 72u);
    for (DWORD i = 0; i < count; ++i) {
        char16_t name[64];
        ASSERT_EQ(device->EnumPropNames(i, name, 64), S_OK);
        const Prop prop = Read(device, name);
        EXPECT_EQ(prop.result, S_OK) << win32::Utf16ToUtf8(name);
        // The kind follows the name's prefix, which is what the report's readers assume.
        const std::u16string text(name);
        const VARTYPE expected = text.starts_with(u"sz")   ? VT_BSTR
                                 : text.starts_with(u"b")  ? VT_BOOL
                                 : text.starts_with(u"l")  ? VT_I4
                                                           : VT_UI4;  // dw..., iAdapter
        EXPECT_EQ(prop.vt, expected) << win32::Utf16ToUtf8(name);
    }
}

TEST_F(DxDiagTest, DefaultDisplayDeviceShowsTheSoftwareAdapterHealthy) {
    d3d9ctl::SetTextureMemory(0, 128ull << 20);
    win32::SetCurrentDisplayMode({1280, 720, 32, 75});
    ASSERT_EQ(Open(), S_OK);
    EXPECT_EQ(ChildNames(Container(u"DxDiag_DisplayDevices")), std::vector<std::u16string>{u"0"});
    IDxDiagContainer* device = Container(u"DxDiag_DisplayDevices.0");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(Read(device, u"szDescription").text, win32::Utf8ToUtf16(d3d9ctl::Adapters()[0].description));
    EXPECT_EQ(Read(device, u"szDisplayMemoryEnglish").text, u"128.0 MB");
    EXPECT_EQ(Read(device, u"dwWidth").number, 1280);
    EXPECT_EQ(Read(device, u"dwHeight").number, 720);
    EXPECT_EQ(Read(device, u"dwRefreshRate").number, 75);
    EXPECT_EQ(Read(device, u"szVendorId").text, u"0x1414");
    for (const char16_t* flag : {u"bDDAccelerationEnabled", u"b3DAccelerationExists", u"b3DAccelerationEnabled",
                                 u"bAGPEnabled", u"bAGPExists", u"bAGPExistenceValid"})
        EXPECT_EQ(Read(device, flag).number, VARIANT_TRUE) << win32::Utf16ToUtf8(flag);
    EXPECT_EQ(Read(device, u"szD3DStatusEnglish").text, u"Enabled");
    IDxDiagContainer* deinterlace = Container(u"DxDiag_DisplayDevices.0.DXVADeinterlaceCaps");
    ASSERT_NE(deinterlace, nullptr);
    EXPECT_TRUE(ChildNames(deinterlace).empty());
}

TEST_F(DxDiagTest, NamesAndPathsAreChecked) {
    ASSERT_EQ(Open(), S_OK);
    IDxDiagContainer* missing = reinterpret_cast<IDxDiagContainer*>(this);
    for (const char16_t* path : {u"DxDiag_DisplayDevices.1", u"DxDiag_DisplayDevices.", u".DxDiag_SystemInfo",
                                 u"", u"dxdiag_systeminfo", u"DxDiag_SystemInfo..x"}) {
        EXPECT_EQ(root_->GetChildContainer(path, &missing), E_INVALIDARG) << win32::Utf16ToUtf8(path);
        EXPECT_EQ(missing, nullptr);
    }
    EXPECT_EQ(root_->GetChildContainer(nullptr, &missing), E_INVALIDARG);

    char16_t name[18];
    EXPECT_EQ(root_->EnumChildContainerNames(0, name, 18), S_OK) << "17 characters and the terminator fit";
    EXPECT_EQ(std::u16string(name), u"DxDiag_SystemInfo");
    EXPECT_EQ(root_->EnumChildContainerNames(0, name, 17), DXDIAG_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(name[0], u'\0');
    EXPECT_EQ(root_->EnumChildContainerNames(2, name, 18), E_INVALIDARG);
    EXPECT_EQ(root_->EnumChildContainerNames(0, nullptr, 18), E_INVALIDARG);

    IDxDiagContainer* system = Container(u"DxDiag_SystemInfo");
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(system->GetProp(u"dwNoSuchThing", &value), E_INVALIDARG);
    EXPECT_EQ(value.vt, VT_EMPTY);
    EXPECT_EQ(system->GetProp(nullptr, &value), E_INVALIDARG);
    EXPECT_EQ(system->GetProp(u"bDebug", nullptr), E_INVALIDARG);

    // Reading into a variant that still holds a text frees that text first.
    ASSERT_EQ(system->GetProp(u"szOSEnglish", &value), S_OK);
    ASSERT_EQ(system->GetProp(u"szWindowsDir", &value), S_OK);
    EXPECT_EQ(win32::LiveBstrCount(), bstrsBefore_ + 1);
    EXPECT_EQ(std::u16string(value.bstrVal), u"C:\\Windows");
    VariantClear(&value);
}

TEST_F(DxDiagTest, ScriptedValuesKindsAndDevicesReachTheReader) {
    dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"ullPhysicalMemory", DiagValue::Text(u"8589934592"));
    dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"dwOSMajorVersion", DiagValue::Text(u"five"));  // wrong kind
    dxdiagctl::RemoveProp(u"DxDiag_SystemInfo", u"bNECPC98");
    EXPECT_EQ(dxdiagctl::AddDisplayDevice(), 1u);
    dxdiagctl::SetProp(dxdiagctl::DisplayDevicePath(0), u"bDDAccelerationEnabled", DiagValue::Bool(false));
    dxdiagctl::SetProp(dxdiagctl::DisplayDevicePath(1), u"lDriverSize", DiagValue::Int(-7));
    dxdiagctl::SetProp(u"DxDiag_DisplayDevices.1.DXVADeinterlaceCaps.0", u"dwNumPreviousOutputFrames",
                       DiagValue::UInt(2));

    ASSERT_EQ(Open(), S_OK);
    IDxDiagContainer* system = Container(u"DxDiag_SystemInfo");
    EXPECT_EQ(Read(system, u"ullPhysicalMemory").text, u"8589934592");
    const Prop wrongKind = Read(system, u"dwOSMajorVersion");
    EXPECT_EQ(wrongKind.vt, VT_BSTR);
    EXPECT_EQ(wrongKind.text, u"five");
    EXPECT_EQ(Read(system, u"bNECPC98").result, E_INVALIDARG);

    EXPECT_EQ(ChildNames(Container(u"DxDiag_DisplayDevices")), (std::vector<std::u16string>{u"0", u"1"}));
    EXPECT_EQ(Read(Container(u"DxDiag_DisplayDevices.0"), u"bDDAccelerationEnabled").number, VARIANT_FALSE);
    IDxDiagContainer* second = Container(u"DxDiag_DisplayDevices.1");
    EXPECT_EQ(Read(second, u"iAdapter").number, 1);
    EXPECT_EQ(Read(second, u"bDDAccelerationEnabled").number, VARIANT_TRUE) << "copied from the default device";
    EXPECT_EQ(Read(second, u"lDriverSize").number, -7);
    EXPECT_EQ(ChildNames(Container(u"DxDiag_DisplayDevices.1.DXVADeinterlaceCaps")),
              std::vector<std::u16string>{u"0"});
}

TEST_F(DxDiagTest, RemovingDevicesRenumbersAndBadEditsThrow) {
    dxdiagctl::AddDisplayDevice();
    dxdiagctl::AddDisplayDevice();
    dxdiagctl::SetProp(dxdiagctl::DisplayDevicePath(2), u"szDescription", DiagValue::Text(u"third"));
    dxdiagctl::RemoveDisplayDevice(0);
    dxdiagctl::RemoveContainer(u"DxDiag_SystemInfo");
    EXPECT_THROW(dxdiagctl::RemoveDisplayDevice(2), std::invalid_argument);
    EXPECT_THROW(dxdiagctl::RemoveProp(u"DxDiag_SystemInfo", u"bDebug"), std::invalid_argument);
    EXPECT_THROW(dxdiagctl::SetProp(u"a..b", u"x", DiagValue::UInt(1)), std::invalid_argument);

    ASSERT_EQ(Open(), S_OK);
    EXPECT_EQ(ChildNames(root_), std::vector<std::u16string>{u"DxDiag_DisplayDevices"});
    EXPECT_EQ(ChildNames(Container(u"DxDiag_DisplayDevices")), (std::vector<std::u16string>{u"0", u"1"}));
    EXPECT_EQ(Read(Container(u"DxDiag_DisplayDevices.1"), u"szDescription").text, u"third");
}

TEST_F(DxDiagTest, DefaultsAreTakenWhenInitializeRuns) {
    dxdiagctl::SetProp(u"DxDiag_SystemInfo", u"szOSEnglish", DiagValue::Text(u"scripted"));
    d3d9ctl::SetTextureMemory(0, 64ull << 20);
    ASSERT_EQ(Open(), S_OK);
    IDxDiagContainer* first = Container(u"DxDiag_DisplayDevices.0");

    // A later provider sees the new budget, the edit still applied; the first keeps its data
    // and its containers outlive their provider.
    d3d9ctl::SetTextureMemory(0, 32ull << 20);
    provider_->Release();
    provider_ = nullptr;
    EXPECT_EQ(Read(first, u"szDisplayMemoryEnglish").text, u"64.0 MB");
    root_->Release();
    root_ = nullptr;
    ASSERT_EQ(Open(), S_OK);
    EXPECT_EQ(Read(Container(u"DxDiag_DisplayDevices.0"), u"szDisplayMemoryEnglish").text, u"32.0 MB");
    EXPECT_EQ(Read(Container(u"DxDiag_SystemInfo"), u"szOSEnglish").text, u"scripted");
}

TEST_F(DxDiagTest, FailureSwitches) {
    dxdiagctl::SetCreateResult(REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Open(), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(provider_, nullptr) << "a missing class hands out null";

    dxdiagctl::SetCreateResult(S_OK);
    dxdiagctl::SetInitializeResult(E_FAIL);
    EXPECT_EQ(Open(FALSE), E_FAIL);
    EXPECT_EQ(dxdiagctl::LastInitParams().bAllowWHQLChecks, FALSE);
    EXPECT_EQ(dxdiagctl::LastInitParams().dwDxDiagHeaderVersion, 111u);
    EXPECT_EQ(provider_->GetRootContainer(&root_), CO_E_NOTINITIALIZED);
    EXPECT_EQ(root_, nullptr);

    dxdiagctl::SetInitializeResult(S_OK);
    DXDIAG_INIT_PARAMS params{16, DXDIAG_DX9_SDK_VERSION, TRUE, nullptr};  // the 32-bit size
    EXPECT_EQ(provider_->Initialize(&params), E_INVALIDARG);
    params = {sizeof params, 110, TRUE, nullptr};
    EXPECT_EQ(provider_->Initialize(&params), E_INVALIDARG);
    EXPECT_EQ(provider_->Initialize(nullptr), E_POINTER);
    params = {sizeof params, DXDIAG_DX9_SDK_VERSION, TRUE, nullptr};
    EXPECT_EQ(provider_->Initialize(&params), S_OK);
    EXPECT_EQ(provider_->Initialize(&params), CO_E_ALREADYINITIALIZED);
    EXPECT_EQ(provider_->GetRootContainer(&root_), S_OK);

    // Without Install after a COM reset, the class is gone as on a machine without DxDiag.
    win32::UnregisterComClass(CLSID_DxDiagProvider);
    IDxDiagProvider* other = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                               reinterpret_cast<void**>(&other)),
              REGDB_E_CLASSNOTREG);
    dxdiagctl::Install();
}

}  // namespace
