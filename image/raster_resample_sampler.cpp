// The sub-pixel sampler: edge handling, nearest, bilinear and the kernel methods, and the
// area average used when shrinking.
#include "image/raster_resample_sampler.h"

#include <algorithm>
#include <cmath>

#include "image/raster_resample_kernels.h"
#include "image/raster_transform_support.h"

namespace lumi::image::detail {

namespace {

constexpr RGBQUAD kWhite{255, 255, 255, 0};

// Areas touching more pixels than this are not averaged (the loop would run for hours);
// every area a resize asks for touches fewer, since images hold fewer pixels.
constexpr double kMaxAreaPixels = 4294967296.0;

float CubicParamHalf(float x) { return WeightCubicParam(x, -0.5f); }
float LanczosSix(float x) { return WeightLanczos(x, 6.0f); }
float PowerTwo(float x) { return WeightPower(x, 2.0f); }

// Indexed by method 3..18.
constexpr KernelTaps kKernels[] = {
    {4, -1, WeightBSpline},  {4, -1, WeightCubic},    {4, -1, CubicParamHalf}, {12, -5, LanczosSix},
    {4, -1, WeightBox},      {4, -1, WeightHermite},  {4, -1, WeightHamming},  {4, -1, WeightSinc},
    {4, -1, WeightBlackman}, {4, -1, WeightBessel},   {4, -1, WeightGaussian}, {4, -1, WeightQuadratic},
    {4, -1, WeightMitchell}, {4, -1, WeightCatmullRom}, {4, -1, WeightHanning}, {4, -1, PowerTwo},
};


// Rounded: weights that sum to one in float arithmetic may fall just short, and a flat
// picture must come back flat.
BYTE ClampChannel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<BYTE>(v + 0.5f);
}


// The neighbourhood lies inside and the pixels can be read straight from the rows.
bool DirectlyReadable(const CRaster& image, LONG xi, LONG yi, const KernelTaps& kernel) {
    const LONG w = static_cast<LONG>(image.GetWidth()), h = static_cast<LONG>(image.GetHeight());
    return !image.IsIndexed() && xi + kernel.first >= 0 && xi + kernel.first + kernel.taps - 1 < w &&
           yi + kernel.first >= 0 && yi + kernel.first + kernel.taps - 1 < h;
}

// Sums divided by the weights that went into them (the covered area, up to float error),
// rounded.
RGBQUAD AverageOf(const float sums[4], float weights) {
    if (!(weights > 0.0f)) return RGBQUAD{};
    return RGBQUAD{ClampChannel(sums[0] / weights), ClampChannel(sums[1] / weights), ClampChannel(sums[2] / weights),
                   ClampChannel(sums[3] / weights)};
}

}  // namespace

const KernelTaps kBilinear{2, 0, nullptr};

RGBQUAD SampleBilinear(const CRaster& image, float x, float y, LONG xi, LONG yi, int overflow,
                       const RGBQUAD* replacement) {
    const float dx = x - static_cast<float>(xi), dy = y - static_cast<float>(yi);
    const BYTE* alpha = image.GetAlphaPointer();
    if (DirectlyReadable(image, xi, yi, kBilinear)) {
        // Fixed point in 1/256: the weights sum to exactly 256.
        const int ex = static_cast<int>(dx * 256.0f), ey = static_cast<int>(dy * 256.0f);
        const int d = (ex * ey) >> 8;
        const int w00 = 256 - ex - ey + d, w10 = ex - d, w01 = ey - d, w11 = d;
        const BYTE* r0 = image.GetBits(static_cast<DWORD>(yi)) + static_cast<std::size_t>(xi) * 3;
        const BYTE* r1 = image.GetBits(static_cast<DWORD>(yi + 1)) + static_cast<std::size_t>(xi) * 3;
        RGBQUAD c;
        c.rgbBlue = static_cast<BYTE>((r0[0] * w00 + r0[3] * w10 + r1[0] * w01 + r1[3] * w11) >> 8);
        c.rgbGreen = static_cast<BYTE>((r0[1] * w00 + r0[4] * w10 + r1[1] * w01 + r1[4] * w11) >> 8);
        c.rgbRed = static_cast<BYTE>((r0[2] * w00 + r0[5] * w10 + r1[2] * w01 + r1[5] * w11) >> 8);
        c.rgbReserved = 0;
        if (alpha) {
            const std::size_t w = image.GetWidth();
            const BYTE* a0 = alpha + static_cast<std::size_t>(yi) * w + xi;
            const BYTE* a1 = a0 + w;
            c.rgbReserved = static_cast<BYTE>((a0[0] * w00 + a0[1] * w10 + a1[0] * w01 + a1[1] * w11) >> 8);
        }
        return c;
    }
    const RGBQUAD c00 = image.SamplePixel(xi, yi, overflow, replacement);
    const RGBQUAD c10 = image.SamplePixel(xi + 1, yi, overflow, replacement);
    const RGBQUAD c01 = image.SamplePixel(xi, yi + 1, overflow, replacement);
    const RGBQUAD c11 = image.SamplePixel(xi + 1, yi + 1, overflow, replacement);
    const float w00 = (1.0f - dx) * (1.0f - dy), w10 = dx * (1.0f - dy), w01 = dy * (1.0f - dx), w11 = dx * dy;
    auto mix = [&](BYTE a, BYTE b, BYTE c, BYTE d) { return ClampChannel(a * w00 + b * w10 + c * w01 + d * w11); };
    RGBQUAD c;
    c.rgbBlue = mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue);
    c.rgbGreen = mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen);
    c.rgbRed = mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed);
    c.rgbReserved = alpha ? mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved, c11.rgbReserved) : 0;
    return c;
}

