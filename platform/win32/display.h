#pragma once
// A virtual display: a list of modes, the current mode and the registry (desktop) mode,
// display-mode changes with scriptable results, the screen device context and the
// system metrics that window frames are built from.
//
// Defaults: 640x480, 800x600, 1024x768, 1280x720, 1280x1024, 1600x900, 1920x1080, each at
// 16 and 32 bits per pixel and 60 Hz; current and registry mode 1920x1080x32. All
// functions are thread-safe.
#include <vector>

#include "platform/win32/win32_types.h"

inline constexpr DWORD DM_BITSPERPEL = 0x00040000;
inline constexpr DWORD DM_PELSWIDTH = 0x00080000;
inline constexpr DWORD DM_PELSHEIGHT = 0x00100000;
inline constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;

inline constexpr DWORD ENUM_CURRENT_SETTINGS = static_cast<DWORD>(-1);
inline constexpr DWORD ENUM_REGISTRY_SETTINGS = static_cast<DWORD>(-2);

inline constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
inline constexpr LONG DISP_CHANGE_RESTART = 1;
inline constexpr LONG DISP_CHANGE_FAILED = -1;
inline constexpr LONG DISP_CHANGE_BADMODE = -2;
inline constexpr LONG DISP_CHANGE_BADFLAGS = -4;
inline constexpr LONG DISP_CHANGE_BADPARAM = -5;

inline constexpr DWORD CDS_UPDATEREGISTRY = 0x00000001;
inline constexpr DWORD CDS_TEST = 0x00000002;
inline constexpr DWORD CDS_FULLSCREEN = 0x00000004;

// The platform's display-mode record, 220 bytes with its field order; only the display
// fields are named, the printer and colour-management fields are kept as padding.
struct DEVMODEW {
    WCHAR dmDeviceName[32];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;  // must be sizeof(DEVMODEW)
    WORD dmDriverExtra;
    DWORD dmFields;  // DM_* bits saying which of the fields below are meaningful
    BYTE dmPrinterOrPosition[16];
    SHORT dmColor;
    SHORT dmDuplex;
    SHORT dmYResolution;
    SHORT dmTTOption;
    SHORT dmCollate;
    WCHAR dmFormName[32];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;  // Hz
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};
static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW keeps the platform's size");

// Modes of the primary display: index 0, 1, ... until FALSE, or ENUM_CURRENT_SETTINGS /
// ENUM_REGISTRY_SETTINGS. `device` must be null (the primary display). FALSE for a null
// record, a dmSize other than sizeof(DEVMODEW), another device or an index past the list.
BOOL EnumDisplaySettingsW(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode);

// Switches the current mode to the fields of `mode` that dmFields names (the others keep
// their current values); flags 0 or CDS_FULLSCREEN change it for the session,
// CDS_UPDATEREGISTRY also for the registry, CDS_TEST only checks. A null mode restores the
// registry mode. A mode not in the list gives DISP_CHANGE_BADMODE, unknown flags
// DISP_CHANGE_BADFLAGS, a bad dmSize DISP_CHANGE_BADPARAM. A scripted result other than
// DISP_CHANGE_SUCCESSFUL is returned without any change.
LONG ChangeDisplaySettingsW(DEVMODEW* mode, DWORD flags);

// The screen's device context (a window's DC is the screen's too). Null for a window
// handle that is not a live window. Each GetDC must be matched by ReleaseDC (1 released,
// 0 for a handle that is not out).
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

inline constexpr int HORZRES = 8;
inline constexpr int VERTRES = 10;
inline constexpr int BITSPIXEL = 12;
inline constexpr int PLANES = 14;
inline constexpr int VREFRESH = 116;
// Values of the current mode; 0 for a DC that is not out. Other indexes are not
// modelled and throw std::invalid_argument.
int GetDeviceCaps(HDC dc, int index);

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CYCAPTION = 4;
inline constexpr int SM_CXBORDER = 5;
inline constexpr int SM_CYBORDER = 6;
inline constexpr int SM_CXFIXEDFRAME = 7;  // also SM_CXDLGFRAME
inline constexpr int SM_CYFIXEDFRAME = 8;  // also SM_CYDLGFRAME
inline constexpr int SM_CYMENU = 15;
inline constexpr int SM_CXSIZEFRAME = 32;  // also SM_CXFRAME
inline constexpr int SM_CYSIZEFRAME = 33;  // also SM_CYFRAME
inline constexpr int SM_CXEDGE = 45;
inline constexpr int SM_CYEDGE = 46;
// Screen size of the current mode, and the frame metrics that AdjustWindowRectEx and the
// window model use (caption 23, menu 20, border 1, fixed frame 3, sizing frame 8, edge 2).
// Other indexes are not modelled and throw std::invalid_argument.
int GetSystemMetrics(int index);

namespace win32 {

struct DisplayMode {
    DWORD width;
    DWORD height;
    DWORD bitsPerPixel;
    DWORD frequency = 60;  // Hz
};

// Replaces the mode list (in enumeration order). The current and registry modes stay.
void SetDisplayModes(const std::vector<DisplayMode>& modes);
std::vector<DisplayMode> DisplayModes();

// Sets the current and the registry mode (the desktop); need not be in the list.
void SetCurrentDisplayMode(const DisplayMode& mode);
DisplayMode CurrentDisplayMode();
DisplayMode RegistryDisplayMode();

// The next calls of ChangeDisplaySettingsW (with or without a mode) return these results
// in order; unscripted calls behave normally.
void ScriptChangeDisplaySettingsResult(LONG result);

struct ChangeDisplaySettingsCall {
    bool hasMode;
    DEVMODEW mode;  // a copy of the record passed in (zeroed when null)
    DWORD flags;
    LONG result;
};
std::vector<ChangeDisplaySettingsCall> ChangeDisplaySettingsCalls();

// Device contexts handed out by GetDC and not yet released.
int OutstandingDeviceContexts();

// Back to the defaults above: modes, current and registry mode, no script, no recorded
// calls, no outstanding DCs.
void ResetDisplay();

// Called after ChangeDisplaySettingsW changed the current mode, outside every lock of this
// stand-in. One listener: the software Direct3D 9 registers itself.
using DisplayChangeListener = void (*)();
void SetDisplayChangeListener(DisplayChangeListener listener);

}  // namespace win32
