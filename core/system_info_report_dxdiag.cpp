#include "core/system_info_report_dxdiag.h"

#include <cstdio>
#include <new>
#include <string>
#include <variant>

#include "core/com_release.h"
#include "platform/win32/text.h"

namespace {

constexpr DWORD kNameCapacity = 256;  // units, terminator included

struct ReleaseComObject {
    void operator()(IUnknown* object) const { object->Release(); }
};
using ContainerPtr = std::unique_ptr<IDxDiagContainer, ReleaseComObject>;

// Holds a VARIANT for one read and clears it whatever happens.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_;
};

// Reads the property `name` into *out, made by `convert` from its VARIANT, when the property
// holds a `type` value; E_INVALIDARG when it holds another kind, the provider's error when it
// cannot be read.
template <class T, class Convert>
HRESULT ReadVariant(IDxDiagContainer* container, const char16_t* name, VARTYPE type, T* out, Convert convert) {
    Variant value;
    const HRESULT hr = container->GetProp(name, value.get());
    if (FAILED(hr)) return hr;
    if ((*value).vt != type) return E_INVALIDARG;
    *out = convert(*value);
    return S_OK;
}

HRESULT ReadText(IDxDiagContainer* container, const char16_t* name, std::size_t size, std::u16string* out) {
    return ReadVariant(container, name, VT_BSTR, out, [size](const VARIANT& value) {
        std::u16string text(value.bstrVal, SysStringLen(value.bstrVal));
        if (text.size() > size - 1) text.resize(size - 1);
        return text;
    });
}

HRESULT ReadUInt(IDxDiagContainer* container, const char16_t* name, DWORD* out) {
    return ReadVariant(container, name, VT_UI4, out, [](const VARIANT& value) { return value.ulVal; });
}

// One property of a record: its name and where (and in what kind) it is kept.
template <class Record>
struct Property {
    struct Text {
        std::u16string Record::*member;
        std::size_t size;  // units, terminator included
    };
    const char16_t* name;
    // BOOL and LONG are the same type: `boolean` tells a VT_BOOL from a VT_I4 property.
    std::variant<Text, DWORD Record::*, LONG Record::*, ULONGLONG Record::*> field;
    bool boolean = false;
};

template <class Record>
HRESULT ReadProperty(IDxDiagContainer* container, const Property<Record>& property, Record* record) {
    using Text = typename Property<Record>::Text;
    const char16_t* name = property.name;
    if (const auto* text = std::get_if<Text>(&property.field))
        return ReadText(container, name, text->size, &(record->*(text->member)));
    if (const auto* member = std::get_if<DWORD Record::*>(&property.field))
        return ReadUInt(container, name, &(record->**member));
    if (const auto* member = std::get_if<LONG Record::*>(&property.field)) {
        if (property.boolean) {
            return ReadVariant(container, name, VT_BOOL, &(record->**member),
                               [](const VARIANT& value) { return value.boolVal != VARIANT_FALSE ? 1 : 0; });
        }
        return ReadVariant(container, name, VT_I4, &(record->**member),
                           [](const VARIANT& value) { return value.lVal; });
    }
    // The provider hands 64-bit figures out as decimal text.
    return ReadVariant(container, name, VT_BSTR, &(record->*std::get<ULONGLONG Record::*>(property.field)),
                       [](const VARIANT& value) { return static_cast<ULONGLONG>(_wtoi64(value.bstrVal)); });
}

