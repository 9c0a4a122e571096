#include "platform/dxdiag/default_tree.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/d3d9/control.h"
#include "platform/win32/com.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"

namespace dxdiag {
namespace {

// What this provider reports as the installed DirectX.
constexpr DWORD kDirectXMajor = 9;
constexpr DWORD kDirectXMinor = 0;
constexpr char16_t kDirectXLetter[] = u"c";
constexpr char16_t kDirectXVersion[] = u"4.09.0000.0904";
constexpr char16_t kDirectXVersionLong[] = u"DirectX 9.0c (4.09.0000.0904)";
constexpr DWORD kPlatformWin32Nt = 2;
constexpr std::uint64_t kMegabyte = 1024 * 1024;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

DiagValue Text(const std::string& utf8) { return DiagValue::Text(win32::Utf8ToUtf16(utf8)); }
DiagValue OrNotAvailable(const std::string& utf8) { return Text(utf8.empty() ? "Not available" : utf8); }

std::string VendorName(DWORD vendorId) {
    switch (vendorId) {
    case 0x1002: return "ATI Technologies Inc.";
    case 0x10de: return "NVIDIA";
    case 0x8086: return "Intel Corporation";
    case 0x1414: return "Microsoft";
    default: return "Unknown";
    }
}

std::string DriverVersionText(std::int64_t version) {
    const auto part = [version](int shift) { return static_cast<unsigned>((version >> shift) & 0xffff); };
    return Format("%u.%02u.%04u.%04u", part(48), part(32), part(16), part(0));
}

std::string GuidText(const GUID& guid) {
    char16_t buffer[64];
    if (StringFromGUID2(guid, buffer, 64) == 0) return {};
    return win32::Utf16ToUtf8(buffer);
}

void AddSystemInfo(DiagNode& info, const MachineFacts& machine, const std::string& timeText) {
    const std::uint64_t swapUsed = machine.swapTotal - std::min(machine.swapFree, machine.swapTotal);
    const std::string osEx =
        Format("%s (%u.%u, Build %u)", machine.osName.c_str(), machine.osMajor, machine.osMinor, machine.osBuild);
    const std::string osExLong =
        Format("%s (%s, %s)", machine.osName.c_str(), machine.kernelRelease.c_str(), machine.kernelVersion.c_str());
    const std::string languages = machine.language + " (Regional Setting: " + machine.language + ")";
    const std::string pageFile = Format("%lluMB used, %lluMB available",
                                        static_cast<unsigned long long>(swapUsed / kMegabyte),
                                        static_cast<unsigned long long>(machine.swapFree / kMegabyte));

    info.SetProp(u"dwOSMajorVersion", DiagValue::UInt(machine.osMajor));
    info.SetProp(u"dwOSMinorVersion", DiagValue::UInt(machine.osMinor));
    info.SetProp(u"dwOSBuildNumber", DiagValue::UInt(machine.osBuild));
    info.SetProp(u"dwOSPlatformID", DiagValue::UInt(kPlatformWin32Nt));
    info.SetProp(u"dwDirectXVersionMajor", DiagValue::UInt(kDirectXMajor));
    info.SetProp(u"dwDirectXVersionMinor", DiagValue::UInt(kDirectXMinor));
    info.SetProp(u"szDirectXVersionLetter", DiagValue::Text(kDirectXLetter));
    info.SetProp(u"bDebug", DiagValue::Bool(false));
    info.SetProp(u"bNECPC98", DiagValue::Bool(false));
    // 64-bit figures travel as decimal text.
    info.SetProp(u"ullPhysicalMemory", Text(std::to_string(machine.physicalMemory)));
    info.SetProp(u"ullUsedPageFile", Text(std::to_string(swapUsed)));
    info.SetProp(u"ullAvailPageFile", Text(std::to_string(machine.swapFree)));
    for (const char16_t* name :
         {u"bNetMeetingRunning", u"bIsD3D8DebugRuntimeAvailable", u"bIsD3DDebugRuntime",
          u"bIsDInput8DebugRuntimeAvailable", u"bIsDInput8DebugRuntime", u"bIsDMusicDebugRuntimeAvailable",
          u"bIsDMusicDebugRuntime", u"bIsDDrawDebugRuntime", u"bIsDPlayDebugRuntime", u"bIsDSoundDebugRuntime"})
        info.SetProp(name, DiagValue::Bool(false));
    for (const char16_t* name : {u"nD3DDebugLevel", u"nDDrawDebugLevel", u"nDIDebugLevel", u"nDMusicDebugLevel",
                                 u"nDPlayDebugLevel", u"nDSoundDebugLevel", u"nDShowDebugLevel"})
        info.SetProp(name, DiagValue::Int(0));
    info.SetProp(u"szWindowsDir", DiagValue::Text(u"C:\\Windows"));
    info.SetProp(u"szBuildLab", Text(machine.kernelVersion));
    info.SetProp(u"szDxDiagVersion", DiagValue::Text(u"5.03.0904.0000"));
    info.SetProp(u"szSetupParamEnglish", DiagValue::Text(u"Not found"));
    info.SetProp(u"szProcessorEnglish", OrNotAvailable(machine.processor));
    info.SetProp(u"szSystemManufacturerEnglish", OrNotAvailable(machine.systemManufacturer));
    info.SetProp(u"szSystemModelEnglish", OrNotAvailable(machine.systemModel));
    info.SetProp(u"szBIOSEnglish", OrNotAvailable(machine.bios));
    info.SetProp(u"szPhysicalMemoryEnglish",
                 Text(Format("%lluMB RAM", static_cast<unsigned long long>(machine.physicalMemory / kMegabyte))));
    info.SetProp(u"szCSDVersion", DiagValue::Text(u""));
    info.SetProp(u"szDirectXVersionEnglish", DiagValue::Text(kDirectXVersion));
    info.SetProp(u"szDirectXVersionLongEnglish", DiagValue::Text(kDirectXVersionLong));
    // The English and the localized texts are the same here.
    const std::pair<const char16_t*, std::string> localized[] = {
        {u"MachineName", machine.machineName}, {u"OS", machine.osName}, {u"OSEx", osEx},
        {u"OSExLong", osExLong}, {u"Languages", languages}, {u"PageFile", pageFile}, {u"Time", timeText}};
    for (const auto& [stem, value] : localized)
        info.SetProp(u"sz" + std::u16string(stem) + u"Localized", Text(value));
    for (const auto& [stem, value] : localized)
        info.SetProp(u"sz" + std::u16string(stem) + u"English", Text(value));
    static constexpr const char* kBitRanges[] = {"0_31", "32_63", "64_95", "96_127"};
    for (unsigned n = 0; n < machine.extendedCpuFunctions.size(); ++n)
        for (unsigned word = 0; word < 4; ++word)
            info.SetProp(win32::Utf8ToUtf16(Format("ExtendedCPUFunctionBitmasks_0x800000%02x_bits%s", 0x09 + n,
                                                   kBitRanges[word])),
                         DiagValue::UInt(machine.extendedCpuFunctions[n][word]));
}

}  // namespace

DiagNode BuildDisplayDevice(const AdapterFigures& adapter, DWORD index) {
    DiagNode device;
    const std::string memory =
        Format("%llu.0 MB", static_cast<unsigned long long>(adapter.memoryBytes / kMegabyte));
    const std::string mode =
        Format("%u x %u (%u bit) (%uHz)", adapter.width, adapter.height, adapter.bitsPerPixel, adapter.refreshRate);
    const std::string keyDeviceId = Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%02X", adapter.vendorId,
                                           adapter.deviceId, adapter.subSysId, adapter.revision);
    const auto set = [&device](const char16_t* name, DiagValue value) { device.SetProp(name, std::move(value)); };

