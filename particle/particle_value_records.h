#pragma once
// The value records of the particle system: a script value that is a number or a random
// range, together with its last draw. The emitter, beam and event interfaces hand them to
// the host as they stand.
struct vec3_t {
    float x, y, z;
};

// A script value: a plain number n (min = max = n) or RANDOM(a, b) (min = a, max = b as
// written); value is the last draw.
struct value_range_t {
    float min, max, value;
};

// A UV(u, v) value with its last draw.
struct uv_range_t {
    float minU, minV, maxU, maxV, valueU, valueV;
};

// An XYZ(x, y, z) value with its last draw.
struct xyz_range_t {
    vec3_t min, max, value;
};
static_assert(sizeof(xyz_range_t) == 36);

struct color4_t {
    float r, g, b, a;
};

// An RGBA(r, g, b, a) value; an RGB(r, g, b) value holds alpha -1 (leave alpha alone).
struct color_range_t {
    color4_t min, max, value;
};

inline constexpr float kColorKeepAlpha = -1.0f;
