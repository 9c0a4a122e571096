// QIShrink: the integer box shrink.
#include <vector>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

namespace {

struct ColumnSum {
    unsigned long long blue = 0, green = 0, red = 0, alpha = 0, count = 0;
};

}  // namespace

bool CRaster::QIShrink(LONG width, LONG height, CRaster* destination, bool force24) {
    if (!IsValid()) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    if (width > w || height > h) {
        SetLastError("QIShrink can't enlarge image");
        return false;
    }
    if (width == w && height == h) return CopyInto(destination);
    if (!CanReceive(destination)) return false;
    CRaster picture;
    // Zero or negative sizes end here with the creation's message.
    if (!CreateLike(picture, width > 0 ? static_cast<DWORD>(width) : 0u, height > 0 ? static_cast<DWORD>(height) : 0u,
                    force24 ? 24u : GetBpp()))
        return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;

    std::vector<ColumnSum> sums(static_cast<std::size_t>(width));
    LONG rowSum = 0, outRow = 0;
    RowLoop loop(*this, h);
    for (LONG y = 0; y < h && outRow < height; ++y) {
        if (!loop.Next(y)) break;
        LONG columnSum = 0, column = 0;
        for (LONG x = 0; x < w; ++x) {
            columnSum += width;
            if (columnSum > w) {
                columnSum -= w;
                if (column + 1 < width) ++column;
            }
            const RGBQUAD c = GetPixelColor(x, y, true);
            ColumnSum& s = sums[static_cast<std::size_t>(column)];
            s.blue += c.rgbBlue;
            s.green += c.rgbGreen;
            s.red += c.rgbRed;
            s.alpha += c.rgbReserved;
            ++s.count;
        }
        rowSum += height;
        if (rowSum >= h) {
            rowSum -= h;
            for (LONG i = 0; i < width; ++i) {
                ColumnSum& s = sums[static_cast<std::size_t>(i)];
                const unsigned long long n = s.count ? s.count : 1;
                const RGBQUAD c{static_cast<BYTE>(s.blue / n), static_cast<BYTE>(s.green / n),
                                static_cast<BYTE>(s.red / n), static_cast<BYTE>(s.alpha / n)};
                picture.WritePixelColor(i, outRow, c, withAlpha);
                s = ColumnSum{};
            }
            ++outRow;
        }
    }
    loop.Finish();
    return HandOver(picture, destination);
}
