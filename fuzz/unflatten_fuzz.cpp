// Fuzzes CRaster::Unflatten with raw bytes and with edits of valid flat forms, and checks
// that whatever it accepts is a consistent image that flattens back to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/raster.h"

namespace {

// A few valid flat forms to edit, so the fuzzer starts past the header checks.
std::vector<BYTE> BaseForm(unsigned choice) {
    static const DWORD kDepths[] = {1, 4, 8, 24};
    CRaster image(3 + choice % 5, 2 + choice % 3, kDepths[choice % 4], choice % 8);
    if (choice & 4) image.CreateAlpha();
    if (choice & 8) image.AddPixelToSelection(1, 1);
    if (choice & 16) {
        image.AddLayer();
        image.GetLayer(0)->Create(2, 2, 8, 0);
    }
    std::vector<BYTE> bytes(image.FlatSize());
    bytes.resize(image.Flatten(bytes.data(), bytes.size()));
    return bytes;
}

void Exercise(const CRaster& image) {
    // Reads everywhere, inside and around the picture (capped so big images stay quick).
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    unsigned long sum = 0;
    for (LONG y = -1; y <= h && y < 64; ++y)
        for (LONG x = -1; x <= w && x < 64; ++x) {
            const RGBQUAD c = image.GetPixelColor(x, y, true);
            sum += c.rgbBlue + image.IsTransparent(x, y) + image.GetAlphaAt(x, y) + image.IsSelected(x, y);
        }
    for (LONG i = 0; i < image.GetLayerCount(); ++i)
        if (const CRaster* layer = image.GetLayer(i)) Exercise(*layer);
    // Without a frame array the count is only the source file's, so stop at the first gap.
    for (LONG i = 0; i < image.GetFrameCount(); ++i) {
        const CRaster* frame = image.GetFrame(i);
        if (!frame) break;
        Exercise(*frame);
    }
    if (image.IsValid() && image.GetSize() != 40 + image.GetPaletteSize() + image.GetRowStride() * image.GetHeight())
        std::abort();
    (void)sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::vector<BYTE> input;
    if (data[0] & 1) {
        // Edit a valid form: each 3 input bytes are a 16-bit offset and a new byte; the
        // last edit's offset also truncates the form.
        input = BaseForm(data[1]);
        std::size_t cut = input.size();
        for (std::size_t i = 2; i + 2 < size; i += 3) {
            const std::size_t offset = (static_cast<std::size_t>(data[i]) | (data[i + 1] << 8)) % (input.size() + 1);
            if (offset < input.size()) input[offset] = data[i + 2];
            cut = offset;
        }
        if (data[0] & 2) input.resize(cut);
    } else {
        input.assign(data + 1, data + size);
    }

    CRaster image(2, 2, 8, 0);
    const std::size_t used = image.Unflatten(input.data(), input.size());
    if (used > input.size()) std::abort();
    if (!used) {
        // Refused data leaves the image as it was.
        if (image.GetWidth() != 2 || !image.IsValid()) std::abort();
        return 0;
    }
    Exercise(image);
    std::vector<BYTE> again(image.FlatSize());
    const std::size_t written = image.Flatten(again.data(), again.size());
    if (written != again.size()) std::abort();
    CRaster copy;
    if (copy.Unflatten(again.data(), again.size()) != written) std::abort();
    return 0;
}
