// Rotation by any angle: floor sampling (Rotate) and through the sampler
// (RotateInterpolated), with the right-angle shortcut.
#include <cmath>

#include "image/raster.h"
#include "image/raster_transform_geometry.h"
#include "image/raster_transform_support.h"

namespace {

using lumi::image::detail::RowLoop;
using lumi::image::detail::SizeFromDouble;
using lumi::image::detail::TruncateCoordinate;

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;
constexpr float kRightAngleTolerance = 0.25f;  // pixels

// Maps output pixels back into the source. Positions are pixel centres in pixel-index
// units: the output centre ((W - 1) / 2, (H - 1) / 2) meets the source centre.
struct BackRotation {
    double cosA, sinA;
    double outCentreX, outCentreY, inCentreX, inCentreY;

    void operator()(LONG i, LONG j, double& x, double& y) const {
        const double dx = i - outCentreX, dy = j - outCentreY;
        x = dx * cosA + dy * sinA + inCentreX;
        y = -dx * sinA + dy * cosA + inCentreY;
    }
};

struct RotationPlan {
    DWORD width = 0, height = 0;
    BackRotation map{};
};

// False for angles that are not numbers.
bool PlanRotation(const CRaster& image, float angleDegrees, bool keepSize, RotationPlan& plan) {
    if (!std::isfinite(angleDegrees)) return false;
    const double angle = angleDegrees * kDegreesToRadians;
    const double c = std::cos(angle), s = std::sin(angle);
    const double w = image.GetWidth(), h = image.GetHeight();
    if (keepSize) {
        plan.width = image.GetWidth();
        plan.height = image.GetHeight();
    } else {
        // The bounding box of the corners rotated about the centre, to the nearest pixel.
        const double boxW = std::fabs(w * c) + std::fabs(h * s), boxH = std::fabs(w * s) + std::fabs(h * c);
        plan.width = SizeFromDouble(std::floor(boxW + 0.5));
        plan.height = SizeFromDouble(std::floor(boxH + 0.5));
        if (plan.width == 0) plan.width = 1;
        if (plan.height == 0) plan.height = 1;
    }
    plan.map = BackRotation{c, s, (plan.width - 1.0) / 2, (plan.height - 1.0) / 2, (w - 1) / 2, (h - 1) / 2};
    return true;
}

// Hands every pixel (i, j) of a picture of the plan's size, with its back-rotated position
// (x, y) in the source, to fill, a row at a time under the image's progress and escape word.
template <class Fill>
void ForEachBackRotated(CRaster& image, const RotationPlan& plan, Fill fill) {
    const LONG outW = static_cast<LONG>(plan.width), outH = static_cast<LONG>(plan.height);
    RowLoop loop(image, outH);
    for (LONG j = 0; j < outH; ++j) {
        if (!loop.Next(j)) return;
        for (LONG i = 0; i < outW; ++i) {
            double x, y;
            plan.map(i, j, x, y);
            fill(i, j, x, y);
        }
    }
    loop.Finish();
}

// Which turn puts the rotated top-right corner within a quarter pixel of where the angle
// puts it: 1 clockwise, -1 counter-clockwise, 2 half, 0 none, 3 no right angle.
int NearestRightAngle(const CRaster& image, float angleDegrees) {
    const double angle = angleDegrees * kDegreesToRadians;
    const float hw = image.GetWidth() / 2.0f, hh = image.GetHeight() / 2.0f;
    const PointF2 corner(static_cast<float>(hw * std::cos(angle) - hh * std::sin(angle)),
                         static_cast<float>(hw * std::sin(angle) + hh * std::cos(angle)));
    if (corner.Distance(hh, -hw) < kRightAngleTolerance) return 1;
    if (corner.Distance(-hh, hw) < kRightAngleTolerance) return -1;
    if (corner.Distance(-hw, -hh) < kRightAngleTolerance) return 2;
    if (corner.Distance(hw, hh) < kRightAngleTolerance) return 0;
    return 3;
}

}  // namespace

bool CRaster::Rotate(float angleDegrees, CRaster* destination) {
    if (!IsValid() || !CanReceive(destination)) return false;
    RotationPlan plan;
    if (!PlanRotation(*this, angleDegrees, false, plan)) return false;
    CRaster picture;
    if (!CreateLike(picture, plan.width, plan.height, GetBpp())) return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;
    const bool palette = IsIndexed();
    ForEachBackRotated(*this, plan, [&](LONG i, LONG j, double x, double y) {
        // The floor of the back-rotated position, with pixel p covering [p - 0.5, p + 0.5).
        const LONG sx = TruncateCoordinate(std::floor(x + 0.5));
        const LONG sy = TruncateCoordinate(std::floor(y + 0.5));
        if (palette) {
            picture.WritePixelIndex(i, j, GetPixelIndex(sx, sy));
        } else {
            picture.WritePixelColor(i, j, GetPixelColor(sx, sy, false), false);
        }
        if (withAlpha) picture.SetAlphaAt(i, j, GetAlphaAt(sx, sy));
    });
    return HandOver(picture, destination);
}

bool CRaster::RotateInterpolated(float angleDegrees, int method, int overflow, const RGBQUAD* replacement,
                                 bool rightAngleShortcut, bool keepSize, CRaster* destination) {
    if (!IsValid() || !CanReceive(destination)) return false;
    if (rightAngleShortcut && !keepSize && std::isfinite(angleDegrees)) {
        switch (NearestRightAngle(*this, angleDegrees)) {
            case 1: return TurnRight(destination);
            case -1: return TurnLeft(destination);
            case 2: return Turn180(destination);
            case 0: return CopyInto(destination);
            default: break;
        }
    }
    RotationPlan plan;
    if (!PlanRotation(*this, angleDegrees, keepSize, plan)) return false;
    CRaster picture;
    if (!CreateLike(picture, plan.width, plan.height, GetBpp())) return false;
    const bool withAlpha = HasAlpha();
    if (withAlpha && !picture.CreateAlpha()) return false;
    ForEachBackRotated(*this, plan, [&](LONG i, LONG j, double x, double y) {
        const RGBQUAD c = SampleInterpolated(static_cast<float>(x), static_cast<float>(y), method, overflow, replacement);
        picture.WritePixelColor(i, j, c, withAlpha);
    });
    return HandOver(picture, destination);
}
