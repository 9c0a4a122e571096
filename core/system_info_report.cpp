#include "core/system_info_report.h"

#include <iterator>
#include <new>
#include <type_traits>
#include <variant>

#include "core/event_log.h"
#include "core/system_info_report_dxdiag.h"
#include "platform/tarnel/tarnel.h"

namespace {

// One report line: its format and the member it prints.
template <class Record>
struct Line {
    const char16_t* format;
    std::variant<std::u16string Record::*, DWORD Record::*, LONG Record::*, ULONGLONG Record::*>
        field;
};

template <class Record, std::size_t N>
void WriteLines(const Line<Record> (&table)[N], const Record& record) {
    for (const Line<Record>& line : table) {
        std::visit(
            [&](auto member) {
                const auto& value = record.*member;
                if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::u16string>) {
                    WriteLog(line.format, value.c_str());
                } else {
                    WriteLog(line.format, value);
                }
            },
            line.field);
    }
}

using SI = DxDiagSystemInfo;
const Line<SI> kSystemInfoLines[] = {
    {u"OSMajorVersion: %d", &SI::dwOSMajorVersion},
    {u"OSMinorVersion: %d", &SI::dwOSMinorVersion},
    {u"OSBuildNumber: %d", &SI::dwOSBuildNumber},
    {u"OSPlatformID: %d", &SI::dwOSPlatformID},
    {u"DirectXVersionMajor: %d", &SI::dwDirectXVersionMajor},
    {u"DirectXVersionMinor: %d", &SI::dwDirectXVersionMinor},
    {u"DirectXVersionLetter: %s", &SI::szDirectXVersionLetter},
    {u"Debug: %d", &SI::bDebug},
    {u"NECPC98: %d", &SI::bNECPC98},
    {u"PhysicalMemory: %I64u", &SI::ullPhysicalMemory},
    {u"UsedPageFile: %I64u", &SI::ullUsedPageFile},
    {u"AvailPageFile: %I64u", &SI::ullAvailPageFile},
    {u"NetMeetingRunning: %d", &SI::bNetMeetingRunning},
    {u"D3D8DebugRuntimeAvailable: %d", &SI::bIsD3D8DebugRuntimeAvailable},
    {u"D3DDebugRuntime: %d", &SI::bIsD3DDebugRuntime},
    {u"DInput8DebugRuntimeAvailable: %d", &SI::bIsDInput8DebugRuntimeAvailable},
    {u"DInput8DebugRuntime: %d", &SI::bIsDInput8DebugRuntime},
    {u"DMusicDebugRuntimeAvailable: %d", &SI::bIsDMusicDebugRuntimeAvailable},
    {u"DMusicDebugRuntime: %d", &SI::bIsDMusicDebugRuntime},
    {u"DDrawDebugRuntime: %d", &SI::bIsDDrawDebugRuntime},
    {u"DPlayDebugRuntime: %d", &SI::bIsDPlayDebugRuntime},
    {u"DSoundDebugRuntime: %d", &SI::bIsDSoundDebugRuntime},
    {u"D3DDebugLevel: %d", &SI::nD3DDebugLevel},
    {u"DDrawDebugLevel: %d", &SI::nDDrawDebugLevel},
    {u"DIDebugLevel: %d", &SI::nDIDebugLevel},
    {u"DMusicDebugLevel: %d", &SI::nDMusicDebugLevel},
    {u"DPlayDebugLevel: %d", &SI::nDPlayDebugLevel},
    {u"DSoundDebugLevel: %d", &SI::nDSoundDebugLevel},
    {u"DShowDebugLevel: %d", &SI::nDShowDebugLevel},
    {u"WindowsDir: %s", &SI::szWindowsDir},
    {u"BuildLab: %s", &SI::szBuildLab},
    {u"DxDiagVersion: %s", &SI::szDxDiagVersion},
    {u"SetupParam: %s", &SI::szSetupParamEnglish},
    {u"Processor: %s", &SI::szProcessorEnglish},
    {u"SystemManufacturer: %s", &SI::szSystemManufacturerEnglish},
    {u"SystemModel: %s", &SI::szSystemModelEnglish},
    {u"BIOS: %s", &SI::szBIOSEnglish},
    {u"PhysicalMemory: %s", &SI::szPhysicalMemoryEnglish},
    {u"CSDVersion: %s", &SI::szCSDVersion},
    {u"DirectXVersion: %s", &SI::szDirectXVersionEnglish},
    {u"DirectXVersionLong: %s", &SI::szDirectXVersionLongEnglish},
    {u"MachineName: %s", &SI::szMachineNameEnglish},
    {u"OS: %s", &SI::szOSEnglish},
    {u"OSEx: %s", &SI::szOSExEnglish},
    {u"OSExLong: %s", &SI::szOSExLongEnglish},
    {u"Languages: %s", &SI::szLanguagesEnglish},
    {u"PageFile: %s", &SI::szPageFileEnglish},
    {u"Time: %s", &SI::szTimeEnglish},
};