int NormalizeMethod(int method) {
    return method >= kInterpolateNearest && method <= kInterpolatePower ? method : kInterpolateBilinear;
}

const KernelTaps* KernelOf(int method) {
    if (method == kInterpolateBilinear) return &kBilinear;
    if (method < kInterpolateBSpline || method > kInterpolatePower) return nullptr;
    return &kKernels[method - kInterpolateBSpline];
}

RGBQUAD OverflowColor(const CRaster& image, int overflow, const RGBQUAD* replacement) {
    RGBQUAD base = replacement ? *replacement : kWhite;
    switch (overflow) {
        case kOverflowBackground:
            return image.HasBackgroundIndex() ? image.GetTransparentColor() : base;
        case kOverflowTransparent:
            if (image.HasAlpha()) {
                base.rgbReserved = 0;
                return base;
            }
            return image.HasBackgroundIndex() ? image.GetTransparentColor() : base;
        default:
            return base;
    }
}

void KernelWeights(const KernelTaps& kernel, LONG integerPart, float position, float* weights) {
    float sum = 0.0f;
    for (int k = 0; k < kernel.taps; ++k) {
        weights[k] = kernel.weight(static_cast<float>(integerPart + kernel.first + k) - position);
        sum += weights[k];
    }
    // Most kernels do not sum to one over their taps (Blackman gives two at whole positions),
    // which would brighten or darken a flat picture; divided by their sum they keep it.
    if (sum > 0.0f)
        for (int k = 0; k < kernel.taps; ++k) weights[k] /= sum;
}

RGBQUAD SampleKernel(const CRaster& image, LONG xi, LONG yi, const float* wx, const float* wy,
                     const KernelTaps& kernel, int overflow, const RGBQUAD* replacement) {
    const BYTE* alpha = image.GetAlphaPointer();
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const LONG x0 = xi + kernel.first, y0 = yi + kernel.first;
    if (DirectlyReadable(image, xi, yi, kernel)) {
        const std::size_t width = image.GetWidth(), stride = image.GetRowStride();
        const BYTE* bits = image.GetBits();
        for (int j = 0; j < kernel.taps; ++j) {
            const BYTE* p = bits + static_cast<std::size_t>(y0 + j) * stride + static_cast<std::size_t>(x0) * 3;
            const BYTE* a = alpha ? alpha + static_cast<std::size_t>(y0 + j) * width + x0 : nullptr;
            for (int i = 0; i < kernel.taps; ++i, p += 3) {
                const float w = wy[j] * wx[i];
                sum[0] += w * p[0];
                sum[1] += w * p[1];
                sum[2] += w * p[2];
                if (a) sum[3] += w * a[i];
            }
        }
    } else {
        for (int j = 0; j < kernel.taps; ++j)
            for (int i = 0; i < kernel.taps; ++i) {
                const float w = wy[j] * wx[i];
                const RGBQUAD c = image.SamplePixel(x0 + i, y0 + j, overflow, replacement);
                sum[0] += w * c.rgbBlue;
                sum[1] += w * c.rgbGreen;
                sum[2] += w * c.rgbRed;
                if (alpha) sum[3] += w * c.rgbReserved;
            }
    }
    return RGBQUAD{ClampChannel(sum[0]), ClampChannel(sum[1]), ClampChannel(sum[2]),
                   alpha ? ClampChannel(sum[3]) : BYTE{0}};
}

