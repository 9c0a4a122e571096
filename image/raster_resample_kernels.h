#pragma once
// Weighting kernels of the sub-pixel sampler (CRaster::SampleInterpolated and the members
// built on it). Each takes the signed distance from the sample position to a neighbour and
// returns its weight as a 32-bit float. The sampler applies them without normalisation,
// so a kernel whose weights do not sum to one brightens or darkens the picture; that is
// part of each method's character.
#include "image/bitmap_types.h"

namespace lumi::image {

float WeightBSpline(float x);
float WeightLinear(float x);
float WeightCubic(float x);
float WeightCubicParam(float x, float p);
float WeightLanczos(float x, float radius);
float WeightBox(float x);
float WeightHermite(float x);
float WeightHamming(float x);
float WeightSinc(float x);
float WeightBlackman(float x);
float WeightBessel(float x);
float WeightGaussian(float x);
float WeightQuadratic(float x);
float WeightMitchell(float x);
float WeightCatmullRom(float x);
float WeightHanning(float x);
float WeightPower(float x, float p);

// J1, the first-order Bessel function of the first kind (rational approximations).
float BesselJ1(float x);

// sums[i] += weight x byte i of colour (blue, green, red, fourth): the area average's sums.
void AccumulateWeighted(RGBQUAD colour, float weight, float sums[4]);

}  // namespace lumi::image
