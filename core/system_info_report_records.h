#pragma once
// The machine description the DirectX diagnostic provider gives: the system-information
// record and one record per display device. Members carry the provider's property names.
// Texts hold at most their property's buffer size minus one units (longer values are cut).
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

// One deinterlacing mode of a display device; gathered, never written.
struct DxDiagDeinterlaceCaps {
    std::u16string szD3DInputFormat;
    std::u16string szD3DOutputFormat;
    std::u16string szGuid;
    std::u16string szCaps;
    DWORD dwNumPreviousOutputFrames = 0;
    DWORD dwNumForwardRefSamples = 0;
    DWORD dwNumBackwardRefSamples = 0;
};

struct DxDiagSystemInfo {
    DWORD dwOSMajorVersion = 0;
    DWORD dwOSMinorVersion = 0;
    DWORD dwOSBuildNumber = 0;
    DWORD dwOSPlatformID = 0;
    DWORD dwDirectXVersionMajor = 0;
    DWORD dwDirectXVersionMinor = 0;
    std::u16string szDirectXVersionLetter;
    BOOL bDebug = 0;
    BOOL bNECPC98 = 0;
    ULONGLONG ullPhysicalMemory = 0;  // bytes
    ULONGLONG ullUsedPageFile = 0;
    ULONGLONG ullAvailPageFile = 0;
    BOOL bNetMeetingRunning = 0;
    BOOL bIsD3D8DebugRuntimeAvailable = 0;
    BOOL bIsD3DDebugRuntime = 0;
    BOOL bIsDInput8DebugRuntimeAvailable = 0;
    BOOL bIsDInput8DebugRuntime = 0;
    BOOL bIsDMusicDebugRuntimeAvailable = 0;
    BOOL bIsDMusicDebugRuntime = 0;
    BOOL bIsDDrawDebugRuntime = 0;
    BOOL bIsDPlayDebugRuntime = 0;
    BOOL bIsDSoundDebugRuntime = 0;
    LONG nD3DDebugLevel = 0;
    LONG nDDrawDebugLevel = 0;
    LONG nDIDebugLevel = 0;
    LONG nDMusicDebugLevel = 0;
    LONG nDPlayDebugLevel = 0;
    LONG nDSoundDebugLevel = 0;
    LONG nDShowDebugLevel = 0;
    std::u16string szWindowsDir;
    std::u16string szBuildLab;
    std::u16string szDxDiagVersion;
    std::u16string szSetupParamEnglish;
    std::u16string szProcessorEnglish;
    std::u16string szSystemManufacturerEnglish;
    std::u16string szSystemModelEnglish;
    std::u16string szBIOSEnglish;
    std::u16string szPhysicalMemoryEnglish;
    std::u16string szCSDVersion;
    std::u16string szDirectXVersionEnglish;
    std::u16string szDirectXVersionLongEnglish;
    std::u16string szMachineNameLocalized;
    std::u16string szOSLocalized;
    std::u16string szOSExLocalized;
    std::u16string szOSExLongLocalized;
    std::u16string szLanguagesLocalized;
    std::u16string szPageFileLocalized;
    std::u16string szTimeLocalized;
    std::u16string szMachineNameEnglish;
    std::u16string szOSEnglish;
    std::u16string szOSExEnglish;
    std::u16string szOSExLongEnglish;
    std::u16string szLanguagesEnglish;
    std::u16string szPageFileEnglish;
    std::u16string szTimeEnglish;
    // Extended processor function masks 0x80000009 to 0x80000018, bits 0-31 to 96-127.
    DWORD ExtendedCPUFunctionBitmasks[16][4] = {};
};

struct DxDiagDisplayInfo {
    std::u16string szDeviceName;
    std::u16string szDescription;
    std::u16string szKeyDeviceID;
    std::u16string szKeyDeviceKey;
    std::u16string szManufacturer;
    std::u16string szChipType;
    std::u16string szDACType;
    std::u16string szRevision;
    std::u16string szDisplayMemoryLocalized;
    std::u16string szDisplayMemoryEnglish;
    std::u16string szDisplayModeLocalized;
    std::u16string szDisplayModeEnglish;
    DWORD dwWidth = 0;
    DWORD dwHeight = 0;
    DWORD dwBpp = 0;
    DWORD dwRefreshRate = 0;
    std::u16string szMonitorName;
    std::u16string szMonitorMaxRes;
    std::u16string szDriverName;
    std::u16string szDriverVersion;
    std::u16string szDriverAttributes;
    std::u16string szDriverLanguageEnglish;
    std::u16string szDriverLanguageLocalized;
    std::u16string szDriverDateEnglish;
    std::u16string szDriverDateLocalized;
    LONG lDriverSize = 0;
    std::u16string szMiniVdd;
    std::u16string szMiniVddDateLocalized;
    std::u16string szMiniVddDateEnglish;
    LONG lMiniVddSize = 0;
    std::u16string szVdd;
    BOOL bCanRenderWindow = 0;
    BOOL bDriverBeta = 0;
    BOOL bDriverDebug = 0;
    BOOL bDriverSigned = 0;
    BOOL bDriverSignedValid = 0;
    std::u16string szDeviceIdentifier;
    std::u16string szDriverSignDate;
    DWORD dwDDIVersion = 0;
    std::u16string szDDIVersionEnglish;
    std::u16string szDDIVersionLocalized;
    DWORD iAdapter = 0;
    std::u16string szVendorId;
    std::u16string szDeviceId;
    std::u16string szSubSysId;
    std::u16string szRevisionId;
    DWORD dwWHQLLevel = 0;
    BOOL bNoHardware = 0;
    BOOL bDDAccelerationEnabled = 0;
    BOOL b3DAccelerationExists = 0;
    BOOL b3DAccelerationEnabled = 0;
    BOOL bAGPEnabled = 0;
    BOOL bAGPExists = 0;
    BOOL bAGPExistenceValid = 0;
    std::u16string szDXVAModes;
    std::u16string szDDStatusLocalized;
    std::u16string szDDStatusEnglish;
    std::u16string szD3DStatusLocalized;
    std::u16string szD3DStatusEnglish;
    std::u16string szAGPStatusLocalized;
    std::u16string szAGPStatusEnglish;
    std::u16string szNotesLocalized;
    std::u16string szNotesEnglish;
    std::u16string szRegHelpText;
    std::u16string szTestResultDDLocalized;
    std::u16string szTestResultDDEnglish;
    std::u16string szTestResultD3D7Localized;
    std::u16string szTestResultD3D7English;
    std::u16string szTestResultD3D8Localized;
    std::u16string szTestResultD3D8English;
    std::u16string szTestResultD3D9Localized;
    std::u16string szTestResultD3D9English;
    std::vector<DxDiagDeinterlaceCaps> deinterlaceCaps;
};

// What a report gathered; the renderer keeps it until it is destroyed.
struct SystemInfoRecords {
    std::unique_ptr<DxDiagSystemInfo> systemInfo;
    std::vector<std::unique_ptr<DxDiagDisplayInfo>> displays;

    void Clear() {
        systemInfo.reset();
        displays.clear();
    }
};
