// Fuzzes the image-file operations of IRenderer, which read files through D3DX: whether an
// image is transparent, its optimisation rectangle, its size, and saving a region of it
// (scaled when the first bytes ask). The first four bytes are the region and the size; the
// rest is written to a file of its own for each input (the renderer caches surfaces by path).
#include <cstdio>
#include <string>

#include "fuzz/renderer_fuzz.h"
#include "platform/win32/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size > (1u << 20)) return 0;
    static unsigned counter = 0;
    const std::string name = "image-ops-" + std::to_string(counter++);
    FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data + 4, 1, size - 4, file);
    std::fclose(file);
    const std::u16string path = win32::Utf8ToUtf16(name);

    CLumiscriber* renderer = lumi::fuzz::FuzzRenderer(1);
    renderer->IsImageTransparent(path.c_str());
    RECT box{};
    if (renderer->GetTexOptimizationRect(path.c_str(), &box))
        lumi::fuzz::Check(box.left <= box.right && box.top <= box.bottom);
    const STRU_IMAGE_FILE_SIZE imageSize = renderer->GetImageFileSize(path.c_str());
    lumi::fuzz::Check(imageSize.Width >= 0 && imageSize.Height >= 0);
    const RECT region{data[0] % 8, data[1] % 8, data[0] % 8 + 1 + data[2] % 16, data[1] % 8 + 1 + data[3] % 16};
    const SIZE scaled{1 + data[2] % 32, 1 + data[3] % 32};
    renderer->SaveImageRegion(path.c_str(), (data[0] & 0x80) ? &region : nullptr, u"image-ops-out.png",
                              (data[1] & 0x80) ? &scaled : nullptr);
    std::remove(name.c_str());
    return 0;
}