    set(u"szDeviceName", Text(adapter.deviceName));
    set(u"szDescription", Text(adapter.description));
    set(u"szKeyDeviceID", Text(keyDeviceId));
    set(u"szKeyDeviceKey", Text(Format("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\lumisw\\Device%u", index)));
    set(u"szManufacturer", Text(VendorName(adapter.vendorId)));
    set(u"szChipType", Text(adapter.description));
    set(u"szDACType", DiagValue::Text(u"Internal"));
    set(u"szRevision", Text(Format("%u", adapter.revision)));
    set(u"szDisplayMemoryLocalized", Text(memory));
    set(u"szDisplayMemoryEnglish", Text(memory));
    set(u"szDisplayModeLocalized", Text(mode));
    set(u"szDisplayModeEnglish", Text(mode));
    set(u"dwWidth", DiagValue::UInt(adapter.width));
    set(u"dwHeight", DiagValue::UInt(adapter.height));
    set(u"dwBpp", DiagValue::UInt(adapter.bitsPerPixel));
    set(u"dwRefreshRate", DiagValue::UInt(adapter.refreshRate));
    set(u"szMonitorName", DiagValue::Text(u"Default Monitor"));
    set(u"szMonitorMaxRes", Text(Format("%u,%u", adapter.maxWidth, adapter.maxHeight)));
    set(u"szDriverName", Text(adapter.driver));
    set(u"szDriverVersion", Text(DriverVersionText(adapter.driverVersion)));
    set(u"szDriverAttributes", DiagValue::Text(u"Final Retail"));
    set(u"szDriverLanguageEnglish", DiagValue::Text(u"English"));
    set(u"szDriverLanguageLocalized", DiagValue::Text(u"English"));
    set(u"szDriverDateEnglish", DiagValue::Text(u"1/1/2020 00:00:00"));
    set(u"szDriverDateLocalized", DiagValue::Text(u"1/1/2020 00:00:00"));
    set(u"lDriverSize", DiagValue::Int(0));  // no driver file on this system
    set(u"szMiniVdd", DiagValue::Text(u"n/a"));
    set(u"szMiniVddDateLocalized", DiagValue::Text(u"n/a"));
    set(u"szMiniVddDateEnglish", DiagValue::Text(u"n/a"));
    set(u"lMiniVddSize", DiagValue::Int(0));
    set(u"szVdd", DiagValue::Text(u"n/a"));
    set(u"bCanRenderWindow", DiagValue::Bool(true));
    set(u"bDriverBeta", DiagValue::Bool(false));
    set(u"bDriverDebug", DiagValue::Bool(false));
    set(u"bDriverSigned", DiagValue::Bool(true));
    set(u"bDriverSignedValid", DiagValue::Bool(true));
    set(u"szDeviceIdentifier", Text(GuidText(adapter.deviceIdentifier)));
    set(u"szDriverSignDate", DiagValue::Text(u"n/a"));
    set(u"dwDDIVersion", DiagValue::UInt(9));
    set(u"szDDIVersionEnglish", DiagValue::Text(u"9"));
    set(u"szDDIVersionLocalized", DiagValue::Text(u"9"));
    set(u"iAdapter", DiagValue::UInt(index));
    set(u"szVendorId", Text(Format("0x%04X", adapter.vendorId)));
    set(u"szDeviceId", Text(Format("0x%04X", adapter.deviceId)));
    set(u"szSubSysId", Text(Format("0x%08X", adapter.subSysId)));
    set(u"szRevisionId", Text(Format("0x%04X", adapter.revision)));
    set(u"dwWHQLLevel", DiagValue::UInt(1));
    set(u"bNoHardware", DiagValue::Bool(false));
    for (const char16_t* flag : {u"bDDAccelerationEnabled", u"b3DAccelerationExists", u"b3DAccelerationEnabled",
                                 u"bAGPEnabled", u"bAGPExists", u"bAGPExistenceValid"})
        set(flag, DiagValue::Bool(true));
    set(u"szDXVAModes", DiagValue::Text(u""));
    for (const char16_t* status : {u"szDDStatusLocalized", u"szDDStatusEnglish", u"szD3DStatusLocalized",
                                   u"szD3DStatusEnglish", u"szAGPStatusLocalized", u"szAGPStatusEnglish"})
        set(status, DiagValue::Text(u"Enabled"));
    set(u"szNotesLocalized", DiagValue::Text(u"No problems found."));
    set(u"szNotesEnglish", DiagValue::Text(u"No problems found."));
    set(u"szRegHelpText", DiagValue::Text(u""));
    for (const char16_t* test : {u"szTestResultDDLocalized", u"szTestResultDDEnglish", u"szTestResultD3D7Localized",
                                 u"szTestResultD3D7English", u"szTestResultD3D8Localized", u"szTestResultD3D8English",
                                 u"szTestResultD3D9Localized", u"szTestResultD3D9English"})
        set(test, DiagValue::Text(u"Not run"));
    // A software adapter has no video-acceleration deinterlacers.
    device.Make(kDeinterlaceCaps);
    return device;
}

