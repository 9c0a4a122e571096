#pragma once
// Internal to the image library: the pieces of the sub-pixel sampler that the resizing
// loop reuses with weights computed once per column and row. Results are identical to
// CRaster::SampleInterpolated for the same position: the same weights, summed in the same
// order.
#include <algorithm>

#include "image/raster.h"

namespace lumi::image::detail {

// A weighting kernel and its neighbourhood: `taps` neighbours per axis starting at the
// integer part plus `first` (bilinear 2 from 0, 4x4 kernels 4 from -1, Lanczos 12 from -5).
struct KernelTaps {
    int taps;
    int first;
    float (*weight)(float);
};

inline constexpr int kMaxTaps = 12;

// Methods outside 1..18 become bilinear.
int NormalizeMethod(int method);
// The neighbourhood of a method 2..18 (bilinear: 2 taps from 0 and no weight function,
// its weights are its own); null for nearest and other values.
const KernelTaps* KernelOf(int method);

// Integer part as the sampler takes it: truncate, minus 1 for negative positions.
inline double SampleFloor(float v) {
    const double t = static_cast<double>(static_cast<long long>(v));
    return v < 0.0f ? t - 1.0 : t;
}

// True when every neighbour of integer part i lies outside 0 .. size - 1.
inline bool NeighbourhoodOutside(double i, double size, const KernelTaps& kernel) {
    return i + kernel.first + kernel.taps - 1 < 0.0 || i + kernel.first >= size;
}

// What an outside position yields under overflow methods 1..3 (and unknown ones).
RGBQUAD OverflowColor(const CRaster& image, int overflow, const RGBQUAD* replacement);

// Column weights wx[k] = weight(xi + first + k - x) divided by their sum, likewise wy.
void KernelWeights(const KernelTaps& kernel, LONG integerPart, float position, float* weights);

// Bilinear at (x, y) with integer parts (xi, yi): fixed point in 1/256 when the 2x2 block
// lies inside a 24-bit image, else float weights over CRaster::SamplePixel.
RGBQUAD SampleBilinear(const CRaster& image, float x, float y, LONG xi, LONG yi, int overflow,
                       const RGBQUAD* replacement);

// The weighted sum of the taps x taps neighbours from (xi + first, yi + first), rounded and
// clamped to 0..255; fourth byte only with an alpha plane.
RGBQUAD SampleKernel(const CRaster& image, LONG xi, LONG yi, const float* wx, const float* wy,
                     const KernelTaps& kernel, int overflow, const RGBQUAD* replacement);

// One axis of an averaging area: its edges and the pixels it touches (pixel p covers
// p - 0.5 .. p + 0.5).
struct AreaAxis {
    float low = 0.0f, high = 0.0f;
    double first = 0.0, last = 0.0;
    // How much of pixel p's unit span the area covers (0 or less: none).
    float Cover(LONG p) const { return std::min(high, p + 0.5f) - std::max(low, p - 0.5f); }
};

AreaAxis MakeAreaAxis(float centre, float size);
// Every touched pixel lies inside a 24-bit image: AverageInside may read the rows.
bool AreaInside(const CRaster& image, const AreaAxis& columns, const AreaAxis& rows);
// The area-weighted average of the touched pixels, as SampleArea gives it for areas larger
// than a pixel both ways.
RGBQUAD AverageInside(const CRaster& image, const AreaAxis& columns, const AreaAxis& rows);

}  // namespace lumi::image::detail
