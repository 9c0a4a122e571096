#pragma once
// Windows as objects of ours: an HWND has a style, an extended style, a menu flag, window
// and client rectangles, visibility, and a 32-bit pixel buffer of its client size into which
// the software Direct3D device presents.
//
// The frame around the client area follows the system metrics of display.h: a sizing frame
// (WS_THICKFRAME) of 8, else a fixed frame (WS_DLGFRAME, so WS_CAPTION too) of 3, else a
// border (WS_BORDER) of 1, plus 2 for WS_EX_CLIENTEDGE; above the client area also the
// caption (23, with the whole of WS_CAPTION) and the menu bar (20). As on the platform, a
// window measures its frame again when its size changes or SetWindowPos gets
// SWP_FRAMECHANGED, not when SetWindowLongW changes the style. Window sizes are clamped to
// 0..8192.
//
// Handles are never reused, so IsWindow and every function here are safe on destroyed or
// foreign handles (they fail with FALSE, 0 or null). All functions are thread-safe.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

// Window styles and the other constants the library uses, with the platform's values.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_MAXIMIZE = 0x01000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_DLGFRAME = 0x00400000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;
inline constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
inline constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;

inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;

inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr UINT SWP_FRAMECHANGED = 0x0020;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;
inline constexpr UINT SWP_HIDEWINDOW = 0x0080;
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// GWL_STYLE and GWL_EXSTYLE; other valid indexes are not modelled and throw
// std::invalid_argument, unknown ones give 0. WS_VISIBLE in the style is the visibility.
LONG GetWindowLongW(HWND window, int index);
LONG SetWindowLongW(HWND window, int index, LONG value);  // returns the previous value
HMENU GetMenu(HWND window);  // non-null when the window has a menu bar
// Grows a client rectangle to the window rectangle for the given styles and menu flag.
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
// Moves and sizes unless SWP_NOMOVE / SWP_NOSIZE; HWND_TOPMOST / HWND_NOTOPMOST set the
// WS_EX_TOPMOST bit unless SWP_NOZORDER; SWP_SHOWWINDOW / SWP_HIDEWINDOW set visibility.
// Every call on a live window is recorded (WindowPosCalls).
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND window, RECT* rect);  // screen coordinates
BOOL GetClientRect(HWND window, RECT* rect);  // (0, 0, client width, client height)
// SW_HIDE, SW_SHOW, SW_SHOWNORMAL, SW_RESTORE, SW_MINIMIZE (minimising keeps the geometry);
// returns whether the window was visible before. Other commands throw std::invalid_argument.
BOOL ShowWindow(HWND window, int command);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
// The window the user works with: null until one is brought forward (a host activating its
// window, or a full-screen Direct3D device taking its focus window). Destroying it leaves none.
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND window);  // FALSE for a handle that is not a live window
BOOL IsIconic(HWND window);
BOOL DestroyWindow(HWND window);

// Rectangle helpers.
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(RECT* rect);
BOOL IsRectEmpty(const RECT* rect);
BOOL UnionRect(RECT* dest, const RECT* a, const RECT* b);
BOOL IntersectRect(RECT* dest, const RECT* a, const RECT* b);
BOOL OffsetRect(RECT* rect, int dx, int dy);
BOOL PtInRect(const RECT* rect, POINT point);
BOOL EqualRect(const RECT* a, const RECT* b);

namespace win32 {

// Creation for hosts and tests: a window whose client area is width x height with its
// top-left corner at (x, y) of the screen; the frame for the given styles and menu flag
// lies around it. Released by DestroyWindow or DestroyAllWindows.
HWND CreateTestWindow(const std::u16string& title, int x, int y, int clientWidth, int clientHeight,
                      DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, DWORD exStyle = 0,
                      bool hasMenu = false);

// The window's client pixels, 32-bit 0xAARRGGBB, row-major from the top, client width x
// client height (resized with the client rectangle, keeping the overlapping pixels; new
// pixels are 0). The pointer stays valid until the client size changes, the pixels are
// exchanged (ExchangeWindowPixels: a device presenting by flipping) or the window is
// destroyed; ask again after each frame. Null (and sizes 0) for a bad handle or an empty
// client area.
std::uint32_t* WindowPixels(HWND window, int* width, int* height);

// For a device that presents by flipping: the window shows `pixels` (of the client's size,
// as WindowPixels lays them out) and `pixels` gets what it showed. False, nothing exchanged,
// for a bad handle or pixels of another size.
bool ExchangeWindowPixels(HWND window, std::vector<std::uint32_t>& pixels);

// Saves the client pixels as an 8-bit RGB PNG file (UTF-8 path; alpha is dropped, as a
// screen shows no alpha). False on a bad handle, an empty client area or I/O failure.
bool SaveWindowPixelsPng(HWND window, const std::string& path);

// The SetWindowPos calls made on a window, for tests that check window placement.
struct WindowPosCall {
    HWND insertAfter;
    int x, y, cx, cy;
    UINT flags;
};
std::vector<WindowPosCall> WindowPosCalls(HWND window);  // empty for a bad handle

// Destroys every window (between tests).
void DestroyAllWindows();

// Called after the foreground window changes, with the new one (null for none), outside every
// lock of this stand-in. One listener: the software Direct3D 9 registers itself.
using ForegroundListener = void (*)(HWND foreground);
void SetForegroundListener(ForegroundListener listener);

}  // namespace win32
