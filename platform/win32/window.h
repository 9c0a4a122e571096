#pragma once
// Windows as objects of ours: an HWND has a style, an extended style, a menu flag, window
// and client rectangles, visibility, and a 32-bit pixel buffer of its client size into which
// the software Direct3D device presents.
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
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

LONG GetWindowLongW(HWND window, int index);
LONG SetWindowLongW(HWND window, int index, LONG value);  // returns the previous value
HMENU GetMenu(HWND window);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL ShowWindow(HWND window, int command);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
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

// Creation for hosts and tests: a window whose client area is width x height at (x, y) of
// the screen, with the given styles (the menu flag adds a menu bar to the frame).
HWND CreateTestWindow(const std::u16string& title, int x, int y, int clientWidth, int clientHeight,
                      DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, DWORD exStyle = 0,
                      bool hasMenu = false);

// The window's client pixels, 32-bit 0xAARRGGBB, row-major from the top, client width x
// client height (resized with the client rectangle; new pixels are 0). Null for a bad handle.
std::uint32_t* WindowPixels(HWND window, int* width, int* height);

// Saves the client pixels as a PNG file (UTF-8 path). False on a bad handle or I/O failure.
bool SaveWindowPixelsPng(HWND window, const std::string& path);

// The SetWindowPos calls made on a window, for tests that check window placement.
struct WindowPosCall {
    HWND insertAfter;
    int x, y, cx, cy;
    UINT flags;
};
std::vector<WindowPosCall> WindowPosCalls(HWND window);

}  // namespace win32
