// Resizing: the fast in-place Resample and ResampleInterpolated through the sampler.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "image/raster_resample_sampler.h"
#include "image/raster_transform_support.h"

namespace detail = lumi::image::detail;

namespace {

using detail::RowLoop;

// Source pixels covering one output column (or row) of an area-averaging shrink, with
// their covered widths in thousandths of a pixel.
struct Coverage {
    LONG first = 0;
    std::vector<int> weights;
};

std::vector<Coverage> AreaCoverage(LONG oldSize, LONG newSize) {
    const double scale = static_cast<double>(oldSize) / newSize;
    std::vector<Coverage> spans(static_cast<std::size_t>(newSize));
    for (LONG i = 0; i < newSize; ++i) {
        const double from = i * scale, to = std::min((i + 1) * scale, static_cast<double>(oldSize));
        const LONG first = std::min(static_cast<LONG>(from), oldSize - 1);
        const LONG last = std::clamp(static_cast<LONG>(std::ceil(to)) - 1, first, oldSize - 1);
        Coverage& span = spans[static_cast<std::size_t>(i)];
        span.first = first;
        for (LONG p = first; p <= last; ++p) {
            const double covered = std::min<double>(p + 1, to) - std::max<double>(p, from);
            span.weights.push_back(std::max(0, static_cast<int>(covered * 1000.0 + 0.5)));
        }
    }
    return spans;
}

BYTE RoundedQuotient(unsigned long long sum, unsigned long long total) {
    return static_cast<BYTE>(std::min<unsigned long long>(255, (sum + total / 2) / total));
}

void ShrinkByArea(CRaster& image, CRaster& picture, LONG newW, LONG newH) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const std::vector<Coverage> columns = AreaCoverage(w, newW), rows = AreaCoverage(h, newH);
    RowLoop loop(image, newH);
    for (LONG j = 0; j < newH; ++j) {
        if (!loop.Next(j)) return;
        const Coverage& row = rows[static_cast<std::size_t>(j)];
        BYTE* out = picture.GetBits(static_cast<DWORD>(j));
        for (LONG i = 0; i < newW; ++i) {
            const Coverage& column = columns[static_cast<std::size_t>(i)];
            unsigned long long sum[3] = {0, 0, 0}, total = 0;
            for (std::size_t v = 0; v < row.weights.size(); ++v) {
                const BYTE* p = image.GetBits(static_cast<DWORD>(row.first + static_cast<LONG>(v))) +
                                static_cast<std::size_t>(column.first) * 3;
                for (std::size_t u = 0; u < column.weights.size(); ++u, p += 3) {
                    const unsigned long long wgt =
                        static_cast<unsigned long long>(row.weights[v]) * static_cast<unsigned>(column.weights[u]);
                    sum[0] += wgt * p[0];
                    sum[1] += wgt * p[1];
                    sum[2] += wgt * p[2];
                    total += wgt;
                }
            }
            if (total == 0) total = 1;
            out[i * 3] = RoundedQuotient(sum[0], total);
            out[i * 3 + 1] = RoundedQuotient(sum[1], total);
            out[i * 3 + 2] = RoundedQuotient(sum[2], total);
        }
    }
    loop.Finish();
}

void ResampleLinear(CRaster& image, CRaster& picture, LONG newW, LONG newH) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const double sx = static_cast<double>(w) / newW, sy = static_cast<double>(h) / newH;
    RowLoop loop(image, newH);
    for (LONG j = 0; j < newH; ++j) {
        if (!loop.Next(j)) return;
        const double fy = j * sy;
        const LONG y0 = std::min(static_cast<LONG>(fy), h - 1), y1 = std::min(y0 + 1, h - 1);
        const double dy = fy - y0;
        for (LONG i = 0; i < newW; ++i) {
            const double fx = i * sx;
            const LONG x0 = std::min(static_cast<LONG>(fx), w - 1), x1 = std::min(x0 + 1, w - 1);
            const double dx = fx - x0;
            const RGBQUAD c00 = image.GetPixelColor(x0, y0, false), c10 = image.GetPixelColor(x1, y0, false);
            const RGBQUAD c01 = image.GetPixelColor(x0, y1, false), c11 = image.GetPixelColor(x1, y1, false);
            auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) {
                const double v = (a * (1 - dx) + b * dx) * (1 - dy) + (c * (1 - dx) + d * dx) * dy;
                return static_cast<BYTE>(std::min(255.0, v + 0.5));
            };
            const RGBQUAD out{mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue),
                              mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen),
                              mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed), 0};
            picture.WritePixelColor(i, j, out, false);
        }
    }
    loop.Finish();
}

// The alpha of the source pixel at the truncated scaled position.
void ResampleAlphaNearest(const CRaster& image, CRaster& picture, LONG newW, LONG newH) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    const double sx = static_cast<double>(w) / newW, sy = static_cast<double>(h) / newH;
    for (LONG j = 0; j < newH; ++j) {
        const LONG y = std::min(static_cast<LONG>(j * sy), h - 1);
        for (LONG i = 0; i < newW; ++i)
            picture.SetAlphaAt(i, j, image.ReadAlphaAt(std::min(static_cast<LONG>(i * sx), w - 1), y));
    }
}

// Sample positions along one axis of ResampleInterpolated. A kernel's weights depend only
// on the column (or the row), so they are computed once per column and once per row; the
// sums stay exactly those of SampleInterpolated.
struct AxisSamples {
    std::vector<float> positions;
    std::vector<LONG> integerParts;
    std::vector<float> weights;  // taps per position
    std::vector<bool> outside;   // the neighbourhood misses the image: the general path
};

