// Dithering to a black-and-white 1-bit image: error diffusion and ordered matrices.
#include <algorithm>
#include <array>
#include <vector>

#include "image/raster.h"
#include "image/raster_transform_support.h"

using lumi::image::detail::RowLoop;

namespace {

constexpr int kThreshold = 128;  // grey values up to this are black

struct Share {
    int dx, dy, weight;
};

struct Diffusion {
    int divisor;
    std::vector<Share> shares;
};

const Diffusion& DiffusionOf(int method) {
    static const Diffusion kFloydSteinberg{16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
    static const Diffusion kStucki{42, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                                        {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}};
    static const Diffusion kJarvis{48, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
                                        {2, 1, 3}, {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}};
    static const Diffusion kSierra{32, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4},
                                        {2, 1, 2}, {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}};
    static const Diffusion kBurkes{32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}};
    static const Diffusion kStevensonArce{
        200, {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
              {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}};
    switch (method) {
        case 2: return kStucki;
        case 3: return kJarvis;
        case 4: return kSierra;
        case 5: return kBurkes;
        case 6: return kStevensonArce;
        default: return kFloydSteinberg;
    }
}

constexpr int kOrdered4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The 16x16 ordered matrix: the bits of (x xor y) and y interleaved, highest first.
int Bayer16(LONG x, LONG y) {
    const int a = (x ^ y) & 15, b = y & 15;
    int v = 0;
    for (int bit = 3; bit >= 0; --bit) v = (v << 2) | (((a >> bit) & 1) << 1) | ((b >> bit) & 1);
    return v;
}

// Grey values of one row as ConvertToGray would give them.
class GrayRows {
public:
    explicit GrayRows(const CRaster& image) : image_(image) {
        for (DWORD i = 0; i < image.GetColorsUsed() && i < 256; ++i) grays_[i] = Gray(image.GetPaletteColor(static_cast<BYTE>(i)));
    }

    void Load(LONG y, std::vector<int>& row) const {
        const LONG w = static_cast<LONG>(image_.GetWidth());
        if (image_.IsIndexed()) {
            for (LONG x = 0; x < w; ++x) row[x] = grays_[image_.ReadPixelIndex(x, y)];
        } else {
            const BYTE* p = image_.GetBits(static_cast<DWORD>(y));
            for (LONG x = 0; x < w; ++x, p += 3) row[x] = Gray(RGBQUAD{p[0], p[1], p[2], 0});
        }
    }

private:
    static BYTE Gray(RGBQUAD c) { return static_cast<BYTE>((306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10); }

    const CRaster& image_;
    std::array<BYTE, 256> grays_{};
};

void DitherOrdered(const CRaster& image, CRaster& picture, int method, RowLoop& loop) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const GrayRows grays(image);
    std::vector<int> row(static_cast<std::size_t>(w));
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return;
        grays.Load(y, row);
        for (LONG x = 0; x < w; ++x) {
            const int threshold = method == 1 ? kOrdered4[y & 3][x & 3] * 16 + 8 : Bayer16(x, y) * 255 / 256;
            if (row[x] > threshold) picture.WritePixelIndex(x, y, 1);
        }
    }
    loop.Finish();
}

void DitherDiffused(const CRaster& image, CRaster& picture, const Diffusion& diffusion, RowLoop& loop) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const GrayRows grays(image);
    int depth = 0;
    for (const Share& s : diffusion.shares) depth = std::max(depth, s.dy);
    const LONG ringSize = depth + 1;
    // Rows y .. y + depth, each taking its shares before it is visited.
    std::vector<std::vector<int>> ring(static_cast<std::size_t>(ringSize), std::vector<int>(static_cast<std::size_t>(w)));
    for (LONG k = 0; k < ringSize && k < h; ++k) grays.Load(k, ring[static_cast<std::size_t>(k)]);
    for (LONG y = 0; y < h; ++y) {
        if (!loop.Next(y)) return;
        std::vector<int>& row = ring[static_cast<std::size_t>(y % ringSize)];
        for (LONG x = 0; x < w; ++x) {
            const int gray = row[x];
            const bool white = gray > kThreshold;
            const int error = white ? gray - 255 : gray;
            if (white) picture.WritePixelIndex(x, y, 1);
            for (const Share& s : diffusion.shares) {
                const LONG nx = x + s.dx, ny = y + s.dy;
                if (nx < 0 || nx >= w || ny >= h) continue;
                int& target = ring[static_cast<std::size_t>(ny % ringSize)][static_cast<std::size_t>(nx)];
                target = std::clamp(target + error * s.weight / diffusion.divisor, 0, 255);
            }
        }
        if (y + ringSize < h) grays.Load(y + ringSize, row);
    }
    loop.Finish();
}

}  // namespace

bool CRaster::DitherToMono(int method) {
    if (!IsValid() || !CanReceive(nullptr)) return false;
    CRaster picture;
    if (!CreateLike(picture, GetWidth(), GetHeight(), 1)) return false;
    picture.SetPaletteColor(0, BYTE{0}, BYTE{0}, BYTE{0});
    picture.SetPaletteColor(1, BYTE{255}, BYTE{255}, BYTE{255});
    // Grey values have no meaning as indexes of a two-entry palette.
    picture.SetBackgroundIndex(-1);
    if (HasSelection() && !picture.CopySelectionFrom(*this)) return false;
    if (HasAlpha() && !picture.CopyAlphaFrom(*this)) return false;
    RowLoop loop(*this, GetHeight());
    if (method == 1 || method == 7)
        DitherOrdered(*this, picture, method, loop);
    else
        DitherDiffused(*this, picture, DiffusionOf(method), loop);
    return HandOver(picture, nullptr);
}
