// Windows: geometry, styles, visibility and the client pixel buffer.
#include "platform/win32/window.h"

#include <atomic>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/win32/display.h"
#include "platform/win32/window_registry.h"

namespace {

constexpr int kMaxWindowSize = 8192;

int ClampSize(int size) { return std::clamp(size, 0, kMaxWindowSize); }

// Frame thickness on each side for the given styles, from the system metrics.
RECT FrameInsets(DWORD style, bool menu, DWORD exStyle) {
    int frame = 0;
    if (style & WS_THICKFRAME) {
        frame = GetSystemMetrics(SM_CXSIZEFRAME);
    } else if (style & WS_DLGFRAME) {
        frame = GetSystemMetrics(SM_CXFIXEDFRAME);
    } else if (style & WS_BORDER) {
        frame = GetSystemMetrics(SM_CXBORDER);
    }
    if (exStyle & WS_EX_CLIENTEDGE) frame += GetSystemMetrics(SM_CXEDGE);
    int top = frame;
    if ((style & WS_CAPTION) == WS_CAPTION) top += GetSystemMetrics(SM_CYCAPTION);
    if (menu) top += GetSystemMetrics(SM_CYMENU);
    return RECT{frame, top, frame, frame};
}

}  // namespace

namespace win32::detail {

WindowRegistry& Windows() {
    static WindowRegistry registry;
    return registry;
}

Window* WindowRegistry::Find(HWND handle) {
    auto found = windows.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == windows.end() ? nullptr : found->second.get();
}

void Window::MeasureFrame() {
    const RECT insets = FrameInsets(style, hasMenu, exStyle);
    const int clientWidth = std::max(0, (windowRect.right - windowRect.left) - insets.left - insets.right);
    const int clientHeight = std::max(0, (windowRect.bottom - windowRect.top) - insets.top - insets.bottom);
    if (clientWidth == pixelWidth && clientHeight == pixelHeight) return;
    std::vector<std::uint32_t> resized(static_cast<std::size_t>(clientWidth) * static_cast<std::size_t>(clientHeight), 0);
    const int keepWidth = std::min(clientWidth, pixelWidth);
    const int keepHeight = std::min(clientHeight, pixelHeight);
    for (int y = 0; y < keepHeight; ++y) {
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(y) * pixelWidth, keepWidth,
                    resized.begin() + static_cast<std::ptrdiff_t>(y) * clientWidth);
    }
    pixels = std::move(resized);
    pixelWidth = clientWidth;
    pixelHeight = clientHeight;
}

RECT Window::ClientRect() const { return RECT{0, 0, pixelWidth, pixelHeight}; }

}  // namespace win32::detail

using win32::detail::Window;
using win32::detail::Windows;

LONG GetWindowLongW(HWND handle, int index) {
    if (index == -4 || index == -6 || index == -8 || index == -12 || index == -21)
        throw std::invalid_argument("GetWindowLongW: index " + std::to_string(index) + " is not modelled");
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return 0;
    if (index == GWL_STYLE) return static_cast<LONG>(window->style);
    if (index == GWL_EXSTYLE) return static_cast<LONG>(window->exStyle);
    return 0;
}

LONG SetWindowLongW(HWND handle, int index, LONG value) {
    if (index == -4 || index == -6 || index == -8 || index == -12 || index == -21)
        throw std::invalid_argument("SetWindowLongW: index " + std::to_string(index) + " is not modelled");
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return 0;
    DWORD* field = index == GWL_STYLE ? &window->style : index == GWL_EXSTYLE ? &window->exStyle : nullptr;
    if (field == nullptr) return 0;
    const LONG previous = static_cast<LONG>(*field);
    *field = static_cast<DWORD>(value);
    return previous;
}

HMENU GetMenu(HWND handle) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr || !window->hasMenu) return nullptr;
    return reinterpret_cast<HMENU>(reinterpret_cast<std::uintptr_t>(handle) + 8);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (rect == nullptr) return FALSE;
    const RECT insets = FrameInsets(style, menu != FALSE, exStyle);
    rect->left -= insets.left;
    rect->top -= insets.top;
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return FALSE;
    window->posCalls.push_back({insertAfter, x, y, cx, cy, flags});
    RECT& r = window->windowRect;
    const int oldWidth = r.right - r.left;
    const int oldHeight = r.bottom - r.top;
    int width = oldWidth;
    int height = oldHeight;
    if (!(flags & SWP_NOSIZE)) {
        width = ClampSize(cx);
        height = ClampSize(cy);
    }
    if (!(flags & SWP_NOMOVE)) {
        r.left = x;
        r.top = y;
    }
    r.right = r.left + width;
    r.bottom = r.top + height;
    if (!(flags & SWP_NOZORDER)) {
        if (insertAfter == HWND_TOPMOST) window->exStyle |= WS_EX_TOPMOST;
        if (insertAfter == HWND_NOTOPMOST) window->exStyle &= ~WS_EX_TOPMOST;
    }
    if (flags & SWP_SHOWWINDOW) window->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) window->style &= ~WS_VISIBLE;
    if (width != oldWidth || height != oldHeight || (flags & SWP_FRAMECHANGED)) window->MeasureFrame();
    return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect) {
    if (rect == nullptr) return FALSE;
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return FALSE;
    *rect = window->windowRect;
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
    if (rect == nullptr) return FALSE;
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return FALSE;
    *rect = window->ClientRect();
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
    if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW && command != SW_MINIMIZE &&
        command != SW_RESTORE)
        throw std::invalid_argument("ShowWindow: command " + std::to_string(command) + " is not modelled");
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr) return FALSE;
    const BOOL wasVisible = (window->style & WS_VISIBLE) ? TRUE : FALSE;
    switch (command) {
        case SW_HIDE: window->style &= ~WS_VISIBLE; break;
        case SW_MINIMIZE: window->style |= WS_VISIBLE | WS_MINIMIZE; break;
        case SW_SHOW: window->style |= WS_VISIBLE; break;
        default: window->style = (window->style | WS_VISIBLE) & ~WS_MINIMIZE; break;  // normal, restore
    }
    return wasVisible;
}

