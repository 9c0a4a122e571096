#pragma once
// Internal to the window stand-in: the window records and the registry that owns them,
// shared by window.cpp and window_png.cpp.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/window.h"

namespace win32::detail {

struct Window {
    std::u16string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    bool hasMenu = false;
    RECT windowRect{};  // screen coordinates
    std::vector<std::uint32_t> pixels;  // client pixels, 0xAARRGGBB, row-major
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::vector<WindowPosCall> posCalls;

    // Derives the frame from the current styles and resizes the pixels to the client size.
    void MeasureFrame();
    RECT ClientRect() const;
};

struct WindowRegistry {
    std::mutex mutex;  // guards everything below and every Window's fields
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uintptr_t nextId = 0x10000;
    std::uintptr_t foreground = 0;  // 0: none

    Window* Find(HWND handle);  // null for a handle that is not a live window; lock held
};

WindowRegistry& Windows();

}  // namespace win32::detail