AreaAxis MakeAreaAxis(float centre, float size) {
    AreaAxis axis;
    axis.low = centre - size / 2;
    axis.high = centre + size / 2;
    // Pixel p covers [p - 0.5, p + 0.5]: whole-number positions are pixel centres.
    axis.first = std::floor(static_cast<double>(axis.low) + 0.5);
    axis.last = std::ceil(static_cast<double>(axis.high) - 0.5);
    return axis;
}

bool AreaInside(const CRaster& image, const AreaAxis& columns, const AreaAxis& rows) {
    return !image.IsIndexed() && image.IsValid() && columns.first >= 0 && rows.first >= 0 &&
           columns.last < image.GetWidth() && rows.last < image.GetHeight();
}

RGBQUAD AverageInside(const CRaster& image, const AreaAxis& columns, const AreaAxis& rows) {
    // What SamplePixel gives inside a 24-bit image, read straight from the rows.
    const BYTE* bits = image.GetBits();
    const std::size_t stride = image.GetRowStride(), width = image.GetWidth();
    const BYTE* alpha = image.GetAlphaPointer();
    const BYTE fourth = image.GetBackgroundColor().rgbReserved;
    float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float total = 0.0f;
    for (LONG py = static_cast<LONG>(rows.first); py <= static_cast<LONG>(rows.last); ++py) {
        const float coverY = rows.Cover(py);
        if (!(coverY > 0.0f)) continue;
        const BYTE* row = bits + static_cast<std::size_t>(py) * stride;
        const BYTE* alphaRow = alpha ? alpha + static_cast<std::size_t>(py) * width : nullptr;
        for (LONG px = static_cast<LONG>(columns.first); px <= static_cast<LONG>(columns.last); ++px) {
            const float coverX = columns.Cover(px);
            if (!(coverX > 0.0f)) continue;
            const float weight = coverY * coverX;
            const BYTE* p = row + static_cast<std::size_t>(px) * 3;
            sums[0] += weight * p[0];
            sums[1] += weight * p[1];
            sums[2] += weight * p[2];
            sums[3] += weight * (alphaRow ? alphaRow[px] : fourth);
            total += weight;
        }
    }
    return AverageOf(sums, total);
}

}  // namespace lumi::image::detail

namespace {
bool IsEdgeMethod(int overflow) { return overflow >= kOverflowWrap && overflow <= kOverflowMirror; }
}  // namespace

// ---- edges -------------------------------------------------------------------------

void CRaster::ResolveEdgeCoordinates(LONG& x, LONG& y, int overflow) const {
    if (!IsEdgeMethod(overflow) || !IsValid()) return;
    auto resolve = [overflow](LONG& c, long long size) {
        if (c >= 0 && c < size) return;
        const long long v = c;  // 64 bits: -c of the lowest LONG must not overflow
        long long r = v;
        switch (overflow) {
            case kOverflowWrap:
                r = v % size;
                if (r < 0) r += size;
                break;
            case kOverflowRepeat: r = std::clamp<long long>(v, 0, size - 1); break;
            default: r = v < 0 ? (-v) % size : size - (v % size) - 1; break;
        }
        c = static_cast<LONG>(r);
    };
    resolve(x, GetWidth());
    resolve(y, GetHeight());
}

void CRaster::ResolveEdgeCoordinates(float& x, float& y, int overflow) const {
    if (!IsEdgeMethod(overflow) || !IsValid()) return;
    auto resolve = [overflow](float& c, float size) {
        if (c >= 0.0f && c < size) return;
        switch (overflow) {
            case kOverflowWrap:
                c = std::fmod(c, size);
                if (c < 0.0f) c += size;
                break;
            case kOverflowRepeat: c = std::clamp(c, 0.0f, size - 1.0f); break;
            default: c = c < 0.0f ? std::fmod(-c, size) : size - (std::fmod(c, size) + 1.0f); break;
        }
    };
    resolve(x, static_cast<float>(GetWidth()));
    resolve(y, static_cast<float>(GetHeight()));
}

