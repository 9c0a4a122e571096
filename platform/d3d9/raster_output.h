#pragma once
// What happens to a shaded pixel: the depth test and write at the depth buffer's precision, the
// alpha test, blending with the target and the write at the target's precision.
#include <cstdint>
#include <cstring>

#include "platform/d3d9/d3d9_types.h"
#include "platform/d3d9/pixel_format.h"
#include "platform/d3d9/raster_types.h"

namespace d3d9sw {

// Every D3DCMPFUNC: `value` against `reference`.
inline bool CompareWith(D3DCMPFUNC func, std::uint32_t value, std::uint32_t reference) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}
inline bool IsCompareFunc(DWORD func) { return func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS; }

// The depth buffer in integer units: D16 holds round(z * 65535) in 16 bits; D24S8/D24X8 hold
// round(z * 16777215) in the top 24 bits of a 32-bit word, the low byte (stencil) untouched.
class DepthBuffer {
public:
    enum class Kind { kNone, k16, k24 };

    // Reads ZENABLE, ZWRITEENABLE and ZFUNC; a null `view.bits` switches depth off. Returns false
    // for W-buffering or an unknown compare function.
    bool Configure(const SurfaceView& view, const DWORD* renderStates);

    Kind GetKind() const { return kind_; }
    D3DCMPFUNC Func() const { return func_; }
    void SetFunc(D3DCMPFUNC func) { func_ = func; }
    const SurfaceView& View() const { return view_; }
    bool Writes() const { return write_; }
    double Scale() const { return kind_ == Kind::k16 ? 65535.0 : 16777215.0; }
    std::int64_t MaxValue() const { return kind_ == Kind::k16 ? 0xFFFF : 0xFFFFFF; }

    std::uint8_t* Address(int x, int y) const {
        return view_.bits + static_cast<std::ptrdiff_t>(y) * view_.pitch + x * (kind_ == Kind::k16 ? 2 : 4);
    }
    std::uint32_t Read(int x, int y) const { return Load(kind_, Address(x, y)); }
    void Write(int x, int y, std::uint32_t depth) const { Store(kind_, Address(x, y), depth); }

    static std::uint32_t Load(Kind kind, const std::uint8_t* p) {
        if (kind == Kind::k16) {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v >> 8;
    }
    static void Store(Kind kind, std::uint8_t* p, std::uint32_t depth) {
        if (kind == Kind::k16) {
            const auto v = static_cast<std::uint16_t>(depth);
            std::memcpy(p, &v, 2);
            return;
        }
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        v = (depth << 8) | (v & 0xFF);
        std::memcpy(p, &v, 4);
    }

private:
    SurfaceView view_;
    Kind kind_ = Kind::kNone;
    D3DCMPFUNC func_ = D3DCMP_LESSEQUAL;
    bool write_ = false;
};

// Alpha blending with every D3DBLEND factor and D3DBLENDOP, separate alpha included. Channels
// are blended as round((src * srcFactor +/- dst * dstFactor) / 255), clamped; MIN and MAX take
// the plain colours as Direct3D does.
class Blender {
public:
    // Reads ALPHABLENDENABLE, SRCBLEND, DESTBLEND, BLENDOP, BLENDFACTOR and the separate alpha
    // states. Returns false for an unknown factor or operation, or BOTH(INV)SRCALPHA as a
    // destination factor.
    bool Configure(const DWORD* renderStates);

    bool Enabled() const { return enabled_; }
    // True for the classic SRCALPHA / INVSRCALPHA / ADD, alpha blended the same way.
    bool IsSourceAlphaOver() const;

    Rgba Blend(const Rgba& src, const Rgba& dst) const;

private:
    struct Equation {
        DWORD src, dst, op;
    };
    bool enabled_ = false;
    Equation color_{}, alpha_{};
    Rgba factor_;
};

// Reads and writes target pixels of the four render-target formats; writes honour
// COLORWRITEENABLE.
class TargetWriter {
public:
    void Configure(const SurfaceView& view, DWORD colorWriteMask) {
        view_ = view;
        mask_ = colorWriteMask & 0xF;
    }
    bool WritesAll() const { return mask_ == 0xF; }
    DWORD Mask() const { return mask_; }
    Rgba Read(int x, int y) const { return Rgba::FromArgb(ReadPixel(view_, x, y)); }
    void Write(int x, int y, Rgba color) const;

private:
    SurfaceView view_;
    DWORD mask_ = 0xF;  // 1 red, 2 green, 4 blue, 8 alpha
};

}  // namespace d3d9sw