BOOL IsWindow(HWND handle) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    return Windows().Find(handle) != nullptr ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND handle) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    return window != nullptr && (window->style & WS_VISIBLE) ? TRUE : FALSE;
}

BOOL IsIconic(HWND handle) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    return window != nullptr && (window->style & WS_MINIMIZE) ? TRUE : FALSE;
}

namespace {

std::atomic<win32::ForegroundListener> g_foregroundListener{nullptr};

void TellForeground(HWND foreground) {
    if (win32::ForegroundListener listener = g_foregroundListener.load()) listener(foreground);
}

}  // namespace

BOOL DestroyWindow(HWND handle) {
    bool wasForeground = false;
    {
        std::lock_guard<std::mutex> lock(Windows().mutex);
        const auto id = reinterpret_cast<std::uintptr_t>(handle);
        if (Windows().windows.erase(id) != 1) return FALSE;
        wasForeground = Windows().foreground == id;
        if (wasForeground) Windows().foreground = 0;
    }
    if (wasForeground) TellForeground(nullptr);
    return TRUE;
}

HWND GetForegroundWindow() {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    return reinterpret_cast<HWND>(Windows().foreground);
}

BOOL SetForegroundWindow(HWND handle) {
    {
        std::lock_guard<std::mutex> lock(Windows().mutex);
        if (Windows().Find(handle) == nullptr) return FALSE;
        const auto id = reinterpret_cast<std::uintptr_t>(handle);
        if (Windows().foreground == id) return TRUE;
        Windows().foreground = id;
    }
    TellForeground(handle);
    return TRUE;
}

namespace win32 {

HWND CreateTestWindow(const std::u16string& title, int x, int y, int clientWidth, int clientHeight, DWORD style,
                      DWORD exStyle, bool hasMenu) {
    auto window = std::make_unique<Window>();
    window->title = title;
    window->style = style;
    window->exStyle = exStyle;
    window->hasMenu = hasMenu;
    RECT rect{x, y, x + ClampSize(clientWidth), y + ClampSize(clientHeight)};
    AdjustWindowRectEx(&rect, style, hasMenu ? TRUE : FALSE, exStyle);
    rect.right = rect.left + ClampSize(rect.right - rect.left);
    rect.bottom = rect.top + ClampSize(rect.bottom - rect.top);
    window->windowRect = rect;
    window->MeasureFrame();

    std::lock_guard<std::mutex> lock(Windows().mutex);
    // Handles step by 16 and are never reused: a stale handle can never name a newer window.
    const std::uintptr_t id = Windows().nextId;
    Windows().nextId += 16;
    Windows().windows.emplace(id, std::move(window));
    return reinterpret_cast<HWND>(id);
}

std::uint32_t* WindowPixels(HWND handle, int* width, int* height) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    const bool usable = window != nullptr && !window->pixels.empty();
    if (width != nullptr) *width = usable ? window->pixelWidth : 0;
    if (height != nullptr) *height = usable ? window->pixelHeight : 0;
    return usable ? window->pixels.data() : nullptr;
}

bool ExchangeWindowPixels(HWND handle, std::vector<std::uint32_t>& pixels) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    if (window == nullptr || window->pixels.empty() || window->pixels.size() != pixels.size()) return false;
    window->pixels.swap(pixels);
    return true;
}

std::vector<WindowPosCall> WindowPosCalls(HWND handle) {
    std::lock_guard<std::mutex> lock(Windows().mutex);
    Window* window = Windows().Find(handle);
    return window == nullptr ? std::vector<WindowPosCall>{} : window->posCalls;
}

void DestroyAllWindows() {
    bool hadForeground = false;
    {
        std::lock_guard<std::mutex> lock(Windows().mutex);
        Windows().windows.clear();
        hadForeground = Windows().foreground != 0;
        Windows().foreground = 0;
    }
    if (hadForeground) TellForeground(nullptr);
}

void SetForegroundListener(ForegroundListener listener) { g_foregroundListener.store(listener); }

}  // namespace win32
