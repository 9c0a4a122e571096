#pragma once
// Internal to the image library: the pieces of the sub-pixel sampler that the resizing
// loop reuses with weights computed once per column and row. Results are identical to
// SampleInterpolated for the same position: the same weights, summed in the same order.
#include "image/raster.h"

namespace lumi::image::detail {

// A weighting kernel and its neighbourhood: `taps` neighbours per axis starting at the
// integer part plus `first` (bilinear 2 from 0, 4x4 kernels 4 from -1, Lanczos 12 from -5).
struct KernelSpec {
    int taps;
    int first;
    float (*weight)(float);
};

inline constexpr int kMaxTaps = 12;

// Methods outside 1..18 become bilinear.
int NormalizeMethod(int method);
// The kernel of a method 3..18; null for nearest and bilinear.
const KernelSpec* KernelOf(int method);

// Integer part as the sampler takes it: truncate, minus 1 for negative positions.
inline double SampleFloor(float v) {
    const double t = static_cast<double>(static_cast<long long>(v));
    return v < 0.0f ? t - 1.0 : t;
}

// True when every neighbour of integer part i lies outside 0 .. size - 1.
inline bool NeighbourhoodOutside(double i, double size, const KernelSpec& spec) {
    return i + spec.first + spec.taps - 1 < 0.0 || i + spec.first >= size;
}

// What an outside position yields under overflow methods 1..3 (and unknown ones).
RGBQUAD OverflowColor(const CRaster& image, int overflow, const RGBQUAD* replacement);

// Column weights wx[k] = weight(xi + first + k - x), likewise wy.
void KernelWeights(const KernelSpec& spec, LONG integerPart, float position, float* weights);

// The weighted sum of the taps x taps neighbours from (xi + first, yi + first), clamped
// to 0..255; fourth byte only with an alpha plane.
RGBQUAD SampleKernel(const CRaster& image, LONG xi, LONG yi, const float* wx, const float* wy,
                     const KernelSpec& spec, int overflow, const RGBQUAD* replacement);

}  // namespace lumi::image::detail