// ---- whole pixels and sub-pixel positions ---------------------------------------------

RGBQUAD CRaster::SamplePixel(LONG x, LONG y, int overflow, const RGBQUAD* replacement) const {
    if (!IsValid()) return lumi::image::detail::OverflowColor(*this, overflow, replacement);
    if (IsInside(x, y)) return GetPixelColor(x, y, true);
    if (!IsEdgeMethod(overflow)) return lumi::image::detail::OverflowColor(*this, overflow, replacement);
    ResolveEdgeCoordinates(x, y, overflow);
    return GetPixelColor(x, y, true);
}

RGBQUAD CRaster::SampleInterpolated(float x, float y, int method, int overflow, const RGBQUAD* replacement) const {
    using namespace lumi::image::detail;
    if (!std::isfinite(x) || !std::isfinite(y) || !IsValid()) return OverflowColor(*this, overflow, replacement);
    method = NormalizeMethod(method);
    if (method == kInterpolateNearest)
        return SamplePixel(TruncateCoordinate(x + 0.5f), TruncateCoordinate(y + 0.5f), overflow, replacement);

    const KernelTaps& kernel = *KernelOf(method);
    double xi = SampleFloor(x), yi = SampleFloor(y);
    if (NeighbourhoodOutside(xi, GetWidth(), kernel) || NeighbourhoodOutside(yi, GetHeight(), kernel)) {
        if (!IsEdgeMethod(overflow)) return OverflowColor(*this, overflow, replacement);
        ResolveEdgeCoordinates(x, y, overflow);
        xi = SampleFloor(x);
        yi = SampleFloor(y);
    }
    // Past this point the neighbourhood touches the image, so the parts fit a LONG.
    const LONG ix = static_cast<LONG>(xi), iy = static_cast<LONG>(yi);
    if (method == kInterpolateBilinear) return SampleBilinear(*this, x, y, ix, iy, overflow, replacement);
    float wx[kMaxTaps], wy[kMaxTaps];
    KernelWeights(kernel, ix, x, wx);
    KernelWeights(kernel, iy, y, wy);
    return SampleKernel(*this, ix, iy, wx, wy, kernel, overflow, replacement);
}

// ---- areas ------------------------------------------------------------------------------

RGBQUAD CRaster::SampleArea(float x, float y, float areaWidth, float areaHeight, int method, int overflow) const {
    using namespace lumi::image::detail;
    using lumi::image::AccumulateWeighted;
    if (areaWidth <= 1.0f && areaHeight <= 1.0f) return SampleInterpolated(x, y, method, overflow, nullptr);
    const AreaAxis columns = MakeAreaAxis(x, areaWidth), rows = MakeAreaAxis(y, areaHeight);
    // The rectangle of RectF2(left, bottom, right, top); Area is (top - bottom) * (right - left).
    const float total = (rows.high - rows.low) * (columns.high - columns.low);
    const double pixels = (columns.last - columns.first + 1.0) * (rows.last - rows.first + 1.0);
    if (!IsValid() || !(pixels >= 1.0) || pixels > kMaxAreaPixels || !(total > 0.0f))
        return OverflowColor(*this, overflow, nullptr);
    const bool wholePixels = areaWidth > 1.0f && areaHeight > 1.0f;
    if (wholePixels && AreaInside(*this, columns, rows)) return AverageInside(*this, columns, rows);

    float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float weights = 0.0f;
    for (LONG py = static_cast<LONG>(rows.first); py <= static_cast<LONG>(rows.last); ++py) {
        const float coverY = rows.Cover(py);
        if (!(coverY > 0.0f)) continue;
        for (LONG px = static_cast<LONG>(columns.first); px <= static_cast<LONG>(columns.last); ++px) {
            const float coverX = columns.Cover(px);
            if (!(coverX > 0.0f)) continue;
            // The covered part of the pixel's unit square (RectF2::Intersect, Area).
            const RGBQUAD c = wholePixels ? SamplePixel(px, py, overflow, nullptr)
                                          : SampleInterpolated(static_cast<float>(px), static_cast<float>(py),
                                                               method, overflow, nullptr);
            AccumulateWeighted(c, coverY * coverX, sums);
            weights += coverY * coverX;
        }
    }
    return AverageOf(sums, weights);
}
