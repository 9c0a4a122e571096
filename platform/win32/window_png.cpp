// Saving a window's client pixels as PNG through libpng's simplified API.
#include <png.h>

#include <cstring>
#include <mutex>

#include "platform/win32/window_registry.h"

namespace win32 {

bool SaveWindowPixelsPng(HWND handle, const std::string& path) {
    if (path.empty()) return false;
    std::vector<png_byte> rgb;
    png_image image;
    std::memset(&image, 0, sizeof(image));
    {
        std::lock_guard<std::mutex> lock(detail::Windows().mutex);
        detail::Window* window = detail::Windows().Find(handle);
        if (window == nullptr || window->pixels.empty()) return false;
        image.width = static_cast<png_uint_32>(window->pixelWidth);
        image.height = static_cast<png_uint_32>(window->pixelHeight);
        rgb.reserve(window->pixels.size() * 3);
        for (std::uint32_t pixel : window->pixels) {
            rgb.push_back(static_cast<png_byte>(pixel >> 16));
            rgb.push_back(static_cast<png_byte>(pixel >> 8));
            rgb.push_back(static_cast<png_byte>(pixel));
        }
    }
    image.version = PNG_IMAGE_VERSION;
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return ok != 0;
}

}  // namespace win32