AxisSamples PrepareAxis(float scale, LONG count, LONG size, const detail::KernelTaps* kernel) {
    AxisSamples axis;
    axis.positions.resize(static_cast<std::size_t>(count));
    for (LONG i = 0; i < count; ++i)
        axis.positions[static_cast<std::size_t>(i)] = scale * (i + 0.5f) - 0.5f;
    if (!kernel) return axis;
    axis.integerParts.resize(axis.positions.size());
    axis.outside.resize(axis.positions.size());
    axis.weights.resize(axis.positions.size() * static_cast<std::size_t>(kernel->taps));
    for (std::size_t i = 0; i < axis.positions.size(); ++i) {
        const double part = detail::SampleFloor(axis.positions[i]);
        axis.outside[i] = detail::NeighbourhoodOutside(part, size, *kernel);
        axis.integerParts[i] = static_cast<LONG>(part);
        if (!axis.outside[i] && kernel->weight)
            detail::KernelWeights(*kernel, axis.integerParts[i], axis.positions[i], &axis.weights[i * kernel->taps]);
    }
    return axis;
}

}  // namespace

bool CRaster::Resample(LONG width, LONG height) {
    if (!IsValid() || width <= 0 || height <= 0) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    if (width == w && height == h) return true;
    if (!CanReceive(nullptr)) return false;
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(width), static_cast<DWORD>(height), GetBpp())) return false;
    if (HasAlpha() && !picture.CreateAlpha()) return false;
    if (GetBpp() == 24 && width < w && height < h)
        ShrinkByArea(*this, picture, width, height);
    else
        ResampleLinear(*this, picture, width, height);
    if (HasAlpha()) ResampleAlphaNearest(*this, picture, width, height);
    return HandOver(picture, nullptr);
}

bool CRaster::ResampleInterpolated(LONG width, LONG height, int method, int overflow, CRaster* destination,
                                   bool noAveraging) {
    if (!IsValid() || width <= 0 || height <= 0) return false;
    const LONG w = static_cast<LONG>(GetWidth()), h = static_cast<LONG>(GetHeight());
    if (width == w && height == h) return CopyInto(destination);
    if (!CanReceive(destination)) return false;
    CRaster picture;
    if (!CreateLike(picture, static_cast<DWORD>(width), static_cast<DWORD>(height), GetBpp())) return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;

    const float scaleX = static_cast<float>(w) / static_cast<float>(width);
    const float scaleY = static_cast<float>(h) / static_cast<float>(height);
    const bool average = !noAveraging && !(scaleX <= 1.0f && scaleY <= 1.0f);
    const int normalized = detail::NormalizeMethod(method);
    const detail::KernelTaps* kernel = average ? nullptr : detail::KernelOf(normalized);
    const AxisSamples columns = PrepareAxis(scaleX, width, w, kernel);
    const AxisSamples rows = PrepareAxis(scaleY, height, h, kernel);
    // Areas larger than a pixel both ways: their extent per column and row, once.
    const bool wholePixels = average && scaleX > 1.0f && scaleY > 1.0f;
    std::vector<detail::AreaAxis> columnAreas, rowAreas;
    if (wholePixels) {
        for (float x : columns.positions) columnAreas.push_back(detail::MakeAreaAxis(x, scaleX));
        for (float y : rows.positions) rowAreas.push_back(detail::MakeAreaAxis(y, scaleY));
    }
    const bool palette = IsIndexed();

    RowLoop loop(*this, height);
    for (LONG j = 0; j < height; ++j) {
        if (!loop.Next(j)) break;
        const std::size_t row = static_cast<std::size_t>(j);
        const float ys = rows.positions[row];
        BYTE* out = picture.GetBits(static_cast<DWORD>(j));
        BYTE* outAlpha = withAlpha ? picture.GetAlphaPointer(0, j) : nullptr;
        for (LONG i = 0; i < width; ++i) {
            const std::size_t col = static_cast<std::size_t>(i);
            const float xs = columns.positions[col];
            RGBQUAD c;
            if (wholePixels && detail::AreaInside(*this, columnAreas[col], rowAreas[row])) {
                const detail::AreaAxis& across = columnAreas[col];
                const detail::AreaAxis& up = rowAreas[row];
                c = detail::AverageInside(*this, across, up);
            } else if (average)
                c = SampleArea(xs, ys, scaleX, scaleY, method, overflow);
            else if (kernel && !columns.outside[col] && !rows.outside[row] && !kernel->weight)
                c = detail::SampleBilinear(*this, xs, ys, columns.integerParts[col], rows.integerParts[row], overflow,
                                           nullptr);
            else if (kernel && !columns.outside[col] && !rows.outside[row])
                c = detail::SampleKernel(*this, columns.integerParts[col], rows.integerParts[row],
                                         &columns.weights[col * kernel->taps], &rows.weights[row * kernel->taps], *kernel,
                                         overflow, nullptr);
            else
                c = SampleInterpolated(xs, ys, method, overflow, nullptr);
            if (palette) {
                picture.WritePixelColor(i, j, c, withAlpha);
            } else {
                out[i * 3] = c.rgbBlue;
                out[i * 3 + 1] = c.rgbGreen;
                out[i * 3 + 2] = c.rgbRed;
                if (outAlpha) outAlpha[i] = c.rgbReserved;
            }
        }
    }
    loop.Finish();
    return HandOver(picture, destination);
}
