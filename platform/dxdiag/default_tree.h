#pragma once
// The data the provider hands out when no test changed them: the system information of
// this machine and one display device per software Direct3D 9 adapter, reporting a
// healthy accelerated machine (DirectDraw, Direct3D and AGP acceleration on).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dxdiag/diag_node.h"
#include "platform/dxdiag/machine_facts.h"
#include "platform/win32/win32_types.h"

namespace dxdiag {

struct AdapterFigures {
    std::string description;
    std::string driver;      // driver file name
    std::string deviceName;  // "\\.\DISPLAY1"
    DWORD vendorId = 0;
    DWORD deviceId = 0;
    DWORD subSysId = 0;
    DWORD revision = 0;
    std::int64_t driverVersion = 0;  // product.version.subversion.build, 16 bits each
    GUID deviceIdentifier{};
    std::uint64_t memoryBytes = 0;  // the device's texture-memory budget
    DWORD width = 0;                // current display mode
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    DWORD refreshRate = 0;  // Hz
    DWORD maxWidth = 0;     // largest mode offered
    DWORD maxHeight = 0;
};

// The software adapters as configured now (platform/d3d9/control.h); adapter 0 shows the
// virtual display's current mode.
std::vector<AdapterFigures> ReadAdapterFigures();

// Container names of the tree.
inline constexpr char16_t kSystemInfo[] = u"DxDiag_SystemInfo";
inline constexpr char16_t kDisplayDevices[] = u"DxDiag_DisplayDevices";
inline constexpr char16_t kDeinterlaceCaps[] = u"DXVADeinterlaceCaps";

// `timeText` is the report time as the "szTimeEnglish" property shows it.
DiagNode BuildDefaultTree(const MachineFacts& machine, const std::vector<AdapterFigures>& adapters,
                          const std::string& timeText);
// One display device's container (with an empty "DXVADeinterlaceCaps" child).
DiagNode BuildDisplayDevice(const AdapterFigures& adapter, DWORD index);

// "Monday, December 9, 2026, 04:41:52" for the local time now.
std::string CurrentTimeText();

}  // namespace dxdiag