template <class Record, std::size_t N>
HRESULT ReadProperties(IDxDiagContainer* container, const Property<Record> (&table)[N], Record* record) {
    for (const Property<Record>& property : table) {
        const HRESULT hr = ReadProperty(container, property, record);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// The tables, one specialization per record, so that S (text of at most `size` units with its
// terminator), V (a number) and B (a VT_BOOL flag) name that record's members.
template <class Record>
struct Properties;

#define S(name, size) \
    Property<Record> { u"" #name, Property<Record>::Text{&Record::name, size} }
#define V(name) \
    Property<Record> { u"" #name, &Record::name }
#define B(name) \
    Property<Record> { u"" #name, &Record::name, true }

template <>
struct Properties<DxDiagSystemInfo> {
    using Record = DxDiagSystemInfo;
    static inline const Property<Record> kTable[] = {
        V(dwOSMajorVersion), V(dwOSMinorVersion), V(dwOSBuildNumber), V(dwOSPlatformID), V(dwDirectXVersionMajor),
        V(dwDirectXVersionMinor), S(szDirectXVersionLetter, 2), B(bDebug), B(bNECPC98), V(ullPhysicalMemory),
        V(ullUsedPageFile), V(ullAvailPageFile), B(bNetMeetingRunning), B(bIsD3D8DebugRuntimeAvailable),
        B(bIsD3DDebugRuntime), B(bIsDInput8DebugRuntimeAvailable), B(bIsDInput8DebugRuntime),
        B(bIsDMusicDebugRuntimeAvailable), B(bIsDMusicDebugRuntime), B(bIsDDrawDebugRuntime), B(bIsDPlayDebugRuntime),
        B(bIsDSoundDebugRuntime), V(nD3DDebugLevel), V(nDDrawDebugLevel), V(nDIDebugLevel), V(nDMusicDebugLevel),
        V(nDPlayDebugLevel), V(nDSoundDebugLevel), V(nDShowDebugLevel), S(szWindowsDir, 260), S(szBuildLab, 100),
        S(szDxDiagVersion, 100), S(szSetupParamEnglish, 100), S(szProcessorEnglish, 200),
        S(szSystemManufacturerEnglish, 200), S(szSystemModelEnglish, 200), S(szBIOSEnglish, 200),
        S(szPhysicalMemoryEnglish, 100), S(szCSDVersion, 200), S(szDirectXVersionEnglish, 100),
        S(szDirectXVersionLongEnglish, 100), S(szMachineNameLocalized, 200), S(szOSLocalized, 100),
        S(szOSExLocalized, 100), S(szOSExLongLocalized, 300), S(szLanguagesLocalized, 200), S(szPageFileLocalized, 100),
        S(szTimeLocalized, 100), S(szMachineNameEnglish, 200), S(szOSEnglish, 100), S(szOSExEnglish, 100),
        S(szOSExLongEnglish, 300), S(szLanguagesEnglish, 200), S(szPageFileEnglish, 100), S(szTimeEnglish, 100),
    };
};

template <>
struct Properties<DxDiagDisplayInfo> {
    using Record = DxDiagDisplayInfo;
    static inline const Property<Record> kTable[] = {
        S(szDeviceName, 100), S(szDescription, 200), S(szKeyDeviceID, 200), S(szKeyDeviceKey, 200),
        S(szManufacturer, 200), S(szChipType, 100), S(szDACType, 100), S(szRevision, 100),
        S(szDisplayMemoryLocalized, 100), S(szDisplayMemoryEnglish, 100), S(szDisplayModeLocalized, 100),
        S(szDisplayModeEnglish, 100), V(dwWidth), V(dwHeight), V(dwBpp), V(dwRefreshRate), S(szMonitorName, 100),
        S(szMonitorMaxRes, 100), S(szDriverName, 100), S(szDriverVersion, 100), S(szDriverAttributes, 100),
        S(szDriverLanguageEnglish, 100), S(szDriverLanguageLocalized, 100), S(szDriverDateEnglish, 100),
        S(szDriverDateLocalized, 100), V(lDriverSize), S(szMiniVdd, 100), S(szMiniVddDateLocalized, 100),
        S(szMiniVddDateEnglish, 100), V(lMiniVddSize), S(szVdd, 100), B(bCanRenderWindow), B(bDriverBeta),
        B(bDriverDebug), B(bDriverSigned), B(bDriverSignedValid), S(szDeviceIdentifier, 100), S(szDriverSignDate, 50),
        V(dwDDIVersion), S(szDDIVersionEnglish, 100), S(szDDIVersionLocalized, 100), V(iAdapter), S(szVendorId, 50),
        S(szDeviceId, 50), S(szSubSysId, 50), S(szRevisionId, 50), V(dwWHQLLevel), B(bNoHardware),
        B(bDDAccelerationEnabled), B(b3DAccelerationExists), B(b3DAccelerationEnabled), B(bAGPEnabled), B(bAGPExists),
        B(bAGPExistenceValid), S(szDXVAModes, 100), S(szDDStatusLocalized, 100), S(szDDStatusEnglish, 100),
        S(szD3DStatusLocalized, 100), S(szD3DStatusEnglish, 100), S(szAGPStatusLocalized, 100),
        S(szAGPStatusEnglish, 100), S(szNotesLocalized, 3000), S(szNotesEnglish, 3000), S(szRegHelpText, 3000),
        S(szTestResultDDLocalized, 3000), S(szTestResultDDEnglish, 3000), S(szTestResultD3D7Localized, 3000),
        S(szTestResultD3D7English, 3000), S(szTestResultD3D8Localized, 3000), S(szTestResultD3D8English, 3000),
        S(szTestResultD3D9Localized, 3000), S(szTestResultD3D9English, 3000),
    };
};

template <>
struct Properties<DxDiagDeinterlaceCaps> {
    using Record = DxDiagDeinterlaceCaps;
    static inline const Property<Record> kTable[] = {
        S(szD3DInputFormat, 100), S(szD3DOutputFormat, 100), S(szGuid, 100), S(szCaps, 100),
        V(dwNumPreviousOutputFrames), V(dwNumForwardRefSamples), V(dwNumBackwardRefSamples),
    };
};
#undef S
#undef V
#undef B

HRESULT OpenChild(IDxDiagContainer* parent, const char16_t* name, ContainerPtr* out) {
    IDxDiagContainer* child = nullptr;
    const HRESULT hr = parent->GetChildContainer(name, &child);
    if (FAILED(hr) || child == nullptr) return FAILED(hr) ? hr : E_FAIL;
    out->reset(child);
    return S_OK;
}

HRESULT ReadExtendedCpuMasks(IDxDiagContainer* container, DxDiagSystemInfo* info) {
    static constexpr const char* kBitRanges[] = {"0_31", "32_63", "64_95", "96_127"};
    for (unsigned n = 0; n < 16; ++n) {
        for (unsigned word = 0; word < 4; ++word) {
            char name[64];
            std::snprintf(name, sizeof name, "ExtendedCPUFunctionBitmasks_0x800000%02x_bits%s", 0x09 + n,
                          kBitRanges[word]);
            const HRESULT hr =
                ReadUInt(container, win32::Utf8ToUtf16(name).c_str(), &info->ExtendedCPUFunctionBitmasks[n][word]);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// Failures here are not reported: the modes are gathered only for completeness.
void ReadDeinterlaceCaps(IDxDiagContainer* device, DxDiagDisplayInfo* info) {
    ContainerPtr list;
    if (FAILED(OpenChild(device, u"DXVADeinterlaceCaps", &list))) return;
    DWORD count = 0;
    if (FAILED(list->GetNumberOfChildContainers(&count))) return;
    for (DWORD index = 0; index < count; ++index) {
        char16_t name[kNameCapacity] = {};
        ContainerPtr child;
        if (FAILED(list->EnumChildContainerNames(index, name, kNameCapacity)) ||
            FAILED(OpenChild(list.get(), name, &child)))
            return;
        info->deinterlaceCaps.emplace_back();
        DxDiagDeinterlaceCaps* caps = &info->deinterlaceCaps.back();
        if (FAILED(ReadProperties(child.get(), Properties<DxDiagDeinterlaceCaps>::kTable, caps))) return;
    }
}

}  // namespace

HRESULT CDxDiagInfo::Init() {
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    HRESULT hr = CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                                  reinterpret_cast<void**>(&provider_));
    if (FAILED(hr)) return hr;
    if (provider_ == nullptr) return E_POINTER;

    DXDIAG_INIT_PARAMS params{};
    params.dwSize = sizeof(DXDIAG_INIT_PARAMS);
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    params.bAllowWHQLChecks = 1;
    params.pReserved = nullptr;
    hr = provider_->Initialize(&params);
    if (FAILED(hr)) return hr;
    return provider_->GetRootContainer(&root_);
}

HRESULT CDxDiagInfo::GetSystemInfo(std::unique_ptr<DxDiagSystemInfo>* out) {
    if (provider_ == nullptr || root_ == nullptr || out == nullptr) return E_INVALIDARG;
    out->reset(new (std::nothrow) DxDiagSystemInfo);
    if (!*out) return E_OUTOFMEMORY;
    ContainerPtr container;
    if (FAILED(OpenChild(root_, u"DxDiag_SystemInfo", &container))) return E_FAIL;
    const HRESULT hr = ReadProperties(container.get(), Properties<DxDiagSystemInfo>::kTable, out->get());
    if (FAILED(hr)) return hr;
    return ReadExtendedCpuMasks(container.get(), out->get());
}

HRESULT CDxDiagInfo::GetDisplayInfo(std::vector<std::unique_ptr<DxDiagDisplayInfo>>* out) {
    if (provider_ == nullptr || root_ == nullptr || out == nullptr) return E_INVALIDARG;
    ContainerPtr devices;
    HRESULT hr = OpenChild(root_, u"DxDiag_DisplayDevices", &devices);
    if (FAILED(hr)) return hr;
    DWORD count = 0;
    hr = devices->GetNumberOfChildContainers(&count);
    if (FAILED(hr)) return hr;
    for (DWORD index = 0; index < count; ++index) {
        char16_t name[kNameCapacity] = {};
        hr = devices->EnumChildContainerNames(index, name, kNameCapacity);
        if (FAILED(hr)) return hr;
        std::unique_ptr<DxDiagDisplayInfo> record(new (std::nothrow) DxDiagDisplayInfo);
        if (!record) return E_OUTOFMEMORY;
        DxDiagDisplayInfo* info = record.get();
        out->push_back(std::move(record));
        ContainerPtr device;
        hr = OpenChild(devices.get(), name, &device);
        if (FAILED(hr)) return hr;
        hr = ReadProperties(device.get(), Properties<DxDiagDisplayInfo>::kTable, info);
        if (FAILED(hr)) return hr;
        ReadDeinterlaceCaps(device.get(), info);
    }
    return S_OK;
}

void CDxDiagInfo::Cleanup() {
    ReleaseAndClear(root_);
    ReleaseAndClear(provider_);
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
}
