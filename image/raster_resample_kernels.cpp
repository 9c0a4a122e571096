// Weighting kernels of the sub-pixel sampler, in 32-bit floats throughout.
#include "image/raster_resample_kernels.h"

#include <cmath>

namespace lumi::image {

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

float PositivePart(float t) { return t > 0.0f ? t : 0.0f; }
float Cube(float t) { return t * t * t; }

float Sinc(float x) {
    if (x == 0.0f) return 1.0f;
    const float px = kPi * x;
    return std::sin(px) / px;
}

}  // namespace

float WeightBSpline(float x) {
    if (x > 2.0f) return 0.0f;
    return (Cube(PositivePart(x + 2.0f)) - 4.0f * Cube(PositivePart(x + 1.0f)) + 6.0f * Cube(PositivePart(x)) -
            4.0f * Cube(PositivePart(x - 1.0f))) *
           0.16666667f;
}

float WeightLinear(float x) {
    if (x < -1.0f || x >= 1.0f) return 0.0f;
    return x < 0.0f ? x + 1.0f : 1.0f - x;
}

float WeightCubic(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) return 1.0f - 2.0f * a * a + a * a * a;
    if (a < 2.0f) return 4.0f - 8.0f * a + 5.0f * a * a - a * a * a;
    return 0.0f;
}

float WeightCubicParam(float x, float p) {
    const float a = std::fabs(x);
    if (a < 1.0f) return (p + 2.0f) * a * a * a - (p + 3.0f) * a * a + 1.0f;
    if (a < 2.0f) return p * a * a * a - 5.0f * p * a * a + 8.0f * p * a - 4.0f * p;
    return 0.0f;
}

float WeightLanczos(float x, float radius) {
    if (std::fabs(x) > radius) return 0.0f;
    if (x == 0.0f) return 1.0f;
    return Sinc(x) * Sinc(x / radius);
}

float WeightBox(float x) { return x >= -0.5f && x < 0.5f ? 1.0f : 0.0f; }

float WeightHermite(float x) {
    if (x < -1.0f || x >= 1.0f) return 0.0f;
    const float a = std::fabs(x);
    return 2.0f * a * a * a - 3.0f * x * x + 1.0f;
}

float WeightHamming(float x) {
    if (x < -1.0f || x >= 1.0f) return 0.0f;
    const float a = std::fabs(x);
    return 0.92f * (2.0f * a * a * a - 3.0f * x * x) + 1.0f;
}

float WeightSinc(float x) { return Sinc(x); }

float WeightBlackman(float x) { return 0.42f + 0.5f * std::cos(kPi * x) + 0.08f * std::cos(kTwoPi * x); }

float BesselJ1(float x) {
    const double ax = std::fabs(static_cast<double>(x));
    double result;
    if (ax < 8.0) {
        const double y = static_cast<double>(x) * x;
        const double num = x * (72362614232.0 +
                                y * (-7895059235.0 +
                                     y * (242396853.1 + y * (-2972611.439 + y * (15704.48260 + y * (-30.16036606))))));
        const double den =
            144725228442.0 +
            y * (2300535178.0 + y * (18583304.74 + y * (99447.43394 + y * (376.9991397 + y * 1.0))));
        result = num / den;
    } else {
        const double z = 8.0 / ax;
        const double y = z * z;
        const double xx = ax - 2.356194491;
        const double p = 1.0 + y * (0.183105e-2 + y * (-0.3516396496e-4 + y * (0.2457520174e-5 + y * (-0.240337019e-6))));
        const double q = 0.04687499995 +
                         y * (-0.2002690873e-3 + y * (0.8449199096e-5 + y * (-0.88228987e-6 + y * 0.105787412e-6)));
        result = std::sqrt(0.636619772 / ax) * (std::cos(xx) * p - z * std::sin(xx) * q);
        if (x < 0.0f) result = -result;
    }
    return static_cast<float>(result);
}

float WeightBessel(float x) {
    if (x == 0.0f) return 0.7853982f;
    return BesselJ1(kPi * x) / (2.0f * x);
}

float WeightGaussian(float x) { return std::exp(-2.0f * x * x) * 0.7978846f; }

float WeightQuadratic(float x) {
    if (x < -1.5f || x >= 1.5f) return 0.0f;
    if (x >= -0.5f && x < 0.5f) return 0.75f - x * x;
    if (x < -0.5f) return 0.5f * (x + 1.5f) * (x + 1.5f);
    return 0.5f * (x - 1.5f) * (x - 1.5f);
}

float WeightMitchell(float x) {
    const float a = x;
    if (a >= -2.0f && a < -1.0f) return 1.7777778f - a * (-3.3333333f - a * (2.0f + 0.38888887f * a));
    if (a >= -1.0f && a < 0.0f) return a * a * (-2.0f - 1.1666666f * a) + 0.8888889f;
    if (a >= 0.0f && a < 1.0f) return a * a * (1.1666666f * a - 2.0f) + 0.8888889f;
    if (a >= 1.0f && a < 2.0f) return a * (a * (2.0f - 0.38888887f * a) - 3.3333333f) + 1.7777778f;
    return 0.0f;
}

float WeightCatmullRom(float x) {
    float v = 0.0f;
    if (x >= -2.0f && x < -1.0f) v = x * (x * (x + 5.0f) + 8.0f) + 4.0f;
    else if (x >= -1.0f && x < 0.0f) v = x * x * (-5.0f - 3.0f * x) + 2.0f;
    else if (x >= 0.0f && x < 1.0f) v = x * x * (3.0f * x - 5.0f) + 2.0f;
    else if (x >= 1.0f && x < 2.0f) v = x * (x * (5.0f - x) - 8.0f) + 4.0f;
    return 0.5f * v;
}

float WeightHanning(float x) {
    if (std::fabs(x) > 1.0f) return 0.0f;
    if (x == 0.0f) return 1.0f;
    return Sinc(x) * (0.5f + 0.5f * std::cos(kPi * x));
}

float WeightPower(float x, float p) {
    if (std::fabs(x) > 1.0f) return 0.0f;
    // |x^p| = |x|^p, which stays defined for a negative x and a fractional power.
    return 1.0f - std::pow(std::fabs(x), p);
}

void AccumulateWeighted(RGBQUAD colour, float weight, float sums[4]) {
    sums[0] += weight * colour.rgbBlue;
    sums[1] += weight * colour.rgbGreen;
    sums[2] += weight * colour.rgbRed;
    sums[3] += weight * colour.rgbReserved;
}

}  // namespace lumi::image