using DI = DxDiagDisplayInfo;
const Line<DI> kDisplayLines[] = {
    {u"DeviceName: %s", &DI::szDeviceName},
    {u"Description: %s", &DI::szDescription},
    {u"KeyDeviceID: %s", &DI::szKeyDeviceID},
    {u"KeyDeviceKey: %s", &DI::szKeyDeviceKey},
    {u"Manufacturer: %s", &DI::szManufacturer},
    {u"ChipType: %s", &DI::szChipType},
    {u"DACType: %s", &DI::szDACType},
    {u"Revision: %s", &DI::szRevision},
    {u"DisplayMemory: %s", &DI::szDisplayMemoryEnglish},
    {u"DisplayMode: %s", &DI::szDisplayModeEnglish},
    {u"Width: %d", &DI::dwWidth},
    {u"Height: %d", &DI::dwHeight},
    {u"Bpp: %d", &DI::dwBpp},
    {u"RefreshRate: %d", &DI::dwRefreshRate},
    {u"MonitorName: %s", &DI::szMonitorName},
    {u"MonitorMaxRes: %s", &DI::szMonitorMaxRes},
    {u"DriverName: %s", &DI::szDriverName},
    {u"DriverVersion: %s", &DI::szDriverVersion},
    {u"DriverAttributes: %s", &DI::szDriverAttributes},
    {u"DriverLanguage: %s", &DI::szDriverLanguageEnglish},
    {u"DriverDate: %s", &DI::szDriverDateEnglish},
    {u"DriverSize: %d", &DI::lDriverSize},
    {u"MiniVdd: %s", &DI::szMiniVdd},
    {u"MiniVddDate: %s", &DI::szMiniVddDateEnglish},
    {u"MiniVddSize: %d", &DI::lMiniVddSize},
    {u"Vdd: %s", &DI::szVdd},
    {u"CanRenderWindow: %d", &DI::bCanRenderWindow},
    {u"DriverBeta: %d", &DI::bDriverBeta},
    {u"DriverDebug: %d", &DI::bDriverDebug},
    {u"DriverSigned: %d", &DI::bDriverSigned},
    {u"DriverSignedValid: %d", &DI::bDriverSignedValid},
    {u"DDIVersion: %s", &DI::szDDIVersionEnglish},
    {u"Adapter: %d", &DI::iAdapter},
    {u"VendorId: %s", &DI::szVendorId},
    {u"DeviceId: %s", &DI::szDeviceId},
    {u"SubSysId: %s", &DI::szSubSysId},
    {u"RevisionId: %s", &DI::szRevisionId},
    {u"WHQLLevel: %d", &DI::dwWHQLLevel},
    {u"DeviceIdentifier: %s", &DI::szDeviceIdentifier},
    {u"DriverSignDate: %s", &DI::szDriverSignDate},
    {u"NoHardware: %d", &DI::bNoHardware},
    {u"DDAccelerationEnabled: %d", &DI::bDDAccelerationEnabled},
    {u"3DAccelerationExists: %d", &DI::b3DAccelerationExists},
    {u"3DAccelerationEnabled: %d", &DI::b3DAccelerationEnabled},
    {u"AGPEnabled: %d", &DI::bAGPEnabled},
    {u"AGPExists: %d", &DI::bAGPExists},
    {u"AGPExistenceValid: %d", &DI::bAGPExistenceValid},
    {u"DXVAModes: %s", &DI::szDXVAModes},
    {u"DDStatus: %s", &DI::szDDStatusEnglish},
    {u"D3DStatus: %s", &DI::szD3DStatusEnglish},
    {u"AGPStatus: %s", &DI::szAGPStatusEnglish},
};

constexpr char16_t kReportEnd[] =
    u"-------------------------------------------------------------------------------";
static_assert(std::size(kReportEnd) == 80, "79 dashes");

// At most one warning, judged on the first display device.
void WarnAboutAcceleration(const DxDiagDisplayInfo& display) {
    if (!display.bDDAccelerationEnabled) {
        Warning("%s", "没有检测到DirectDraw加速，请确认机器的DirectDraw 加速已启用，否则可能导致无法启动游戏。");
    } else if (display.b3DAccelerationExists && !display.b3DAccelerationEnabled) {
        Warning("%s", "未启用Direct3D加速，请确认机器的Direct3D 加速已启用，否则可能导致无法启动游戏。");
    } else if (display.b3DAccelerationExists && display.b3DAccelerationEnabled &&
               (!display.bAGPExists || !display.bAGPExistenceValid || !display.bAGPEnabled)) {
        Warning("未启用AGP 纹理加速，请确认机器的AGP 纹理加速，否则可能导致无法启动游戏或者影响游戏运行效率。\n"
                "AGPExists=%d, AGPExistenceValid=%d, AGPEnabled=%d",
                display.bAGPExists, display.bAGPExistenceValid, display.bAGPEnabled);
    }
}

}  // namespace

bool LogSystemInfo(SystemInfoRecords* records) {
    if (records == nullptr) return false;
    std::unique_ptr<CDxDiagInfo> info(new (std::nothrow) CDxDiagInfo);
    if (!info) {
        WriteLog(u"new CDxDiagInfo - out of memory.");
        return false;
    }
    if (FAILED(info->Init())) return false;  // the destructor cleans up

    // A second report on the same renderer replaces the first one's records.
    records->Clear();
    info->GetSystemInfo(&records->systemInfo);
    info->GetDisplayInfo(&records->displays);

    if (records->systemInfo) {
        WriteLines(kSystemInfoLines, *records->systemInfo);
    } else {
        WriteLog(u"Can NOT get system info.");
    }
    if (!records->displays.empty()) {
        for (std::size_t index = 0; index < records->displays.size(); ++index) {
            WriteLog(u"Display No: %d", static_cast<int>(index));
            WriteLog(u"----------------");
            WriteLines(kDisplayLines, *records->displays[index]);
        }
    } else {
        WriteLog(u"Can NOT get display info.");
    }
    WriteLog(kReportEnd);
    info.reset();

    if (!records->displays.empty()) WarnAboutAcceleration(*records->displays.front());
    return true;
}
