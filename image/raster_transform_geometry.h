#pragma once
// The two float records of the image transforms' geometry: a point and a rectangle whose
// left/bottom corner is the lower one (y grows upwards, as the image rows do).
#include <algorithm>
#include <cmath>

struct PointF2 {
    float x = 0.0f;
    float y = 0.0f;

    constexpr PointF2() = default;
    constexpr PointF2(float px, float py) : x(px), y(py) {}

    // Euclidean distance to (px, py), in float.
    float Distance(float px, float py) const {
        const float dx = x - px, dy = y - py;
        return std::sqrt(dx * dx + dy * dy);
    }
};

inline constexpr PointF2 ZeroPoint2{0.0f, 0.0f};

struct RectF2 {
    float left = 0.0f;
    float bottom = 0.0f;
    float right = 0.0f;
    float top = 0.0f;

    constexpr RectF2() = default;
    constexpr RectF2(float l, float b, float r, float t) : left(l), bottom(b), right(r), top(t) {}

    float Area() const { return (top - bottom) * (right - left); }
    float Width() const { return right - left; }
    float Height() const { return top - bottom; }
    PointF2 Center() const { return PointF2((left + right) * 0.5f, (bottom + top) * 0.5f); }

    // The common part; the all-zero rectangle when the two do not overlap.
    RectF2 Intersect(const RectF2& other) const {
        const RectF2 r(std::max(left, other.left), std::max(bottom, other.bottom), std::min(right, other.right),
                       std::min(top, other.top));
        if (r.right < r.left || r.top < r.bottom) return RectF2();
        return r;
    }
};