DiagNode BuildDefaultTree(const MachineFacts& machine, const std::vector<AdapterFigures>& adapters,
                          const std::string& timeText) {
    DiagNode root;
    AddSystemInfo(root.Make(kSystemInfo), machine, timeText);
    DiagNode& devices = root.Make(kDisplayDevices);
    for (DWORD index = 0; index < adapters.size(); ++index)
        devices.Make(win32::Utf8ToUtf16(std::to_string(index))) =
            BuildDisplayDevice(adapters[index], index);
    return root;
}

std::vector<AdapterFigures> ReadAdapterFigures() {
    std::vector<AdapterFigures> figures;
    const std::vector<d3d9ctl::AdapterConfig> adapters = d3d9ctl::Adapters();
    for (std::size_t index = 0; index < adapters.size(); ++index) {
        const d3d9ctl::AdapterConfig& config = adapters[index];
        AdapterFigures adapter;
        adapter.description = config.description;
        adapter.driver = config.driver;
        adapter.deviceName = config.deviceName;
        adapter.vendorId = config.vendorId;
        adapter.deviceId = config.deviceId;
        adapter.subSysId = config.subSysId;
        adapter.revision = config.revision;
        adapter.driverVersion = config.driverVersion;
        adapter.deviceIdentifier = config.deviceIdentifier;
        adapter.memoryBytes = config.textureMemoryBytes;
        if (index == 0) {
            const win32::DisplayMode mode = win32::CurrentDisplayMode();
            adapter.width = mode.width;
            adapter.height = mode.height;
            adapter.bitsPerPixel = mode.bitsPerPixel;
            adapter.refreshRate = mode.frequency;
        } else {
            adapter.width = config.desktop.Width;
            adapter.height = config.desktop.Height;
            adapter.bitsPerPixel = config.desktop.Format == D3DFMT_R5G6B5 ? 16 : 32;
            adapter.refreshRate = config.desktop.RefreshRate;
        }
        for (const D3DDISPLAYMODE& mode : config.modes) {
            adapter.maxWidth = std::max<DWORD>(adapter.maxWidth, mode.Width);
            adapter.maxHeight = std::max<DWORD>(adapter.maxHeight, mode.Height);
        }
        figures.push_back(adapter);
    }
    return figures;
}

std::string CurrentTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    static constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static constexpr const char* kMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                                              "August", "September", "October", "November", "December"};
    // Spelled out here rather than with strftime so the text does not follow the C locale.
    return Format("%s, %s %d, %d, %02d:%02d:%02d", kDays[local.tm_wday], kMonths[local.tm_mon], local.tm_mday,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace dxdiag
